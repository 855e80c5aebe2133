#include "documents.h"

#include "cfgrules.h"
#include "common/errortrap.h"
#include "common/mainwindowhost.h"
#include "common/settingkeys.h"
#include "editortext.h"
#include "grflist.h"
#include "platform/settingsstore.h"
#include "platform/textcodec.h"
#include "switchmarks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>

using modMain::uiText;

namespace {

using modMain::ProductName;

QString refusalOfList()
{
    return QStringLiteral("Please don't try to open the newgrf file separately, Vexal Pro will load it automatically "
                          "after opening any CFG file.");
}

} // namespace

ConfigDocuments::ConfigDocuments(Services &services, MainWindowHost &host, Controls controls, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_host(host)
    , c(controls)
{
    c.rtbPatch.setAcceptDrops(true);
    c.rtbPatch.installEventFilter(this);
    c.rtbPatch.viewport()->installEventFilter(this);
    m_switchMarks = new SwitchMarks(c.rtbPatch);
}

QString ConfigDocuments::openDocument() const
{
    return m_host.tabStripVisible() ? modMain::state().RecentFile1 : QString();
}

void ConfigDocuments::refuse(const QString &text, MessageIcon icon)
{
    m_services.dialogs.message(m_host.window(), {ProductName, text, icon, MessageButtons::Ok, Answer::Ok});
}

void ConfigDocuments::LoadSettings()
{
    auto &s = modMain::state();
    if (!s.ControlsEnabled) {
        refuse(uiText(99), MessageIcon::Critical);
        return;
    }
    const QString chosen = m_services.dialogs.openFile(m_host.window(), uiText(71),
        s.GameFolder.isEmpty() ? QDir::homePath() : s.GameFolder, QStringLiteral("TTDPatch Config Files (*.cfg)"));
    if (chosen.isEmpty())
        return;
    s.CfgFileName = chosen;
    if (cfgRules::isNewGraphicsList(chosen)) {
        refuse(refusalOfList(), MessageIcon::Critical);
        s.CfgFileName = openDocument();
    } else if (cfgRules::isSoundSettings(chosen)) {
        refuse(uiText(127), MessageIcon::Critical);
        s.CfgFileName = openDocument();
    } else {
        ReadSettings();
    }
}

void ConfigDocuments::ReadSettings()
{
    auto &s = modMain::state();
    if (!s.ControlsEnabled) {
        refuse(uiText(99), MessageIcon::Critical);
        s.CfgFileName = openDocument();
        return;
    }
    if (cfgRules::isNewGraphicsList(s.CfgFileName)) {
        refuse(refusalOfList(), MessageIcon::Critical);
        s.CfgFileName = openDocument();
        return;
    }
    if (!modMain::fileExists(s.CfgFileName)) {
        refuse(uiText(128) + QLatin1String("\r\n") + s.CfgFileName, MessageIcon::Exclamation);
        s.CfgFileName = openDocument();
        return;
    }

    ErrorTrap trap(&m_host.errorReporter());
    trap.step([&] { rememberRecent(); });
    trap.step([&] {
        if (m_host.tabStripVisible())
            return;
        qint64 tab = readSettingNumber(m_services.settings, settingKeys::Tab);
        if (tab < 0 || tab > 3)
            tab = 0;
        m_host.showTabStrip(int(tab));
    });
    trap.step([&] {
        s.GameFolder = modMain::folderOf(s.CfgFileName);
        s.PatchExecutable = QStringLiteral("---");
    });
    trap.step([&] {
        for (QPlainTextEdit *editor : {&c.rtbPatch, &c.rtbGrf}) {
            editor->clear();
            QFont font = editor->font();
            font.setPointSize(c.cboSize.currentText().toInt());
            editor->setFont(font);
        }
    });
    trap.step([&] {
        s.DetectedPatchVersion = QStringLiteral("none");
        m_host.DetectInstallation();
    });
    trap.step([&] { readConfiguration(); });
    trap.step([&] {
        // A list saved by Windows tools may be NEWGRFW.CFG: that file is read and written back, never
        // a second one beside it.
        s.GrfFileName = modMain::fileIgnoringCase(
            s.GameFolder, QLatin1String(s.PatchEdition == modMain::Edition::Windows ? "newgrfw.cfg" : "newgrf.cfg"));
        prepareGraphicsFolder();
    });
    trap.step([&] { readList(); });
    trap.step([&] { refreshGraphicsFiles(); });
    trap.step([&] {
        if (modMain::fileExists(s.PatchExecutable))
            m_host.GetPatchVersion(false);
        else // the previous folder's version must not stay in the title and the status bar
            m_host.UpdateVersionDisplay();
    });
    trap.step([&] { m_host.AutoLiveUpdate(); });
    m_host.EnableControls();
    s.FilesModified = false;
    trap.report(QStringLiteral("@ ReadSettings"));
}

void ConfigDocuments::rememberRecent()
{
    auto &s = modMain::state();
    if (s.CfgFileName == s.RecentFile1)
        return;
    s.RecentFile2 = s.RecentFile1;
    s.RecentFile1 = s.CfgFileName;
    writeSetting(m_services.settings, settingKeys::Recent1, s.RecentFile1);
    writeSetting(m_services.settings, settingKeys::Recent2, s.RecentFile2);
    m_services.settings.sync();
    m_host.showRecentFiles();
}

void ConfigDocuments::readConfiguration()
{
    // Known before the lines arrive, so that they are judged once, as they are inserted.
    m_switchMarks->loadFrom(modMain::state().GameFolder);
    readInto(c.rtbPatch, modMain::state().CfgFileName, cfgRules::configurationLines, cfgRules::cfgLineKind);
    EditorText(c.rtbPatch).moveCaretToStart();
}

void ConfigDocuments::readInto(QPlainTextEdit &editor, const QString &path, QStringList (*linesOf)(const QStringList &),
    cfgRules::LineKind (*kindOf)(QStringView))
{
    // The file's text and its raw lines go before the editor's document is built: the start,
    // which reopens the last file, pays for every page of memory it touches first.
    const QStringList lines
        = linesOf(cfgRules::splitLines(TextCodec(modMain::state().AnsiCodePage)
                                           .decode(modMain::readWholeFile(path, ConfigDocuments::MaximumFileSize))));
    const bool colours = c.chkColor.isChecked();
    EditorText(editor).setLines(lines,
        [colours, kindOf](const QString &line) { return colours ? cfgRules::colourOf(kindOf(line)) : QColor(); });
}

void ConfigDocuments::prepareGraphicsFolder()
{
    m_graphicsFolder = modMain::folderIgnoringCase(modMain::state().GameFolder, QStringLiteral("newgrf"));
    if (QFileInfo(m_graphicsFolder).isDir())
        return;
    if (!QDir().mkdir(m_graphicsFolder))
        throw RuntimeError::of(errorNumber::PathFileAccessError);
}

void ConfigDocuments::readList()
{
    const QString &path = modMain::state().GrfFileName;
    if (!modMain::fileExists(path))
        return;
    readInto(c.rtbGrf, path, cfgRules::listLines, cfgRules::listLineKind);
    QTextCursor end = c.rtbGrf.textCursor();
    end.movePosition(QTextCursor::End);
    c.rtbGrf.setTextCursor(end);
}

void ConfigDocuments::refreshGraphicsFiles()
{
    GrfList::fill(c.flbGrf, m_graphicsFolder);
}

void ConfigDocuments::writeFile(const QString &path, const QString &text)
{
    if (modMain::isReadOnlyFile(path))
        throw RuntimeError::of(errorNumber::PathFileAccessError);
    // Written beside the old file and put in its place only when complete: a failed save leaves
    // the old file whole.
    modMain::writeWholeFile(path, TextCodec(modMain::state().AnsiCodePage).encode(text + QLatin1String("\r\n")));
}

void ConfigDocuments::SaveSettings(bool runAfter, bool &closeAfter)
{
    auto &s = modMain::state();
    if (!s.ControlsEnabled) {
        refuse(uiText(99), MessageIcon::Critical);
        return;
    }
    m_host.DisableControls();
    ErrorTrap trap(&m_host.errorReporter());
    EditorText cfg(c.rtbPatch);
    trap.step([&] {
        const QString text = cfg.text();
        const QColor comment = cfgRules::colourOf(cfgRules::LineKind::Comment);
        if (!cfgRules::hasHeader(text, cfgRules::PatchHeaderMark))
            cfg.insertAtStart(cfgRules::patchHeader(s.DetectedPatchVersion) + QLatin1String("\r\n"), comment);
        if (!cfgRules::hasHeader(text, cfgRules::VexalHeaderMark))
            cfg.insertAtStart(cfgRules::vexalHeader(s.ProgramVersion) + QLatin1String("\r\n"), comment);
    });
    EditorText list(c.rtbGrf);
    trap.step([&] { list.setText(cfgRules::thinLineBreaks(list.text())); });
    trap.step([&] { writeFile(s.CfgFileName, cfg.text()); });
    trap.step([&] { writeFile(s.GrfFileName, list.text()); });
    trap.report(QStringLiteral("@ SaveSettings"));
    s.FilesModified = false;
    if (runAfter) {
        m_host.RunTTD();
        if (s.EditionDialogConfirmed)
            closeAfter = false;
    }
    if (closeAfter) {
        if (m_host.window()->isVisible())
            m_host.window()->close();
    } else {
        m_host.EnableControls();
    }
}

void ConfigDocuments::openDropped(const QString &path)
{
    if (!path.toUpper().endsWith(QLatin1String(".CFG")))
        return;
    modMain::state().CfgFileName = path;
    ReadSettings();
}

void ConfigDocuments::openFile(const QString &path)
{
    modMain::state().CfgFileName = QFileInfo(path).absoluteFilePath();
    ReadSettings();
}

void ConfigDocuments::reopenLast(const SettingsStore &settings)
{
    auto &s = modMain::state();
    if (readSettingNumber(settings, settingKeys::AutoLoadLast) != 1)
        return;
    s.CfgFileName = s.RecentFile1;
    if (reopensLast(settings))
        ReadSettings();
}

bool ConfigDocuments::reopensLast(const SettingsStore &settings)
{
    return readSettingNumber(settings, settingKeys::AutoLoadLast) == 1
        && modMain::fileExists(modMain::state().RecentFile1);
}

bool ConfigDocuments::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto *drag = static_cast<QDropEvent *>(event);
        if (drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (!urls.isEmpty() && urls.first().isLocalFile()) {
            drop->acceptProposedAction();
            ErrorTrap trap(&m_host.errorReporter());
            trap.step([&] { openDropped(urls.first().toLocalFile()); });
            trap.report(QStringLiteral("@ rtbPatch.OLEDragDrop"));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
