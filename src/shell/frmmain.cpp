#include "frmmain.h"

#include "cfg/colourcoding.h"
#include "cfg/documents.h"
#include "cfg/grflist.h"
#include "cfg/patchversion.h"
#include "cfg/switchmarks.h"
#include "cfg/textsearch.h"
#include "common/links.h"
#include "common/namedobjects.h"
#include "common/settingkeys.h"
#include "controlpanel/frmcontrolpanel.h"
#include "info/frmabout.h"
#include "info/frmwhatsnew.h"
#include "lang/flags.h"
#include "lang/modlanguage.h"
#include "launch/companiontools.h"
#include "launch/installation.h"
#include "liveupdate/liveupdate.h"
#include "mainwindowrules.h"
#include "news/newsticker.h"
#include "options.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

using modMain::uiText;

namespace {
modMain::State &st()
{
    return modMain::state();
}
} // namespace

frmMain::frmMain(Services &services, const StringResources &resources, ErrorReporter &reporter, QString programFolder,
    QWidget *parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_resources(resources)
    , m_reporter(reporter)
    , m_programFolder(std::move(programFolder))
{
    setObjectName(QStringLiteral("frmMain"));
    buildMainWindowControls(*this, c);
    // The options as the window is built: the status bar shows, the boxes start unticked.
    c.chkStatusbar->setChecked(true);
    c.chkBlend->setEnabled(false);
    resize(680, 600);
    m_colourCoding = new ColourCoding(*c.rtbPatch, *c.rtbGrf, *c.chkColor, *this, this);
    m_documents
        = new ConfigDocuments(services, *this, {*c.rtbPatch, *c.rtbGrf, *c.flbGrf, *c.cboSize, *c.chkColor}, this);
    m_installation = new Installation(services, *this, *c.mnuRegedit, this);
    m_patchVersion = new PatchVersion(services, *this, *c.chkVersionget, this);
    m_search = new TextSearch(*c.rtbPatch, *c.txtFind, *c.imgFind, *c.lblCap[25], this);
    m_grfList = new GrfList(*c.flbGrf, *c.rtbGrf, services.dialogs, this, this);
    m_tools = new CompanionTools(services, this, this);
    m_news = new NewsTicker(services, {*c.picNews, *c.tmrNews, *c.chkTicker}, this);
    m_liveUpdate = new LiveUpdate(services, *this,
        {*c.lstLiveupdate, *c.chkUpdatePatch, *c.chkUpdateVexal, c.lblCap, *c.pgbMain, *c.tmrTimeout, *c.cboPatchServer,
            *c.cboVexalServer, *c.imgNew, *c.cmdLU, *c.cmdGetStable, *c.cmdGetAlpha, *c.cmdInfo, *c.cmdDetails,
            *c.rtbPatch},
        this);
    // One walk of the finished window finds the controls both look up by name.
    const NamedObjects controls(*this);
    connectHandlers(controls);
    watchForHints(controls);
}

frmMain::~frmMain()
{
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

void frmMain::connectHandlers(const NamedObjects &controls)
{
    connect(c.TabStrip1, &QTabBar::currentChanged, this, &frmMain::TabStrip1_Click);
    connect(c.tmrTitlebar, &QTimer::timeout, this, &frmMain::tmrTitlebar_Timer);
    connect(c.tmrLanguage, &QTimer::timeout, this, &frmMain::tmrLanguage_Timer);
    connect(c.chkBlend, &QCheckBox::toggled, this, &frmMain::chkBlend_Click);
    connect(c.sldBlend, &QSlider::valueChanged, this, &frmMain::sldBlend_Change);
    connect(c.chkStatusbar, &QCheckBox::toggled, this, &frmMain::chkStatusbar_Click);
    connect(c.cmdReset, &QPushButton::clicked, this, [this] { options::ResetOptions(c); });
    connect(c.cmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(c.mnuExit, &QAction::triggered, this, &QWidget::close);
    connect(c.cmdOpen, &QPushButton::clicked, m_documents, &ConfigDocuments::LoadSettings);
    connect(c.mnuOpen, &QAction::triggered, m_documents, &ConfigDocuments::LoadSettings);
    auto save = [this] {
        bool closeAfter = false;
        SaveSettings(false, closeAfter);
    };
    connect(c.cmdSave, &QPushButton::clicked, this, save);
    connect(c.mnuSave, &QAction::triggered, this, save);
    connect(c.mnuSaveAndRun, &QAction::triggered, m_installation, &Installation::mnuSaveAndRun_Click);
    connect(c.cmdRun, &QPushButton::clicked, m_installation, &Installation::cmdRun_Click);
    connect(c.mnuRunTTD, &QAction::triggered, m_installation, &Installation::cmdRun_Click);
    connect(c.mnuRunAlter, &QAction::triggered, this, [this] { m_tools->run(CompanionTools::Tool::TTDAlter); });
    connect(c.mnuRunPloven, &QAction::triggered, this, [this] { m_tools->run(CompanionTools::Tool::Ploven); });
    connect(c.mnuRunNarwick, &QAction::triggered, this, [this] { m_tools->run(CompanionTools::Tool::Narwick); });
    connect(c.mnuVersionGet, &QAction::triggered, m_patchVersion, &PatchVersion::mnuVersionGet_Click);
    SwitchMarks &marks = m_documents->switchMarks();
    connect(m_patchVersion, &PatchVersion::switchListWritten, this, [&marks] { marks.loadFrom(st().GameFolder); });
    connect(&marks, &SwitchMarks::problemCountChanged, this, &frmMain::showProblemCount);
    connect(c.mnuNextProblem, &QAction::triggered, &marks, &SwitchMarks::nextProblem);
    for (const links::Link &link : links::table()) {
        if (auto *entry = controls.find<QAction>(QString::fromLatin1(link.entry))) {
            const QString address = QString::fromLatin1(link.address);
            connect(entry, &QAction::triggered, this, [this, address] { modMain::openDocument(m_services, address); });
        }
    }
    connect(c.mnuReadme, &QAction::triggered, this, &frmMain::mnuReadme_Click);
    connect(c.mnuAbout, &QAction::triggered, this, [this] {
        frmAbout about(m_services, this);
        m_services.dialogs.showModal(about);
    });
    connect(c.mnuRegedit, &QAction::triggered, this, [this] {
        frmControlPanel controlPanel(
            m_services, m_reporter, wine::prefixFor(st().GameFolder), QStringLiteral("/tmp"), this);
        m_services.dialogs.showModal(controlPanel);
    });
    connect(c.mnuCheckVexal, &QAction::triggered, m_liveUpdate, &LiveUpdate::mnuCheckVexal_Click);
    connect(c.cmdInfo, &QPushButton::clicked, this, [this] {
        frmWhatsNew whatsNew(this);
        m_services.dialogs.showModal(whatsNew);
    });
    connect(c.QL1, &QAction::triggered, this, [this] { QL_Click(st().RecentFile1); });
    connect(c.QL2, &QAction::triggered, this, [this] { QL_Click(st().RecentFile2); });
}

void frmMain::watchForHints(const NamedObjects &controls)
{
    for (const QString &name : mainWindowRules::hintedControls()) {
        if (auto *control = controls.find<QWidget>(name))
            control->installEventFilter(this);
    }
    c.cboLanguage->installEventFilter(this);
    centralWidget()->installEventFilter(this);
    for (QWidget *panel : c.picOptions)
        panel->installEventFilter(this);
    c.TabStrip1->installEventFilter(this);
    c.stbMain->installEventFilter(this);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool mouseOver = type == QEvent::Enter || type == QEvent::MouseMove;
    if (watched == c.cboLanguage && (type == QEvent::FocusIn || type == QEvent::FocusOut)) {
        // The list is watched only while it has the focus.
        if (type == QEvent::FocusIn)
            c.tmrLanguage->start();
        else
            c.tmrLanguage->stop();
    } else if ((watched == c.cboFont || watched == c.cboSize) && type == QEvent::FocusIn) {
        showControlHint(watched->objectName());
    } else if (mouseOver && watched == c.stbMain) {
        resumeNews();
    } else if (mouseOver
        && (watched == centralWidget() || watched == c.TabStrip1
            || std::find(c.picOptions.begin(), c.picOptions.end(), watched) != c.picOptions.end())) {
        showBackgroundHint(watched);
    } else if (type == QEvent::Enter && !qobject_cast<QComboBox *>(watched)) {
        showControlHint(watched->objectName());
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::showControlHint(const QString &controlName)
{
    const auto &s = st();
    const auto hint = mainWindowRules::controlHint(controlName, {s.GameFolder, s.LatestAlpha, c.lblCap[6]->text()});
    if (hint)
        UpdateStatusBar(*hint, QString());
}

void frmMain::showBackgroundHint(QObject *area)
{
    const auto &s = st();
    mainWindowRules::BackgroundContext context;
    context.overWindowBackground = area == centralWidget();
    context.tabStripVisible = tabStripVisible();
    context.selectedTab = c.TabStrip1->currentIndex();
    context.cfgFileName = s.CfgFileName;
    context.grfFileName = s.GrfFileName;
    context.patchStatus = c.lblCap[6]->text();
    if (const auto hint = mainWindowRules::backgroundHint(context))
        UpdateStatusBar(*hint, QString());
    resumeNews();
}

void frmMain::resumeNews()
{
    if (!c.tmrNews->isActive() && m_news->NewsRunning())
        c.tmrNews->start();
}

void frmMain::Form_Load()
{
    auto &s = st();
    // Known before anything can fail: Restart, from a report raised while the options load, starts
    // the program from this folder.
    s.AppFolder = m_programFolder.endsWith(QLatin1Char('/')) ? m_programFolder : m_programFolder + QLatin1Char('/');
    ErrorTrap trap(&m_reporter);
    trap.step([&] {
        // The application states its version; a program without one (a test) is the build's.
        s.ProgramVersion = QCoreApplication::applicationVersion();
        if (s.ProgramVersion.isEmpty())
            s.ProgramVersion = QStringLiteral(VEXAL_VERSION);
        s.ProgramTitle = mainWindowRules::programTitle(s.ProgramVersion);
        if (s.IsWin2000OrXP)
            startTitleAnimation(0);
        else
            setWindowTitle(s.ProgramTitle);
        s.DetectedPatchVersion = QStringLiteral("none");
    });
    trap.step([&] {
        s.VexalUpdateTmpPath = s.TempPath + QLatin1String("vexalupd.tmp");
        s.PatchUpdateTmpPath = s.TempPath + QLatin1String("ttdpupd.tmp");
        s.NewsTmpPath = s.TempPath + QLatin1String("news.tmp");
        s.UpdaterPath = s.TempPath + QLatin1String("updater2.exe");
        for (const QString &leftover : {s.VexalUpdateTmpPath, s.PatchUpdateTmpPath, s.UpdaterPath,
                 QString(s.TempPath + QLatin1String("vexalpro.exe.tmp"))})
            modMain::deleteIfExists(leftover);
    });
    c.sldBlend->setEnabled(false);
    trap.step([&] {
        c.cboLanguage->clear();
        for (int k = 0; k <= s.LanguageCount; ++k)
            c.cboLanguage->addItem(s.LanguageTable.at(k).displayName);
        c.cboLanguage->setCurrentIndex(
            modLanguage::rowOfDisplayName(s, s.LanguageTable.value(s.LanguageIndex).displayName));
        m_lastSeenListPosition = c.cboLanguage->currentIndex();
    });
    options::LoadOptions(c, m_services.settings, s, trap);
    // The last news are shown at once; with the ticker off the line stays empty.
    trap.step([&] {
        if (c.chkTicker->isChecked())
            m_news->UpdateNewsTicker();
        else
            m_news->chkTicker_Click(false);
    });
    trap.report(QStringLiteral("@ frmMain Load"));
    trap.step([&] { setFlag(*c.imgFlag, s.LanguageIndex, s.LanguageTable.value(s.LanguageIndex).name); });
    trap.step([&] { ApplyInterfaceTexts(); });
    s.ControlsEnabled = true;
    trap.step([&] {
        s.RecentFile1 = readSetting(m_services.settings, settingKeys::Recent1);
        s.RecentFile2 = readSetting(m_services.settings, settingKeys::Recent2);
        showRecentFiles();
    });
    // The last file, reopened at the first activation, takes the welcome frame's place before the
    // window is first drawn: the frame's wrapped text need not be laid out for nothing.
    c.fraWelcome->setVisible(!m_fileToOpen.isEmpty() || !ConfigDocuments::reopensLast(m_services.settings));
    trap.report(QStringLiteral("@ frmMain Load"));
}

void frmMain::mnuReadme_Click()
{
    const QString readme = st().AppFolder + QLatin1String("VexalPro.txt");
    if (modMain::fileExists(readme)) {
        modMain::openDocument(m_services, readme);
        return;
    }
    m_services.dialogs.message(this,
        {modMain::ProductName, QStringLiteral("The file VexalPro.txt was not found in the program's folder."),
            MessageIcon::Critical});
}

void frmMain::showRecentFiles()
{
    const auto &s = st();
    bool any = false;
    for (auto [entry, path] : {std::pair {c.QL1, s.RecentFile1}, std::pair {c.QL2, s.RecentFile2}}) {
        const bool shown = modMain::fileExists(path) && path.size() > 3;
        if (shown)
            entry->setText(path);
        entry->setVisible(shown);
        any = any || shown;
    }
    c.brk00->setVisible(any);
}

void frmMain::QL_Click(const QString &recentFile)
{
    st().CfgFileName = recentFile;
    ReadSettings();
}

void frmMain::firstActivation()
{
    if (!m_fileToOpen.isEmpty())
        m_documents->openFile(m_fileToOpen);
    else
        m_documents->reopenLast(m_services.settings);
    if (!tabStripVisible())
        c.fraWelcome->show();
}

void frmMain::ReadSettings()
{
    m_documents->ReadSettings();
}

void frmMain::SaveSettings(bool runAfter, bool &closeAfter)
{
    m_documents->SaveSettings(runAfter, closeAfter);
}

void frmMain::DetectInstallation()
{
    m_installation->DetectInstallation();
}

void frmMain::RunTTD()
{
    m_installation->RunTTD();
}

void frmMain::GetPatchVersion(bool forceDetection)
{
    m_patchVersion->GetPatchVersion(forceDetection);
}

void frmMain::AutoLiveUpdate()
{
    m_liveUpdate->AutoLiveUpdate();
}

void frmMain::ResetNewsTicker()
{
    m_news->ResetNewsTicker();
}

void frmMain::UpdateNewsTicker()
{
    m_news->UpdateNewsTicker();
}

void frmMain::hideNews()
{
    if (QLabel *first = m_news->labels().value(0))
        first->hide();
}

bool frmMain::tickerEnabled() const
{
    return c.chkTicker->isChecked();
}

void frmMain::showPanelHint()
{
    showBackgroundHint(c.picOptions[std::size_t(qBound(0, c.TabStrip1->currentIndex(), 3))]);
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    Form_Activate();
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmMain::Form_Activate()
{
    if (!Activated) {
        Activated = true;
        // After the window has appeared: opening a file may show dialogs of its own.
        QTimer::singleShot(0, this, &frmMain::firstActivation);
    }
    modMain::applyChosenOpacity(*this);
}
