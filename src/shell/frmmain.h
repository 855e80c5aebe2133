#pragma once

#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "mainwindowcontrols.h"

#include <QMainWindow>

class NamedObjects;
class ColourCoding;
class CompanionTools;
class GrfList;
class TextSearch;
class ConfigDocuments;
class ErrorReporter;
class Installation;
class LiveUpdate;
class NewsTicker;
class PatchVersion;
class StringResources;

// The program's one main window: menus, four tabs, buttons, news line and status bar.
class frmMain : public QMainWindow, public MainWindowHost {
    Q_OBJECT
public:
    // `programFolder` is the folder of the running executable, with a trailing '/'.
    frmMain(Services &services, const StringResources &resources, ErrorReporter &reporter, QString programFolder,
        QWidget *parent = nullptr);
    ~frmMain() override;

    // The load handler: runs once, before the window is first shown.
    void Form_Load();

    MainWindowControls &controls() { return c; }

    void DisableControls() override;
    void EnableControls() override;
    void UpdateVersionDisplay() override;
    void UpdateStatusBar(const QString &tip1, const QString &tip2) override;
    void UpdateLUDisplay() override;
    bool tabStripVisible() const override;
    int selectedTab() const override;
    void showTabStrip(int tab) override;
    void showPanelHint() override;
    void showRecentFiles() override;
    ErrorReporter &errorReporter() override { return m_reporter; }
    UpdateBlocks &blocks() override { return Blocks; }
    QWidget *window() override { return this; }
    void ReadSettings() override;
    void SaveSettings(bool runAfter, bool &closeAfter) override;
    void DetectInstallation() override;
    void RunTTD() override;
    void GetPatchVersion(bool forceDetection) override;
    void AutoLiveUpdate() override;
    void ResetNewsTicker() override;
    void UpdateNewsTicker() override;
    void hideNews() override;
    bool tickerEnabled() const override;

    // A configuration file to open at the first activation instead of the last one.
    void setFileToOpen(const QString &path) { m_fileToOpen = path; }
    ConfigDocuments &documents() { return *m_documents; }
    Installation &installation() { return *m_installation; }
    ColourCoding &colourCoding() { return *m_colourCoding; }
    TextSearch &search() { return *m_search; }

    // Puts the current language's texts on every control.
    void ApplyInterfaceTexts();

    LiveUpdate &liveUpdate() { return *m_liveUpdate; }
    NewsTicker &news() { return *m_news; }

    // Set by the live-update and news procedures; EnableControls and the hints honour them.
    UpdateBlocks Blocks;
    int TitleLength = 0;
    bool Activated = false;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectHandlers(const NamedObjects &controls);
    void watchForHints(const NamedObjects &controls);
    void Form_Activate();
    bool Form_QueryUnload();
    void Form_Unload();
    void TabStrip1_Click(int index);
    void tmrTitlebar_Timer();
    void tmrLanguage_Timer();
    void chkBlend_Click(bool ticked);
    void sldBlend_Change(int value);
    void chkStatusbar_Click(bool ticked);
    void QL_Click(const QString &recentFile);
    void mnuReadme_Click();
    void firstActivation();
    void showControlHint(const QString &controlName);
    void showBackgroundHint(QObject *area);
    void resumeNews();
    void startTitleAnimation(int fromLength);
    void showProblemCount();

    Services &m_services;
    const StringResources &m_resources;
    ErrorReporter &m_reporter;
    QString m_programFolder;
    MainWindowControls c;
    ColourCoding *m_colourCoding = nullptr;
    ConfigDocuments *m_documents = nullptr;
    Installation *m_installation = nullptr;
    PatchVersion *m_patchVersion = nullptr;
    TextSearch *m_search = nullptr;
    GrfList *m_grfList = nullptr;
    CompanionTools *m_tools = nullptr;
    LiveUpdate *m_liveUpdate = nullptr;
    NewsTicker *m_news = nullptr;
    QString m_fileToOpen;
    int m_lastSeenListPosition = -1;
    bool m_busyCursor = false;
};
