#pragma once

#include <QString>

// What a subsystem may ask of the main window. Controllers reach the window only through this,
// so none of them includes frmMain or another subsystem's widgets.
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
};
