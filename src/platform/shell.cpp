#include "shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <csignal>
#include <unistd.h>

bool DesktopShell::openDocument(const QString &pathOrUrl)
{
    const QUrl url = QFileInfo::exists(pathOrUrl) ? QUrl::fromLocalFile(pathOrUrl) : QUrl(pathOrUrl);
    return QDesktopServices::openUrl(url);
}

namespace {

void prepare(QProcess &process, const ProgramStart &start)
{
    process.setProgram(start.program);
    process.setArguments(start.arguments);
    process.setWorkingDirectory(start.workingFolder);
    // Started programs never read our standard input.
    process.setStandardInputFile(QProcess::nullDevice());
    if (!start.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : start.environment)
            environment.insert(name, value);
        process.setProcessEnvironment(environment);
    }
    if (!start.outputFile.isEmpty())
        process.setStandardOutputFile(start.outputFile);
    // A hidden program has no one to talk to; its output must not hold our own output open either.
    else if (start.mode == WindowMode::Hidden)
        process.setStandardOutputFile(QProcess::nullDevice());
    if (start.mode == WindowMode::Hidden || !start.outputFile.isEmpty())
        process.setStandardErrorFile(QProcess::nullDevice());
}

// Its own process group, so that ending it reaches what it started too (DOSBox, Wine's programs).
class WatchedProcess final : public RunningProgram {
public:
    explicit WatchedProcess(const ProgramStart &start)
    {
        prepare(m_process, start);
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
        m_process.start();
    }
    ~WatchedProcess() override
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(-pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(); }
    bool hasEnded() override { return m_process.state() == QProcess::NotRunning; }

private:
    QProcess m_process;
};

} // namespace

bool DesktopShell::startProgram(const ProgramStart &start)
{
    QProcess process;
    prepare(process, start);
    return process.startDetached();
}

std::unique_ptr<RunningProgram> DesktopShell::startWatched(const ProgramStart &start)
{
    auto program = std::make_unique<WatchedProcess>(start);
    if (!program->started())
        return nullptr;
    return program;
}
