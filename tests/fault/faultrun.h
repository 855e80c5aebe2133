#pragma once

// Runs a program under the fault shim (faultshim.c) and tells how it ended, and walks a change of
// files through every one of its file-changing calls.
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct ChildEnd {
    bool killed = false; // by the shim, in place of the call it was told to stop at
    int exitCode = -1; // when it ended by itself
    QByteArray output;
    QByteArray errors;
    QList<QByteArray> calls; // the counted calls in order, "N call detail"

    // For failure messages: how it ended and where.
    QString describe() const;
};

class FaultChild {
public:
    // `watch`: the folder whose first change starts the counting. `scratch`: a folder of the test
    // for the call log and the child's temporary files. With `serves`, the program, started once
    // under the shim with --serve, forks one process per run for a kill point written to its
    // standard input and answers how it ended ("killed" or "exit <code>"): for programs whose
    // start-up costs far more than their change.
    FaultChild(QString program, QStringList arguments, QString watch, QString scratch, bool serves = false);
    FaultChild(FaultChild &&) = default;
    ~FaultChild();

    // Starts as the test's own, on the offscreen platform, with TMPDIR inside the scratch folder.
    QProcessEnvironment environment;
    QString workingFolder;

    // Under the shim, killed in place of call `killAt`; 0: started afresh, and only counts.
    ChildEnd run(long killAt = 0) const;

private:
    ChildEnd start(long killAt) const;
    ChildEnd ask(long killAt) const;
    QProcessEnvironment shimEnvironment(long killAt) const;
    void readCalls(ChildEnd &end) const;

    QString m_program;
    QStringList m_arguments;
    QString m_watch;
    QString m_log;
    bool m_serves;
    mutable std::unique_ptr<QProcess> m_server;
};

// Kills the child at its 1st, 2nd, 3rd... counted call until a run gets through without reaching
// the call it was to stop at, which must come after at least `fewest` kill points. Before each run
// `prepare` puts the files back as they were; after each run `check` judges them (killedAt 0: the
// complete run).
void killAtEveryCall(const FaultChild &child, long fewest, const std::function<void()> &prepare,
    const std::function<void(long killedAt, const ChildEnd &end)> &check);

// What a file holds after a kill, against the two complete versions it may hold: "old", "new" or
// "neither".
QString versionOf(const QByteArray &bytes, const QByteArray &oldBytes, const QByteArray &newBytes);
