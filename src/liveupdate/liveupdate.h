#pragma once

#include "liveupdaterules.h"
#include "transfer.h"

#include <QObject>
#include <QString>

#include <array>

class ErrorTrap;
class MainWindowHost;
struct Services;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

// The controls of the live-update tab and the window parts the live update works on.
struct LiveUpdateControls {
    QListWidget &lstLiveupdate;
    QCheckBox &chkUpdatePatch;
    QCheckBox &chkUpdateVexal;
    std::array<QLabel *, 29> &lblCap;
    QProgressBar &pgbMain;
    QTimer &tmrTimeout;
    QComboBox &cboPatchServer;
    QComboBox &cboVexalServer;
    QLabel &imgNew;
    QPushButton &cmdLU;
    QPushButton &cmdGetStable;
    QPushButton &cmdGetAlpha;
    QPushButton &cmdInfo;
    QPushButton &cmdDetails;
    QPlainTextEdit &rtbPatch;
};

// Downloads, the patch release check and the installation of a TTDPatch release: the main
// window's live-update procedures and the handlers of the live-update tab.
class LiveUpdate : public QObject {
    Q_OBJECT
public:
    // Update kinds, as LiveUpdateNow reads them.
    enum Kind : int { Stable = 0, AlphaBeta = 1, Program = 2 };

    LiveUpdate(Services &services, MainWindowHost &host, const LiveUpdateControls &controls, QObject *parent = nullptr);

    // --- Transfers -----------------------------------------------------------------------------
    // Fetches FileURL into TargetFile; the outcome is DownloadFailed and the file. A file is only
    // ever replaced by a whole body. A length that is not a number throws type mismatch (13).
    void DownloadFile(const QString &FileURL, const QString &TargetFile, bool IsUpdateList);
    void LiveUpdateEvent(const QString &Status);
    void NoConnectionFound();
    void CheckConnectionType();
    void intMain_StateChanged(int State);
    void tmrTimeout_Timer();
    // The start every update run shares: without a connection to the server the failure ending
    // runs and false comes back; otherwise the window's controls wait for the transfers.
    bool startRun(const QString &server);

    // --- Release check and installation --------------------------------------------------------
    void CheckPatchUpdate();
    void LiveUpdateNow();
    void cmdLU_Click();
    void cmdGetStable_Click();
    void cmdGetAlpha_Click();
    void cmdDetails_Click();

    // --- The program's own update ----------------------------------------------------------------
    void CheckVexalUpdate();
    void mnuCheckVexal_Click();

    // --- Schedule and display ------------------------------------------------------------------
    // The automatic checks, once a run after the first opened file, each product once a day.
    void AutoLiveUpdate();
    void UpdateLUDisplay();
    void chkUpdatePatch_Click();
    void chkUpdateVexal_Click();
    // A server address typed into a server box: taken when it is one, else refused with a message.
    void serverTyped(QComboBox &box);
    // Lets the server boxes take a mirror of one's own, typed in; done when their page first shows,
    // since an editable box costs every start for a page most starts never open.
    void acceptTypedServers();

    QString patchServer() const;
    QString toolServer() const;

    bool DownloadFailed = false;
    liveUpdateRules::ServerKind ServerKind = liveUpdateRules::ServerKind::None;
    int Countdown = 0;
    // The section names of the three newest switch blocks, from the last release check.
    QString Newest, Newer, New;
    // Set while AutoLiveUpdate runs: an up-to-date program is not worth a box then.
    bool AutomaticCheck = false;
    bool AutomaticUpdateDone = false;
    // The public half of the key that signs the program's releases (PEM).
    QByteArray ReleaseKey;

signals:
    // Every text the status line is given, in order: each progress count (the line itself shows
    // them at a slower pace) and each countdown step.
    void statusLineChanged(const QString &text);

private:
    struct Download;
    void receive(Download &download);
    // The answer's headers are in: refuses it, or opens its file.
    void startKeeping(Download &download);
    // Puts the last count received on the progress bar and the status line.
    void showProgress(Download &download);
    void downloadFailedEnding(bool isUpdateList);
    void setStatusLine(const QString &text);
    void showReleaseLabels();
    void installButtonClicked(Kind kind);
    void installPatchRelease(Kind kind, ErrorTrap &trap);
    void askForUnzipLibrary();
    void appendSwitchBlock(const QString &block);
    // The patch's text maker, run in the game folder after a release is unpacked.
    void StartTextMaker();
    void replaceProgram(ErrorTrap &trap);
    // A downloaded file that is not signed as the tool version file says is deleted and reported.
    bool verifiedDownload(const QString &path, const QString &signatureKey);
    static QString versionFileValue(QLatin1String section, const QString &key);
    static QStringList versionFileLines();

    Services &m_services;
    MainWindowHost &m_host;
    LiveUpdateControls c;
    Transfer m_intMain;
    // Releases installed in this run, by kind: their install buttons stay blocked.
    std::array<bool, 2> m_installed {};
};

// Makes `address` the server box's choice, adding it after the entries when it is none of them.
void chooseServer(QComboBox &box, const QString &address);

// Every LF becomes CR LF and one more CR LF ends the file, as the servers' files are read.
void FixTextFile(const QString &FileName);
