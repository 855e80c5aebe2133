#pragma once

#include "common/modmain.h"

#include <QObject>

#include <memory>

class MainWindowHost;
class QAction;
class frmConflict;

// Which edition of the game and which patch the game folder holds, and starting the game.
class Installation : public QObject {
    Q_OBJECT
public:
    Installation(Services &services, MainWindowHost &host, QAction &mnuRegedit, QObject *parent = nullptr);
    ~Installation() override;

    // The edition from the game's executables, the edition dialog when something is missing, the
    // patch executable, and the offer to remove the other edition's patch.
    void DetectInstallation();
    // Shows the edition dialog when the game or the edition's patch is missing.
    void CheckSoftware();
    // Starts the patch in the game folder and closes the program, unless the edition dialog came up.
    void RunTTD();
    // Run TTD (button and menu): offers to save first.
    void cmdRun_Click();
    void mnuSaveAndRun_Click();

    frmConflict *conflictDialog() const { return m_conflict.get(); }

private:
    void showConflict(int page);
    void offerRemoval(const QString &path, int text, const QString &suffix);

    Services &m_services;
    MainWindowHost &m_host;
    QAction &m_mnuRegedit;
    std::unique_ptr<frmConflict> m_conflict;
};
