#pragma once

#include <QString>

class ErrorReporter;
class QWidget;

// What a subsystem may ask of the main window. Controllers reach the window only through this,
// so none of them includes frmMain or another subsystem's widgets.
// What EnableControls keeps disabled after the live update has run. Nothing can be installed
// before a release check has read the patch server's version file.
struct UpdateBlocks {
    bool StableInstall = true;
    bool AlphaInstall = true;
    bool SelfCheck = false;
};

class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;

    virtual void DisableControls() = 0;
    virtual void EnableControls() = 0;
    virtual void UpdateVersionDisplay() = 0;
    virtual void UpdateStatusBar(const QString &tip1, const QString &tip2) = 0;
    // The live-update panel's state display; empty until live update is built.
    virtual void UpdateLUDisplay() = 0;
    // True once a configuration file has been opened and the tab strip shows.
    virtual bool tabStripVisible() const = 0;
    // The selected tab, 0-based.
    virtual int selectedTab() const = 0;
    // Leaves the welcome frame for the tab strip with `tab` (0-based) selected.
    virtual void showTabStrip(int tab) = 0;
    // The status-bar hint of the selected tab, as moving the mouse over its panel gives it.
    virtual void showPanelHint() = 0;
    // Shows QL1, QL2 and their separator for the recent files that exist.
    virtual void showRecentFiles() = 0;
    virtual ErrorReporter &errorReporter() = 0;
    virtual UpdateBlocks &blocks() = 0;
    virtual QWidget *window() = 0;

    // Other subsystems' procedures.
    virtual void ReadSettings() = 0;
    virtual void SaveSettings(bool runAfter, bool &closeAfter) = 0;
    // Game folder, edition and patch executable of CfgFileName, with the edition dialog and the
    // removal offers; the first two detection steps are done by the caller.
    virtual void DetectInstallation() = 0;
    virtual void RunTTD() = 0;
    virtual void GetPatchVersion(bool forceDetection) = 0;
    virtual void AutoLiveUpdate() = 0;
    // The news ticker's procedures and its option.
    virtual void ResetNewsTicker() = 0;
    virtual void UpdateNewsTicker() = 0;
    // Hides the news line's first headline until the next update.
    virtual void hideNews() = 0;
    virtual bool tickerEnabled() const = 0;
};
