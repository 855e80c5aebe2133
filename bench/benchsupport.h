#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

class GameSession;

// What every benchmark shares: timing, medians, the environment of a child program and the one
// result line scripts/bench collects. Absolute times on a shared machine mean little, so each
// benchmark measures its baseline in the same run, interleaved with the program, and judges only
// the ratio of the medians.
namespace bench {

// Seconds taken by `work`.
double timed(const std::function<void()> &work);
double median(QList<double> values);

// A program's time against its baseline's, judged by the ratio of the two.
struct Comparison {
    QString name;
    double program = 0; // seconds
    double baseline = 0; // seconds
    // The ratio the target is about: usually program / baseline, for a throughput baseline / program.
    double ratio = 0;
    double limit = 0;
    bool atMost = true; // true: ratio <= limit passes; false: ratio >= limit passes
    QString note; // what was measured, in a few words

    bool passed() const { return atMost ? ratio <= limit : ratio >= limit; }
};

// Prints the result line and returns whether the target was met.
bool report(const Comparison &comparison);

// The medians of `runs` runs of each side, run in turn and each side first every other time, so
// that a busy moment of the machine hits both alike. `before` (if set) runs, untimed, before each.
struct Medians {
    double program = 0;
    double baseline = 0;
};
Medians alternate(int runs, const std::function<double()> &program, const std::function<double()> &baseline,
    const std::function<void()> &before = {});
// Reports program / baseline against an upper limit; returns the benchmark's exit code, 0 when
// the target was met and 1 when it was missed.
int reportAtMost(const QString &name, const Medians &medians, double limit, const QString &note);
// The same line for a figure that has no baseline time of its own (peak memory).
bool reportValue(const QString &name, double value, const QString &unit, double limit, const QString &note);

// The number of runs of each side: `fallback`, or BENCH_RUNS when set (at least 1).
int runs(int fallback);

// Stops the benchmark with a message: something it needs is missing or broke, so there is no figure.
// What the benchmark made (temporary folders, its server) goes on the way out.
[[noreturn]] void fail(const QString &message);
// Runs a benchmark's body: its exit code, or 2 with the message when it failed.
int guarded(const std::function<int()> &body);
// The same for a benchmark that drives the program as its tests do: a QApplication (on the
// offscreen platform unless another is set) and a session over a copy of the demo game folder.
int guardedWithProgram(int argc, char *argv[], const std::function<int(GameSession &)> &body);

// Keeps the calling thread, and the programs it starts from now on, on the processor it runs on
// now (threads already running keep theirs). Started programs otherwise land on each processor in
// turn, and on a virtual machine one processor can be a third slower than another: the medians of
// runs mixed from both jump between the two speeds. Both sides on one processor compare like with
// like.
void stayOnOneProcessor();

// The environment every child program gets: no proxy in the way of loopback traffic, and update
// servers that are nowhere, so nothing leaves the machine.
QProcessEnvironment childEnvironment();

// Runs a program to its end (at most `timeoutMs`); fails the benchmark when it cannot start,
// times out or exits with an error.
void run(
    const QString &program, const QStringList &arguments, const QString &workingFolder = {}, int timeoutMs = 120000);

// Resident memory of this process, in kB: now, and the peak since the last resetPeakMemory().
qint64 residentKb();
qint64 peakResidentKb();
// Makes the peak the current size again (Linux clear_refs); false when the kernel refuses.
bool resetPeakMemory();

// Writes `size` bytes of a deterministic pattern that does not compress (a file to download).
void writeIncompressible(const QString &path, qint64 size, quint32 seed);

// Flushes written files to the disk, so that one run's writing does not land in the next run's time.
void settleDisk();

// The session's settings and game folder as after an earlier start: the automatic update checks
// off and the patch version remembered, so that opening a file neither reaches for a server nor
// waits for the patch program to answer. Before the session's program starts.
void prepareReturningPlayer(GameSession &session);
// After that: the switch list the demo's stand-in patch writes (every switch of TTDPatch's default
// configuration) in the game folder, so that the editor judges every line against it.
void writeSwitchList(GameSession &session);
// The names of that list's switches.
QStringList switchNames();

} // namespace bench
