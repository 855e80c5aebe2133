#include "mainwindowcontrols.h"

#include "common/icons.h"
#include "common/twips.h"
#include "liveupdate/liveupdaterules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template <typename T, typename... Args> T *named(const QString &name, Args &&...args)
{
    auto *object = new T(std::forward<Args>(args)...);
    object->setObjectName(name);
    return object;
}

QLabel *icon(const QString &name, QStyle::StandardPixmap pixmap, int size = 32)
{
    auto *label = named<QLabel>(name);
    setStandardPicture(*label, pixmap, size);
    label->setFixedSize(size + 4, size + 4);
    return label;
}

// A framed box whose heading is one of the lblCap labels, as the frame captions are.
QFrame *box(QLabel *heading, QLayout *content)
{
    auto *frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(frame);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addLayout(content);
    layout->addStretch();
    return frame;
}

QAction *action(QMenu *menu, const QString &name, const QString &text = {})
{
    QAction *a = menu->addAction(text);
    a->setObjectName(name);
    return a;
}

QAction *separator(QMenu *menu, const QString &name = {})
{
    QAction *a = menu->addSeparator();
    if (!name.isEmpty())
        a->setObjectName(name);
    return a;
}

QMenu *submenu(QMenu *parent, const QString &name)
{
    auto *menu = named<QMenu>(name, parent);
    parent->addMenu(menu);
    return menu;
}

void buildMenus(QMainWindow &window, MainWindowControls &c)
{
    QMenuBar *bar = window.menuBar();
    c.mnuFile = named<QMenu>(QStringLiteral("mnuFile"), bar);
    bar->addMenu(c.mnuFile);
    c.mnuOpen = action(c.mnuFile, QStringLiteral("mnuOpen"));
    c.mnuOpen->setShortcut(QKeySequence::Open);
    c.mnuSave = action(c.mnuFile, QStringLiteral("mnuSave"));
    c.mnuSave->setShortcut(QKeySequence::Save);
    c.mnuSaveAndRun = action(c.mnuFile, QStringLiteral("mnuSaveAndRun"));
    c.mnuSaveAndRun->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    c.brk00 = separator(c.mnuFile, QStringLiteral("brk00"));
    c.QL1 = action(c.mnuFile, QStringLiteral("QL1"));
    c.QL2 = action(c.mnuFile, QStringLiteral("QL2"));
    c.brk01 = separator(c.mnuFile, QStringLiteral("brk01"));
    c.mnuExit = action(c.mnuFile, QStringLiteral("mnuExit"));
    c.mnuExit->setShortcut(QKeySequence::Quit);
    c.mnuExit->setMenuRole(QAction::QuitRole);
    for (QAction *hidden : {c.brk00, c.QL1, c.QL2})
        hidden->setVisible(false);

    c.mnuActions = named<QMenu>(QStringLiteral("mnuActions"), bar);
    bar->addMenu(c.mnuActions);
    c.mnuRunTTD = action(c.mnuActions, QStringLiteral("mnuRunTTD"));
    c.mnuRunTTD->setShortcut(QKeySequence(Qt::Key_F5));
    c.mnuRunPloven = action(c.mnuActions, QStringLiteral("mnuRunPloven"));
    c.mnuRunNarwick = action(c.mnuActions, QStringLiteral("mnuRunNarwick"));
    c.mnuRunAlter = action(c.mnuActions, QStringLiteral("mnuRunAlter"));
    c.mnuRegedit = action(c.mnuActions, QStringLiteral("mnuRegedit"));
    c.mnuVersionGet = action(c.mnuActions, QStringLiteral("mnuVersionGet"));
    c.mnuNextProblem = action(c.mnuActions, QStringLiteral("mnuNextProblem"));
    c.mnuNextProblem->setShortcut(QKeySequence(Qt::Key_F8));

    c.mnuHelp = named<QMenu>(QStringLiteral("mnuHelp"), bar);
    bar->addMenu(c.mnuHelp);
    c.mnuReadme = action(c.mnuHelp, QStringLiteral("mnuReadme"));
    c.mnuReadme->setShortcut(QKeySequence::HelpContents);
    c.mnuForums = action(c.mnuHelp, QStringLiteral("mnuForums"));
    c.mnuDownloadTTD = action(c.mnuHelp, QStringLiteral("mnuDownloadTTD"));
    separator(c.mnuHelp);
    c.mnuLinksTTD = submenu(c.mnuHelp, QStringLiteral("mnuLinksTTD"));
    c.mnuPatchUsa = action(c.mnuLinksTTD, QStringLiteral("mnuPatchUsa"));
    c.mnuPatchUk = action(c.mnuLinksTTD, QStringLiteral("mnuPatchUk"));
    c.mnuPatchDk = action(c.mnuLinksTTD, QStringLiteral("mnuPatchDk"));
    c.mnuPatchAlpha = action(c.mnuLinksTTD, QStringLiteral("mnuPatchAlpha"));
    c.mnuPatchPrevious = action(c.mnuLinksTTD, QStringLiteral("mnuPatchPrevious"));
    c.mnuPtchWiki = action(c.mnuLinksTTD, QStringLiteral("mnuPtchWiki"), QStringLiteral("TTDPatch wiki"));
    c.mnuPatchKell = action(c.mnuLinksTTD, QStringLiteral("mnuPatchKell"), QStringLiteral("Kell's TTD station"));
    c.mnuLinksTools = submenu(c.mnuHelp, QStringLiteral("mnuLinksTools"));
    c.mnuGoToPloven = action(c.mnuLinksTools, QStringLiteral("mnuGoToPloven"), QStringLiteral("Ploven"));
    c.mnuNarwick = action(c.mnuLinksTools, QStringLiteral("mnuNarwick"), QStringLiteral("Narwick"));
    c.mnuGrfCodec = action(c.mnuLinksTools, QStringLiteral("mnuGrfCodec"), QStringLiteral("GRFCodec"));
    c.mnuTtdAlter = action(c.mnuLinksTools, QStringLiteral("mnuTtdAlter"), QStringLiteral("TTDAlter"));
    c.mnuLinksGraphics = submenu(c.mnuHelp, QStringLiteral("mnuLinksGraphics"));
    c.mnuGraphicSets
        = action(c.mnuLinksGraphics, QStringLiteral("mnuGraphicSets"), QStringLiteral("TTDPatch's graphic sets"));
    c.mnuQuorail = action(c.mnuLinksGraphics, QStringLiteral("mnuQuorail"), QStringLiteral("Quorail"));
    c.mnuTTDGraphics = action(c.mnuLinksGraphics, QStringLiteral("mnuTTDGraphics"), QStringLiteral("TTD Graphics"));
    c.mnuTTDNewGraphics
        = action(c.mnuLinksGraphics, QStringLiteral("mnuTTDNewGraphics"), QStringLiteral("TT New Graphics"));
    separator(c.mnuHelp);
    c.mnuCheckVexal = action(c.mnuHelp, QStringLiteral("mnuCheckVexal"));
    separator(c.mnuHelp);
    c.mnuWebsite = submenu(c.mnuHelp, QStringLiteral("mnuWebsite"));
    c.mnuMainsite = action(c.mnuWebsite, QStringLiteral("mnuMainsite"));
    c.mnuMirror1 = action(c.mnuWebsite, QStringLiteral("mnuMirror1"));
    c.mnuAbout = action(c.mnuHelp, QStringLiteral("mnuAbout"));
    c.mnuAbout->setMenuRole(QAction::AboutRole);
}

// Their font is the options' (LoadOptions).
QPlainTextEdit *fileEditor(const QString &name)
{
    auto *editor = named<QPlainTextEdit>(name);
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    return editor;
}

QWidget *editorPanel(MainWindowControls &c)
{
    auto *panel = named<QWidget>(QStringLiteral("picOptions(0)"));
    auto *layout = new QVBoxLayout(panel);
    c.rtbPatch = fileEditor(QStringLiteral("rtbPatch"));
    layout->addWidget(c.rtbPatch, 1);
    auto *find = new QHBoxLayout;
    c.imgFind = icon(QStringLiteral("imgFind"), QStyle::SP_FileDialogContentsView, 16);
    find->addWidget(c.imgFind);
    find->addWidget(c.lblCap[25]);
    c.txtFind = named<QLineEdit>(QStringLiteral("txtFind"));
    c.txtFind->setClearButtonEnabled(true);
    find->addWidget(c.txtFind, 1);
    layout->addLayout(find);
    return panel;
}

QWidget *graphicsPanel(MainWindowControls &c)
{
    auto *panel = named<QWidget>(QStringLiteral("picOptions(1)"));
    auto *layout = new QGridLayout(panel);
    c.lblCap[22]->setWordWrap(true);
    c.flbGrf = named<QListWidget>(QStringLiteral("flbGrf"));
    c.rtbGrf = fileEditor(QStringLiteral("rtbGrf"));
    layout->addWidget(c.lblCap[22], 0, 0);
    layout->addWidget(c.lblCap[24], 0, 1);
    layout->addWidget(c.flbGrf, 1, 0);
    layout->addWidget(c.rtbGrf, 1, 1);
    layout->setColumnStretch(0, 2);
    layout->setColumnStretch(1, 3);
    return panel;
}

QWidget *updatePanel(MainWindowControls &c)
{
    auto *panel = named<QWidget>(QStringLiteral("picOptions(2)"));
    auto *layout = new QGridLayout(panel);

    c.picUpdates = named<QFrame>(QStringLiteral("picUpdates"));
    auto *info = new QHBoxLayout(c.picUpdates);
    c.imgPatchIco = icon(QStringLiteral("imgPatchIco"), QStyle::SP_ComputerIcon);
    c.imgPatchVersion = icon(QStringLiteral("imgPatchVersion"), QStyle::SP_MessageBoxWarning, 16);
    c.lblCap[6]->setWordWrap(true);
    info->addWidget(c.imgPatchIco);
    info->addWidget(c.lblCap[6], 1);
    info->addWidget(c.imgPatchVersion);
    layout->addWidget(c.picUpdates, 0, 0, 1, 2);

    c.lstLiveupdate = named<QListWidget>(QStringLiteral("lstLiveupdate"));
    // Every line of the log is one line of text. Told so, the view need not measure each line
    // again whenever one is added: an installation logging each of its files took seconds.
    c.lstLiveupdate->setUniformItemSizes(true);
    layout->addWidget(c.lstLiveupdate, 1, 0, 2, 1);

    auto *progress = new QVBoxLayout;
    progress->addWidget(c.lblCap[8]);
    layout->addWidget(box(c.lblCap[7], progress), 3, 0);

    auto *stable = new QVBoxLayout;
    c.cmdGetStable = named<QPushButton>(QStringLiteral("cmdGetStable"));
    stable->addWidget(c.lblCap[1]);
    stable->addWidget(c.lblCap[2]);
    stable->addWidget(c.cmdGetStable, 0, Qt::AlignRight);
    layout->addWidget(box(c.lblCap[0], stable), 1, 1);

    auto *alpha = new QVBoxLayout;
    auto *alphaButtons = new QHBoxLayout;
    c.imgNew = icon(QStringLiteral("imgNew"), QStyle::SP_MessageBoxInformation, 16);
    c.imgNew->setVisible(false);
    c.cmdInfo = named<QPushButton>(QStringLiteral("cmdInfo"), QStringLiteral("?"));
    c.cmdDetails = named<QPushButton>(QStringLiteral("cmdDetails"), QStringLiteral("..."));
    c.cmdGetAlpha = named<QPushButton>(QStringLiteral("cmdGetAlpha"));
    alphaButtons->addWidget(c.imgNew);
    alphaButtons->addStretch();
    alphaButtons->addWidget(c.cmdInfo);
    alphaButtons->addWidget(c.cmdDetails);
    alphaButtons->addWidget(c.cmdGetAlpha);
    alpha->addWidget(c.lblCap[4]);
    alpha->addWidget(c.lblCap[5]);
    alpha->addLayout(alphaButtons);
    layout->addWidget(box(c.lblCap[3], alpha), 2, 1);
    // Nothing to install or describe before a release check has read the version file.
    for (QPushButton *button : {c.cmdGetStable, c.cmdGetAlpha, c.cmdInfo, c.cmdDetails})
        button->setEnabled(false);

    auto *status = new QVBoxLayout;
    for (int i : {10, 11, 12})
        status->addWidget(c.lblCap[std::size_t(i)]);
    auto *check = new QHBoxLayout;
    c.imgNet = icon(QStringLiteral("imgNet"), QStyle::SP_DriveNetIcon, 16);
    c.imgLU = icon(QStringLiteral("imgLU"), QStyle::SP_BrowserReload, 16);
    c.cmdLU = named<QPushButton>(QStringLiteral("cmdLU"));
    check->addWidget(c.imgNet);
    check->addWidget(c.imgLU);
    check->addStretch();
    check->addWidget(c.cmdLU);
    status->addLayout(check);
    layout->addWidget(box(c.lblCap[9], status), 3, 1);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    return panel;
}

QCheckBox *checkBox(const QString &name)
{
    return named<QCheckBox>(name);
}

QComboBox *comboBox(const QString &name, const QStringList &items = {})
{
    auto *combo = named<QComboBox>(name);
    combo->addItems(items);
    return combo;
}

QWidget *settingsPanel(MainWindowControls &c)
{
    auto *panel = named<QWidget>(QStringLiteral("picOptions(%1)").arg(MainWindowControls::SettingsPanel));
    auto *layout = new QGridLayout(panel);

    auto *updates = new QGridLayout;
    c.chkUpdatePatch = checkBox(QStringLiteral("chkUpdatePatch"));
    c.chkUpdateVexal = checkBox(QStringLiteral("chkUpdateVexal"));
    // The mirrors, in the order their stored index counts them.
    c.cboPatchServer = comboBox(QStringLiteral("cboPatchServer"), liveUpdateRules::patchMirrors());
    c.cboVexalServer = comboBox(QStringLiteral("cboVexalServer"), liveUpdateRules::toolMirrors());
    updates->addWidget(c.lblCap[15], 0, 0, 1, 2);
    updates->addWidget(c.chkUpdatePatch, 1, 0);
    updates->addWidget(c.chkUpdateVexal, 1, 1);
    updates->addWidget(c.lblCap[16], 2, 0);
    updates->addWidget(c.cboPatchServer, 2, 1);
    updates->addWidget(c.lblCap[20], 3, 0);
    updates->addWidget(c.cboVexalServer, 3, 1);
    layout->addWidget(box(c.lblCap[21], updates), 0, 0);

    auto *language = new QGridLayout;
    c.cboLanguage = comboBox(QStringLiteral("cboLanguage"));
    c.imgFlag = named<QLabel>(QStringLiteral("imgFlag"));
    c.imgFlag->setFixedSize(36, 24);
    language->addWidget(c.lblCap[18], 0, 0, 1, 2);
    language->addWidget(c.cboLanguage, 1, 0);
    language->addWidget(c.imgFlag, 1, 1);
    c.lblCap[19]->setWordWrap(true);
    language->addWidget(c.lblCap[19], 2, 0, 1, 2);
    layout->addWidget(box(c.lblCap[17], language), 1, 0);

    auto *general = new QGridLayout;
    c.cboFont = comboBox(QStringLiteral("cboFont"),
        {QStringLiteral("Arial"), QStringLiteral("Courier New"), QStringLiteral("MS Sans Serif"),
            QStringLiteral("Tahoma"), QStringLiteral("Times New Roman")});
    c.cboSize = comboBox(QStringLiteral("cboSize"),
        {QStringLiteral("08"), QStringLiteral("09"), QStringLiteral("10"), QStringLiteral("12"), QStringLiteral("14")});
    c.chkColor = checkBox(QStringLiteral("chkColor"));
    c.chkBlend = checkBox(QStringLiteral("chkBlend"));
    c.chkStatusbar = checkBox(QStringLiteral("chkStatusbar"));
    c.chkTicker = checkBox(QStringLiteral("chkTicker"));
    c.chkVersionget = checkBox(QStringLiteral("chkVersionget"));
    c.chkAutoload = checkBox(QStringLiteral("chkAutoload"));
    c.sldBlend = named<QSlider>(QStringLiteral("sldBlend"), Qt::Horizontal);
    c.sldBlend->setRange(150, 250);
    c.sldBlend->setValue(200);
    c.sldBlend->setEnabled(false);
    general->addWidget(c.lblCap[26], 0, 0);
    general->addWidget(c.cboFont, 0, 1);
    general->addWidget(c.lblCap[27], 0, 2);
    general->addWidget(c.cboSize, 0, 3);
    general->addWidget(c.chkColor, 1, 0, 1, 2);
    general->addWidget(c.chkVersionget, 1, 2, 1, 2);
    general->addWidget(c.chkAutoload, 2, 0, 1, 2);
    general->addWidget(c.chkTicker, 2, 2, 1, 2);
    general->addWidget(c.chkStatusbar, 3, 0, 1, 2);
    general->addWidget(c.chkBlend, 3, 2, 1, 2);
    general->addWidget(c.lblCap[14], 4, 0, 1, 2);
    general->addWidget(c.sldBlend, 4, 2, 1, 2);
    layout->addWidget(box(c.lblCap[13], general), 0, 1, 2, 1);

    auto *bottom = new QHBoxLayout;
    c.imgSettings = icon(QStringLiteral("imgSettings"), QStyle::SP_FileDialogDetailedView, 16);
    c.cmdReset = named<QPushButton>(QStringLiteral("cmdReset"));
    bottom->addWidget(c.imgSettings);
    bottom->addStretch();
    bottom->addWidget(c.cmdReset);
    layout->addLayout(bottom, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    return panel;
}

QWidget *welcomeFrame(MainWindowControls &c)
{
    c.fraWelcome = named<QFrame>(QStringLiteral("fraWelcome"));
    auto *layout = new QVBoxLayout(c.fraWelcome);
    c.imgWelcome = named<QLabel>(QStringLiteral("imgWelcome"));
    setProgramPicture(*c.imgWelcome, 96);
    c.lblCap[23]->setWordWrap(true);
    for (QLabel *label : {c.lblCap[23], c.lblCap[28]})
        label->setAlignment(Qt::AlignCenter);
    layout->addStretch();
    layout->addWidget(c.imgWelcome, 0, Qt::AlignCenter);
    layout->addWidget(c.lblCap[23]);
    layout->addWidget(c.lblCap[28]);
    layout->addStretch();
    return c.fraWelcome;
}

QTimer *timer(QObject *owner, const QString &name, int interval)
{
    auto *t = named<QTimer>(name, owner);
    t->setInterval(interval);
    return t;
}

} // namespace

void MainWindowControls::showPanel(std::size_t index)
{
    // A page joins the stack when it is first shown: the stack measures every page it holds (and
    // the style prepares their controls) whenever the window lays itself out, which for pages not
    // yet opened was a good part of the start.
    QWidget *panel = picOptions.at(index);
    if (panelStack->indexOf(panel) < 0)
        panelStack->addWidget(panel);
    panelStack->setCurrentWidget(panel);
    fraWelcome->hide();
    panelStack->show();
}

void buildMainWindowControls(QMainWindow &window, MainWindowControls &c)
{
    for (std::size_t i = 0; i < c.lblCap.size(); ++i) {
        c.lblCap[i] = named<QLabel>(QStringLiteral("lblCap(%1)").arg(i));
        // Release versions and dates come from a server: shown as they are, never as markup.
        c.lblCap[i]->setTextFormat(Qt::PlainText);
    }

    buildMenus(window, c);

    auto *central = new QWidget;
    central->setObjectName(QStringLiteral("frmMainClient"));
    central->setMouseTracking(true);
    auto *layout = new QVBoxLayout(central);

    c.TabStrip1 = named<QTabBar>(QStringLiteral("TabStrip1"));
    for (const char *caption : {"TTDPATCH", "NEWGRF", "AutoUpdate", "Settings"})
        c.TabStrip1->addTab(QString::fromLatin1(caption));
    c.TabStrip1->setVisible(false);
    c.TabStrip1->setMouseTracking(true);
    layout->addWidget(c.TabStrip1);

    c.panelStack = new QStackedWidget;
    c.picOptions = {editorPanel(c), graphicsPanel(c), updatePanel(c), settingsPanel(c)};
    for (QWidget *panel : c.picOptions) {
        panel->setMouseTracking(true);
        // Hidden children of the stack until first shown (showPanel).
        panel->setParent(c.panelStack);
        panel->hide();
    }
    // The welcome frame lies beside the stack, not in it: the stack measures every page it holds
    // at every layout, the welcome text wraps and is slow to measure, and once a file is open the
    // hidden frame is passed over.
    c.panelStack->hide();
    layout->addWidget(c.panelStack, 1);
    layout->addWidget(welcomeFrame(c), 1);

    auto *buttons = new QHBoxLayout;
    c.cmdOpen = named<QPushButton>(QStringLiteral("cmdOpen"));
    c.cmdSave = named<QPushButton>(QStringLiteral("cmdSave"));
    c.cmdRun = named<QPushButton>(QStringLiteral("cmdRun"));
    c.cmdExit = named<QPushButton>(QStringLiteral("cmdExit"));
    const int iconSize = c.cmdOpen->iconSize().width();
    c.cmdOpen->setIcon(styleIcon(*central, QStyle::SP_DialogOpenButton, iconSize));
    c.cmdSave->setIcon(styleIcon(*central, QStyle::SP_DialogSaveButton, iconSize));
    c.cmdRun->setIcon(styleIcon(*central, QStyle::SP_MediaPlay, iconSize));
    buttons->addWidget(c.cmdOpen);
    buttons->addWidget(c.cmdSave);
    buttons->addWidget(c.cmdRun);
    buttons->addStretch();
    buttons->addWidget(c.cmdExit);
    layout->addLayout(buttons);

    c.picNews = named<QFrame>(QStringLiteral("picNews"));
    // Room for a headline of two lines.
    c.picNews->setFixedHeight(twipsToPixels(*c.picNews, 480));
    c.picNews->setMouseTracking(true);
    layout->addWidget(c.picNews);

    c.pgbMain = named<QProgressBar>(QStringLiteral("pgbMain"));
    c.pgbMain->setVisible(false);
    layout->addWidget(c.pgbMain);

    window.setCentralWidget(central);

    c.stbMain = named<QStatusBar>(QStringLiteral("stbMain"));
    c.stbMain->setMouseTracking(true);
    c.stbPanels
        = {named<QLabel>(QStringLiteral("stbMain.Panels(1)")), named<QLabel>(QStringLiteral("stbMain.Panels(2)"))};
    c.stbMain->addWidget(c.stbPanels[0], 1);
    c.stbMain->addPermanentWidget(c.stbPanels[1]);
    c.lblProblems = named<QLabel>(QStringLiteral("lblProblems"));
    c.lblProblems->hide();
    c.stbMain->addPermanentWidget(c.lblProblems);
    window.setStatusBar(c.stbMain);

    c.tmrTitlebar = timer(&window, QStringLiteral("tmrTitlebar"), 10);
    c.tmrLanguage = timer(&window, QStringLiteral("tmrLanguage"), 10);
    c.tmrNews = timer(&window, QStringLiteral("tmrNews"), 4000);
    c.tmrTimeout = timer(&window, QStringLiteral("tmrTimeout"), 1000);
}
