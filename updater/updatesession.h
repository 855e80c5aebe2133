#pragma once

#include "replacement.h"
#include "updateplan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

// The updater's exit codes: anything but Updated means the installed program was not replaced,
// except StartFailed (replaced, but the new version did not start).
enum class UpdaterExit : int {
    Updated = 0,
    CommandLine = 1, // as QCommandLineParser ends on an unknown option
    NothingToInstall = 2,
    Cancelled = 3,
    StillRunning = 4,
    NotWritable = 5,
    ReplaceFailed = 6,
    StartFailed = 7,
    PreviousLost = 8, // the replacement failed and the previous version could not be put back
};

// Waits for the program to exit, then replaces it and starts the new version. Waiting polls on a
// timer, so the window stays responsive and Cancel works until the replacement begins.
class UpdateSession : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds PollInterval {200};
    static constexpr std::chrono::milliseconds DefaultWaitLimit {60'000};

    explicit UpdateSession(
        UpdatePlan plan, std::chrono::milliseconds waitLimit = DefaultWaitLimit, QObject *parent = nullptr);

    void start();
    // Ignored once the replacement has begun: it runs to its end or puts the previous version back.
    void cancel();
    bool isFinished() const { return m_finished; }

signals:
    void replacing();
    // `message` is empty when there is nothing to tell the user.
    void finished(int exitCode, const QString &message);

private:
    void poll();
    void install();
    void finish(UpdaterExit code, const QString &message = {});

    UpdatePlan m_plan;
    Replacement m_replacement;
    std::chrono::milliseconds m_waitLimit;
    QTimer m_timer;
    QElapsedTimer m_waited;
    bool m_replacing = false;
    bool m_finished = false;
};
