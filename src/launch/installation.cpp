#include "installation.h"

#include "common/mainwindowhost.h"
#include "common/programstart.h"
#include "frmconflict.h"
#include "platform/dialogs.h"

#include <QAction>
#include <QWidget>

using modMain::uiText;

namespace {
using modMain::ProductName;

QString inGameFolder(const char *name)
{
    return modMain::fileIgnoringCase(modMain::state().GameFolder, QString::fromLatin1(name));
}

bool presentInGameFolder(const char *name)
{
    return modMain::fileExists(inGameFolder(name));
}
} // namespace

Installation::Installation(Services &services, MainWindowHost &host, QAction &mnuRegedit, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_host(host)
    , m_mnuRegedit(mnuRegedit)
{ }

Installation::~Installation() = default;

void Installation::DetectInstallation()
{
    auto &s = modMain::state();
    s.PatchEdition = modMain::Edition::None;
    if (presentInGameFolder("gamegfx.exe"))
        s.PatchEdition = modMain::Edition::Windows;
    if (presentInGameFolder("ttdx.exe"))
        s.PatchEdition = modMain::Edition::Dos; // the DOS game wins when both are there

    CheckSoftware();

    if (s.PatchEdition != modMain::Edition::Windows) {
        s.PatchExecutable = inGameFolder("ttdpatch.exe");
        m_mnuRegedit.setEnabled(false);
        if (presentInGameFolder("ttdpatchw.exe"))
            offerRemoval(inGameFolder("ttdpatchw.exe"), 145, QString());
    } else {
        s.PatchExecutable = inGameFolder("ttdpatchw.exe");
        m_mnuRegedit.setEnabled(true);
        if (presentInGameFolder("ttdpatch.exe"))
            offerRemoval(inGameFolder("ttdpatch.exe"), 144, QStringLiteral(" (DOS TTDPatch)"));
    }
}

void Installation::offerRemoval(const QString &path, int text, const QString &suffix)
{
    const Answer answer = m_services.dialogs.message(m_host.window(),
        {ProductName, uiText(text) + QLatin1String("\r\n\r\n") + path + suffix, MessageIcon::Question,
            MessageButtons::YesNo, Answer::Yes});
    if (answer == Answer::Yes)
        modMain::deleteIfExists(path);
}

void Installation::showConflict(int page)
{
    if (!m_conflict)
        m_conflict = std::make_unique<frmConflict>(m_services, m_host.window());
    m_conflict->prepare(frmConflict::Page(page), modMain::state().GameFolder);
    m_services.dialogs.showModal(*m_conflict);
}

void Installation::CheckSoftware()
{
    auto &s = modMain::state();
    s.EditionDialogConfirmed = false;
    if (!presentInGameFolder("ttdx.exe") && !presentInGameFolder("gamegfx.exe"))
        showConflict(int(frmConflict::Page::GameNotFound));
    const bool patchMissing = (s.PatchEdition == modMain::Edition::Dos && !presentInGameFolder("ttdpatch.exe"))
        || (s.PatchEdition == modMain::Edition::Windows && !presentInGameFolder("ttdpatchw.exe"));
    if (patchMissing)
        showConflict(int(frmConflict::Page::PatchNotFound));
}

void Installation::RunTTD()
{
    auto &s = modMain::state();
    CheckSoftware();
    if (s.EditionDialogConfirmed)
        return;
    // When the patch cannot start, the user has been told why and the program stays open.
    if (modMain::fileExists(s.PatchExecutable)
        && !programStart::start(
            m_services, m_host.window(), {s.PatchExecutable, {}, s.GameFolder, WindowMode::Normal, s.GameFolder, {}}))
        return;
    s.ControlsEnabled = true;
    m_host.window()->close();
}

void Installation::cmdRun_Click()
{
    if (modMain::state().FilesModified) {
        const Answer answer = m_services.dialogs.message(m_host.window(),
            {ProductName, uiText(98), MessageIcon::Question, MessageButtons::YesNoCancel, Answer::Yes});
        if (answer == Answer::Cancel)
            return;
        if (answer == Answer::Yes) {
            bool closeAfter = true;
            m_host.SaveSettings(true, closeAfter);
            return;
        }
    }
    RunTTD();
}

void Installation::mnuSaveAndRun_Click()
{
    bool closeAfter = true;
    m_host.SaveSettings(true, closeAfter);
}
