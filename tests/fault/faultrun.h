#pragma once

// Runs a program under the fault shim (faultshim.c) and tells how it ended, and walks a save
// through every one of its file-changing calls.
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

struct ChildEnd {
    bool killed = false; // by the shim, in place of the call it was told to stop at
    int exitCode = -1; // when it ended by itself
    QByteArray output;
    QByteArray errors;
    QList<QByteArray> calls; // the counted calls in order, "N call detail"

    // The name of the counted call at 1-based `n` ("rename"), empty when there was none.
    QByteArray callName(qsizetype n) const;
    // For failure messages: how it ended and where.
    QString describe() const;
};

class FaultChild {
public:
    // `watch`: the folder whose first change starts the counting. `scratch`: a folder of the test
    // for the call log and the child's temporary files.
    FaultChild(QString program, QStringList arguments, QString watch, QString scratch);

    // Starts as the test's own, on the offscreen platform, with TMPDIR inside the scratch folder.
    QProcessEnvironment environment;
    QString workingFolder;
    // Runs in the child between fork and exec (resource limits, signal dispositions).
    std::function<void()> beforeExec;
    // Put before the program (e.g. a command that runs it in its own namespace).
    QStringList launcher;
    // Runs under the shim start the program once with this extra argument; it then forks one
    // process per run, for a kill point written to its standard input, and answers how it ended
    // ("killed" or "exit <code>"). For programs whose start-up costs far more than their save.
    QString serveArgument;

    FaultChild(FaultChild &&) = default;
    ~FaultChild();

    // Under the shim: killAt 0 only counts.
    ChildEnd run(long killAt = 0) const;
    // Without the shim.
    ChildEnd runPlain() const;

private:
    ChildEnd start(bool shim, long killAt) const;
    ChildEnd ask(long killAt) const;
    QProcessEnvironment shimEnvironment(long killAt) const;
    QString logFile() const;
    void readCalls(ChildEnd &end) const;

    QString m_program;
    QStringList m_arguments;
    QString m_watch;
    QString m_scratch;
    mutable std::unique_ptr<QProcess> m_server; // the program started with serveArgument
};

// Kills the child at its 1st, 2nd, 3rd... counted call until a run gets through without reaching
// the call it was to stop at. Before each run `prepare` puts the files back as they were; after
// each run `check` judges them (end.killed tells a kill from the complete run). Also checks that
// every run made the same calls as the complete one, so "the N-th call" means one step of the
// save. Returns the number of kill points; on a failure the test has recorded it.
long killAtEveryCall(const FaultChild &child, const std::function<void()> &prepare,
    const std::function<void(long killedAt, const ChildEnd &end)> &check);

// What a file holds after a kill, against the two complete versions it may hold.
enum class Version { Old, New, Neither };
Version versionOf(const QByteArray &bytes, const QByteArray &oldBytes, const QByteArray &newBytes);
const char *nameOf(Version version);

// What a folder holds besides the files it should hold. QSaveFile links a finished file in beside
// the old one as "<name>.XXXXXX" and then renames it over the old one; killed between the two, it
// leaves that name holding the complete new content, which nothing reads.
struct Leftovers {
    QStringList copies; // complete copies of a saved file, by those names
    QStringList others; // anything else: never acceptable
};
// `saved`: each file's name and the content its save writes.
Leftovers leftoversIn(
    const QString &folder, const QStringList &expected, const QList<std::pair<QString, QByteArray>> &saved);
