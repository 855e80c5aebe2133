#include "updatesession.h"

#include "runningprocesses.h"

#include <utility>

UpdateSession::UpdateSession(UpdatePlan plan, std::chrono::milliseconds waitLimit, QObject *parent)
    : QObject(parent)
    , m_plan(std::move(plan))
    , m_replacement(m_plan)
    , m_waitLimit(waitLimit)
{
    m_timer.setInterval(PollInterval);
    connect(&m_timer, &QTimer::timeout, this, &UpdateSession::poll);
}

void UpdateSession::start()
{
    m_waited.start();
    m_timer.start();
    // The program has usually exited already: no need to keep the user waiting a first interval.
    QTimer::singleShot(0, this, &UpdateSession::poll);
}

void UpdateSession::cancel()
{
    if (!m_replacing && !m_finished)
        finish(UpdaterExit::Cancelled);
}

void UpdateSession::poll()
{
    if (m_replacing || m_finished)
        return;
    if (!runningProcesses::runsExecutable(m_plan.executablePath())) {
        install();
        return;
    }
    if (std::chrono::milliseconds(m_waited.elapsed()) >= m_waitLimit) {
        finish(UpdaterExit::StillRunning,
            QStringLiteral("Vexal Pro (%1) is still running, so it cannot be replaced. Close it and install "
                           "the update again.\nNothing has been changed.")
                .arg(m_plan.executablePath()));
    }
}

void UpdateSession::install()
{
    m_replacing = true;
    m_timer.stop();
    emit replacing();
    if (!m_replacement.programFolderWritable()) {
        finish(UpdaterExit::NotWritable,
            QStringLiteral("Vexal Pro cannot update itself because you may not change its folder %1. If it was "
                           "installed with the system's package manager, install the update through the "
                           "package manager.\nNothing has been changed.")
                .arg(m_plan.programFolder));
        return;
    }
    if (!m_replacement.replace()) {
        if (!m_replacement.previousInPlace()) {
            finish(UpdaterExit::PreviousLost, m_replacement.errorText());
            return;
        }
        finish(UpdaterExit::ReplaceFailed,
            m_replacement.errorText() + QLatin1String("\nThe previous version is still in place."));
        return;
    }
    // Not fatal: the next update overwrites it.
    m_replacement.removeDownload();
    if (!m_replacement.startProgram()) {
        finish(UpdaterExit::StartFailed,
            QStringLiteral("Vexal Pro has been updated, but the new version did not start:\n%1\nPlease start it "
                           "again yourself.")
                .arg(m_replacement.errorText()));
        return;
    }
    finish(UpdaterExit::Updated);
}

void UpdateSession::finish(UpdaterExit code, const QString &message)
{
    m_timer.stop();
    m_finished = true;
    emit finished(static_cast<int>(code), message);
}
