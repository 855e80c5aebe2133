#pragma once

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QStackedWidget;
class QStatusBar;
class QTabBar;
class QTimer;
class QWidget;

// Every control of the main window, each carrying its control name as objectName. The window
// hands each subsystem the controls it works on.
struct MainWindowControls {
    // File menu
    QMenu *mnuFile = nullptr;
    QAction *mnuOpen = nullptr, *mnuSave = nullptr, *mnuSaveAndRun = nullptr, *brk00 = nullptr;
    QAction *QL1 = nullptr, *QL2 = nullptr, *brk01 = nullptr, *mnuExit = nullptr;
    // Actions menu
    QMenu *mnuActions = nullptr;
    QAction *mnuRunTTD = nullptr, *mnuRunPloven = nullptr, *mnuRunNarwick = nullptr, *mnuRunAlter = nullptr;
    QAction *mnuRegedit = nullptr, *mnuVersionGet = nullptr, *mnuNextProblem = nullptr;
    // Help menu
    QMenu *mnuHelp = nullptr, *mnuLinksTTD = nullptr, *mnuLinksTools = nullptr, *mnuLinksGraphics = nullptr;
    QMenu *mnuWebsite = nullptr;
    QAction *mnuReadme = nullptr, *mnuForums = nullptr, *mnuDownloadTTD = nullptr;
    QAction *mnuPatchUsa = nullptr, *mnuPatchUk = nullptr, *mnuPatchDk = nullptr, *mnuPatchAlpha = nullptr;
    QAction *mnuPatchPrevious = nullptr, *mnuPtchWiki = nullptr, *mnuPatchKell = nullptr;
    QAction *mnuGoToPloven = nullptr, *mnuNarwick = nullptr, *mnuGrfCodec = nullptr, *mnuTtdAlter = nullptr;
    QAction *mnuGraphicSets = nullptr, *mnuQuorail = nullptr, *mnuTTDGraphics = nullptr;
    QAction *mnuTTDNewGraphics = nullptr, *mnuCheckVexal = nullptr, *mnuMainsite = nullptr;
    QAction *mnuMirror1 = nullptr, *mnuAbout = nullptr;

    // Tabs and panels
    QTabBar *TabStrip1 = nullptr;
    QStackedWidget *panelStack = nullptr;
    std::array<QWidget *, 4> picOptions {};
    static constexpr std::size_t SettingsPanel = 3;
    void showPanel(std::size_t index);
    QWidget *fraWelcome = nullptr;
    QLabel *imgWelcome = nullptr;
    std::array<QLabel *, 29> lblCap {};

    // Tab 1: configuration editor
    QPlainTextEdit *rtbPatch = nullptr;
    QLineEdit *txtFind = nullptr;
    QLabel *imgFind = nullptr;
    // Tab 2: new-graphics list
    QListWidget *flbGrf = nullptr;
    QPlainTextEdit *rtbGrf = nullptr;
    // Tab 3: live update
    QWidget *picUpdates = nullptr;
    QLabel *imgPatchIco = nullptr, *imgPatchVersion = nullptr, *imgNew = nullptr, *imgNet = nullptr;
    QLabel *imgLU = nullptr;
    QListWidget *lstLiveupdate = nullptr;
    QPushButton *cmdGetStable = nullptr, *cmdGetAlpha = nullptr, *cmdInfo = nullptr, *cmdDetails = nullptr;
    QPushButton *cmdLU = nullptr;
    // Tab 4: settings
    QCheckBox *chkUpdatePatch = nullptr, *chkUpdateVexal = nullptr;
    QComboBox *cboPatchServer = nullptr, *cboVexalServer = nullptr, *cboLanguage = nullptr;
    QLabel *imgFlag = nullptr, *imgSettings = nullptr;
    QComboBox *cboFont = nullptr, *cboSize = nullptr;
    QCheckBox *chkColor = nullptr, *chkBlend = nullptr, *chkStatusbar = nullptr, *chkTicker = nullptr;
    QCheckBox *chkVersionget = nullptr, *chkAutoload = nullptr;
    QSlider *sldBlend = nullptr;
    QPushButton *cmdReset = nullptr;

    // Below the tabs
    QPushButton *cmdOpen = nullptr, *cmdSave = nullptr, *cmdRun = nullptr, *cmdExit = nullptr;
    QWidget *picNews = nullptr;
    QStatusBar *stbMain = nullptr;
    std::array<QLabel *, 2> stbPanels {};
    QLabel *lblProblems = nullptr; // the configuration's problem count, while a switch list is known
    QProgressBar *pgbMain = nullptr;

    QTimer *tmrTitlebar = nullptr, *tmrLanguage = nullptr, *tmrNews = nullptr, *tmrTimeout = nullptr;

    // The eight option check boxes, in the order the settings panel shows them.
    std::array<QCheckBox *, 8> optionBoxes() const
    {
        return {
            chkUpdatePatch, chkUpdateVexal, chkColor, chkBlend, chkStatusbar, chkTicker, chkVersionget, chkAutoload};
    }
};

// Creates the controls on the window, lays them out and names them.
void buildMainWindowControls(QMainWindow &window, MainWindowControls &c);
