// Installing a TTDPatch release: download, the new switches, unpacking into the game folder.
#include "liveupdate.h"

#include "common/errortrap.h"
#include "common/forceforeground.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "common/programstart.h"
#include "modunzip.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>

using modMain::uiText;
namespace rules = liveUpdateRules;

namespace {
using modMain::ProductName;
} // namespace

void LiveUpdate::cmdGetStable_Click()
{
    installButtonClicked(Stable);
}

void LiveUpdate::cmdGetAlpha_Click()
{
    installButtonClicked(AlphaBeta);
}

void LiveUpdate::cmdLU_Click()
{
    if (modMain::state().ControlsEnabled)
        CheckPatchUpdate();
    else
        m_services.dialogs.message(m_host.window(), {ProductName, uiText(99), MessageIcon::Critical});
}

void LiveUpdate::installButtonClicked(Kind kind)
{
    auto &s = modMain::state();
    if (!s.ControlsEnabled) {
        m_services.dialogs.message(m_host.window(), {ProductName, uiText(99), MessageIcon::Critical});
    } else if (s.UnzipAvailable) {
        s.UpdateKind = kind;
        LiveUpdateNow();
    } else {
        askForUnzipLibrary();
    }
}

void LiveUpdate::askForUnzipLibrary()
{
    const Answer answer = m_services.dialogs.message(
        m_host.window(), {ProductName, uiText(55), MessageIcon::Critical, MessageButtons::YesNo});
    if (answer == Answer::Yes)
        modMain::openProgramPage(m_services, true);
}

void LiveUpdate::LiveUpdateNow()
{
    const auto &s = modMain::state();
    const int kind = s.UpdateKind;
    if (kind < Program && !s.UnzipAvailable) {
        askForUnzipLibrary();
        return;
    }
    if (!startRun(kind < Program ? patchServer() : toolServer()))
        return;
    c.imgNew.setVisible(false);
    ErrorTrap trap(&m_host.errorReporter());
    if (kind == Stable || kind == AlphaBeta)
        installPatchRelease(Kind(kind), trap);
    else
        replaceProgram(trap);
    trap.report(QStringLiteral("@ LiveUpdateNow"));
}

void LiveUpdate::installPatchRelease(Kind kind, ErrorTrap &trap)
{
    auto &s = modMain::state();
    const bool windows = s.PatchEdition == modMain::Edition::Windows;
    const QString key = windows ? QStringLiteral("winfilename") : QStringLiteral("dosfilename");
    QString remoteName, archiveName;
    if (kind == Stable) {
        remoteName = versionFileValue(rules::StableSection, key);
        archiveName = remoteName;
    } else {
        remoteName = versionFileValue(rules::AlphaSection, key);
        archiveName = windows ? QStringLiteral("latestw.zip") : QStringLiteral("latest.zip");
    }
    archiveName = rules::localArchiveName(archiveName);
    if (archiveName.isEmpty() || s.GameFolder.isEmpty()) {
        // A name that is no file name could only make the download land outside its folder.
        trap.raise(s.GameFolder.isEmpty()
                ? RuntimeError::of(errorNumber::PathNotFound)
                : RuntimeError {errorNumber::BadFileName, QStringLiteral("Bad file name (%1)").arg(remoteName)});
        m_host.EnableControls();
        return;
    }
    const QString downloaded = s.TempPath + archiveName;
    const QString archive = s.GameFolder + archiveName;
    setStatusLine(uiText(67));
    modMain::deleteIfExists(archive);
    trap.step([&] { DownloadFile(patchServer() + remoteName, downloaded, false); });
    if (DownloadFailed) {
        NoConnectionFound();
        return;
    }

    QString block;
    trap.step([&] { block = rules::newestSwitchBlock(versionFileLines(), Newest, Newer); });
    s.LatestVersionGot = kind == Stable ? s.LatestStable : s.LatestAlpha;
    trap.step([&] {
        QFile file(downloaded);
        if (!file.rename(archive))
            throw RuntimeError::fromFile(file);
    });
    modForceFore::ForceForeground(*m_host.window());
    if (Newest == s.LatestVersionGot) {
        const Answer answer = m_services.dialogs.message(
            m_host.window(), {ProductName, uiText(64), MessageIcon::Question, MessageButtons::YesNo});
        if (answer == Answer::Yes)
            appendSwitchBlock(block);
    } else {
        m_services.dialogs.message(m_host.window(), {uiText(68), uiText(63), MessageIcon::Information});
    }
    c.lblCap[10]->setText(uiText(80) + s.LatestVersionGot);
    setStatusLine(uiText(89));

    trap.step([&] {
        auto &request = modUnzip::request();
        request = modUnzip::Request {};
        request.ArchivePath = archive;
        request.ExtractFolder = s.GameFolder;
        request.flag(modUnzip::OverwriteFiles) = 1;
        modUnzip::Host unzipHost {m_services.dialogs, m_services.shell, m_host.window(),
            [this](const QString &line) { LiveUpdateEvent(line); },
            [this](bool forceDetection) { m_host.GetPatchVersion(forceDetection); }};
        modUnzip::UnzipArchive(unzipHost);
    });
    LiveUpdateEvent(uiText(68) + QLatin1Char('.'));
    StartTextMaker();
    m_installed[std::size_t(kind)] = true;
    (kind == Stable ? m_host.blocks().StableInstall : m_host.blocks().AlphaInstall) = true;
    m_host.EnableControls();
}

void LiveUpdate::StartTextMaker()
{
    const auto &s = modMain::state();
    const QString textMaker = modMain::fileIgnoringCase(s.GameFolder, QStringLiteral("mkpttxt.exe"));
    // It came out of a downloaded archive: only a Windows or DOS program, run by Wine or DOSBox,
    // never a program of this machine.
    const auto kind = modMain::fileExists(textMaker) ? executables::kindOf(textMaker) : executables::Kind::NotRunnable;
    if (kind == executables::Kind::Windows || kind == executables::Kind::Dos)
        programStart::start(
            m_services, m_host.window(), {textMaker, {}, s.GameFolder, WindowMode::Hidden, s.GameFolder, {}});
}

void LiveUpdate::appendSwitchBlock(const QString &block)
{
    // Appended at the end rather than by replacing the text, so the lines above keep their
    // colours and the addition can be undone.
    const QString added = rules::withSwitchBlock(QString(), Newest, block);
    QTextCursor cursor(c.rtbPatch.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString(added).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    modMain::state().FilesModified = true;
}
