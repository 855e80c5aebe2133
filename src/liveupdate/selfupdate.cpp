// The program's own release check and its replacement by the updater.
#include "liveupdate.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/forceforeground.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "common/settingkeys.h"
#include "common/waiting.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "releasesignature.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

using modMain::uiText;
namespace rules = liveUpdateRules;

namespace {

using modMain::ProductName;
const QLatin1String ToolSection("VexalP");

QString toolFileValue(const QString &key)
{
    return modMain::readIniString(ToolSection, key, rules::Missing, modMain::state().VexalUpdateTmpPath);
}

} // namespace

void LiveUpdate::mnuCheckVexal_Click()
{
    if (!modMain::state().ControlsEnabled) {
        m_services.dialogs.message(m_host.window(), {ProductName, uiText(99), MessageIcon::Critical});
        return;
    }
    if (!m_host.tabStripVisible() || m_host.selectedTab() != 2)
        m_host.showTabStrip(2);
    CheckVexalUpdate();
}

void LiveUpdate::CheckVexalUpdate()
{
    auto &s = modMain::state();
    ErrorTrap trap(&m_host.errorReporter());
    const auto finish = [&] { trap.report(QStringLiteral("@ CheckVexalUpdate")); };
    const QString server = toolServer();
    if (!startRun(server))
        return;
    ServerKind = rules::ServerKind::Tool;
    const QString oldNews = s.TempPath + QLatin1String("news.old");
    trap.step([&] {
        if (modMain::fileExists(s.NewsTmpPath) && !modMain::fileExists(oldNews))
            QFile::rename(s.NewsTmpPath, oldNews);
    });
    trap.step([&] { DownloadFile(server + QLatin1String("1vexalup.txt"), s.VexalUpdateTmpPath, true); });
    if (DownloadFailed) {
        NoConnectionFound();
        if (m_host.tickerEnabled())
            m_host.UpdateNewsTicker(); // the previous news come back
        return finish();
    }
    m_host.ResetNewsTicker();
    trap.step([&] { DownloadFile(server + QLatin1String("news.txt"), s.NewsTmpPath, true); });
    trap.step([&] { FixTextFile(s.VexalUpdateTmpPath); });
    trap.step([&] { FixTextFile(s.NewsTmpPath); });
    setStatusLine(uiText(87));
    LiveUpdateEvent(uiText(68) + QLatin1Char('.'));

    const QString version = toolFileValue(QStringLiteral("version"));
    if (version == rules::Missing) {
        m_host.hideNews();
        modMain::deleteIfExists(s.NewsTmpPath);
        NoConnectionFound();
        const Answer answer = m_services.dialogs.message(m_host.window(),
            {QStringLiteral("AutoUpdate"), uiText(20), MessageIcon::Exclamation, MessageButtons::YesNo});
        if (answer == Answer::Yes)
            modMain::openProgramPage(m_services, true);
        m_services.dialogs.message(m_host.window(), {ProductName, uiText(88), MessageIcon::Critical});
        return finish();
    }
    s.LastVexalCheckDate = m_services.clock.shortDate();
    if (m_host.tickerEnabled())
        m_host.UpdateNewsTicker();
    m_host.blocks().SelfCheck = true;

    const QString offered = basicText::trimBlanks(version);
    if (offered != s.ProgramVersion && ReleaseKey.isEmpty()) {
        // A build without a release key of its own is updated by its package manager.
        LiveUpdateEvent(QLatin1String("Vexal Pro ") + version + QLatin1String(" released!"));
        if (!AutomaticCheck)
            m_services.dialogs.message(m_host.window(),
                {ProductName, QString(uiText(186)).replace(QLatin1String("#VERSION#"), offered),
                    MessageIcon::Information});
    } else if (offered != s.ProgramVersion) {
        LiveUpdateEvent(QLatin1String("Vexal Pro ") + version + QLatin1String(" released!"));
        const QString date = toolFileValue(QStringLiteral("date"));
        modForceFore::ForceForeground(*m_host.window());
        const Answer answer = m_services.dialogs.message(m_host.window(),
            {QStringLiteral("AutoUpdate: Vexal Pro"), rules::announcement(ProductName, version, date),
                MessageIcon::Exclamation, MessageButtons::YesNo});
        if (answer == Answer::Yes) {
            s.UpdateKind = Program;
            trap.step([&] { LiveUpdateNow(); });
            return finish();
        }
    } else if (!AutomaticCheck) {
        m_services.dialogs.message(m_host.window(), {ProductName, uiText(92), MessageIcon::Information});
    }
    m_host.EnableControls();
    finish();
}

bool LiveUpdate::verifiedDownload(const QString &path, const QString &signatureKey)
{
    QString why;
    try {
        why = releaseSignature::check(
            releaseSignature::signedMessage(
                basicText::trimBlanks(toolFileValue(QStringLiteral("version"))), modMain::readWholeFile(path)),
            toolFileValue(signatureKey).toLatin1(), ReleaseKey);
    } catch (const RuntimeError &error) {
        why = error.description;
    }
    if (why.isEmpty())
        return true;
    // Whatever came instead of the release is not kept, so nothing can start it later.
    modMain::deleteIfExists(path);
    const QString name = QFileInfo(path).fileName();
    LiveUpdateEvent(QStringLiteral("Signature check failed for %1: %2.").arg(name, why));
    m_services.dialogs.message(m_host.window(),
        {ProductName,
            QStringLiteral("The downloaded file %1 is not signed with the Vexal Pro release key (%2), so it was "
                           "deleted. Nothing has been changed; please try again later or with another server.")
                .arg(name, why),
            MessageIcon::Critical});
    NoConnectionFound();
    return false;
}

void LiveUpdate::replaceProgram(ErrorTrap &trap)
{
    auto &s = modMain::state();
    const QString server = toolServer();
    const QString newProgram = s.TempPath + QLatin1String("vexalpro.exe.tmp");
    setStatusLine(uiText(67));
    trap.step([&] { DownloadFile(server + QLatin1String("files/updater.exe"), s.UpdaterPath, false); });
    if (DownloadFailed || !verifiedDownload(s.UpdaterPath, QStringLiteral("updatersig")))
        return;

    SettingsStore &store = m_services.settings;
    writeSetting(store, settingKeys::AppPath, s.AppFolder);
    writeSetting(store, settingKeys::AppExeName, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    writeSetting(store, settingKeys::msg1, uiText(67));
    writeSetting(store, settingKeys::msg2, uiText(97));
    writeSetting(store, settingKeys::msg3, uiText(51));
    store.sync();

    setStatusLine(uiText(67));
    waitProcessingEvents(m_services.clock, m_services.clock.elapsedMs() + 2000);
    trap.step([&] { DownloadFile(server + QLatin1String("files/vexalpro.exe"), newProgram, false); });
    if (DownloadFailed || !verifiedDownload(newProgram, QStringLiteral("exesig")))
        return;

    setStatusLine(uiText(67));
    if (s.FilesModified) {
        const Answer answer = m_services.dialogs.message(
            m_host.window(), {ProductName, uiText(98), MessageIcon::Question, MessageButtons::YesNo});
        if (answer == Answer::Yes) {
            bool closeAfter = false;
            m_host.SaveSettings(false, closeAfter);
        }
    }
    // A download arrives without the run bit; the updater was checked above, so it may run.
    QFile::setPermissions(s.UpdaterPath, QFile::permissions(s.UpdaterPath) | QFile::ExeOwner);
    if (!m_services.shell.startProgram(s.UpdaterPath, {}, s.AppFolder, WindowMode::Normal)) {
        trap.raise({errorNumber::FileNotFound, QStringLiteral("The updater could not be started.")});
        m_host.EnableControls();
        return;
    }
    s.ControlsEnabled = true;
    m_host.window()->close();
}
