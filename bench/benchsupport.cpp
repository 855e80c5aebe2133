#include "benchsupport.h"

#include "common/settingkeys.h"
#include "testsupport.h"

#include "switchlist.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

#include <sched.h>
#include <unistd.h>

namespace bench {

namespace {

// "123.4 ms" or "1.234 s": enough digits to compare, few enough to read.
QString duration(double seconds)
{
    return seconds < 1 ? QStringLiteral("%1 ms").arg(seconds * 1000, 0, 'f', seconds < 0.01 ? 3 : 1)
                       : QStringLiteral("%1 s").arg(seconds, 0, 'f', 3);
}

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf(field);
    if (at < 0)
        return -1;
    return text.mid(at + qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
}

void printLine(const QString &name, const QString &program, const QString &baseline, const QString &ratio,
    const QString &target, bool passed, const QString &note)
{
    std::printf("%-16s %12s %12s %9s %10s  %-4s  %s\n", qPrintable(name), qPrintable(program), qPrintable(baseline),
        qPrintable(ratio), qPrintable(target), passed ? "PASS" : "MISS", qPrintable(note));
    std::fflush(stdout);
}

} // namespace

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

bool report(const Comparison &c)
{
    const QString target = QStringLiteral("%1%2x").arg(
        c.atMost ? QStringLiteral("<=") : QStringLiteral(">="), QString::number(c.limit, 'f', 2));
    printLine(c.name, duration(c.program), duration(c.baseline), QString::number(c.ratio, 'f', 2) + QLatin1Char('x'),
        target, c.passed(), c.note);
    return c.passed();
}

bool reportValue(const QString &name, double value, const QString &unit, double limit, const QString &note)
{
    const bool passed = value <= limit;
    printLine(name, QString::number(value, 'f', 1) + QLatin1Char(' ') + unit, QStringLiteral("-"), QStringLiteral("-"),
        QStringLiteral("<=%1 %2").arg(limit).arg(unit), passed, note);
    return passed;
}

Medians alternate(int runs, const std::function<double()> &program, const std::function<double()> &baseline,
    const std::function<void()> &before)
{
    QList<double> programTimes, baselineTimes;
    auto measure = [&before](const std::function<double()> &side, QList<double> &times) {
        if (before)
            before();
        times.append(side());
    };
    for (int i = 0; i < runs; ++i) {
        if (i % 2 == 0) {
            measure(program, programTimes);
            measure(baseline, baselineTimes);
        } else {
            measure(baseline, baselineTimes);
            measure(program, programTimes);
        }
    }
    return {median(programTimes), median(baselineTimes)};
}

int reportAtMost(const QString &name, const Medians &medians, double limit, const QString &note)
{
    Comparison c;
    c.name = name;
    c.program = medians.program;
    c.baseline = medians.baseline;
    c.ratio = medians.program / medians.baseline;
    c.limit = limit;
    c.note = note;
    return report(c) ? 0 : 1;
}

void stayOnOneProcessor()
{
    const int processor = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    if (processor >= 0)
        CPU_SET(processor, &set);
    if (processor < 0 || sched_setaffinity(0, sizeof set, &set) != 0)
        std::fprintf(stderr, "bench: cannot stay on one processor; the figures may vary more\n");
}

int runs(int fallback)
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("BENCH_RUNS", &ok);
    return ok && wanted > 0 ? wanted : fallback;
}

namespace {
struct Failure {
    QString message;
};
} // namespace

void fail(const QString &message)
{
    throw Failure {message};
}

int guarded(const std::function<int()> &body)
{
    try {
        return body();
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(failure.message));
        return 2;
    }
}

int guardedWithProgram(int argc, char *argv[], const std::function<int(GameSession &)> &body)
{
    return guarded([&] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        GameSession session;
        return body(session);
    });
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(QString::fromLatin1(variable));
    env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("NO_PROXY"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("VEXALP_PATCH_SERVER"), QStringLiteral("http://127.0.0.1:1/"));
    env.insert(QStringLiteral("VEXALP_TOOL_SERVER"), QStringLiteral("http://127.0.0.1:1/"));
    return env;
}

void run(const QString &program, const QStringList &arguments, const QString &workingFolder, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted())
        fail(QStringLiteral("%1 does not start: %2").arg(program, process.errorString()));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        fail(QStringLiteral("%1 took longer than %2 s").arg(program).arg(timeoutMs / 1000));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("%1 %2 failed (exit code %3)")
                 .arg(program, arguments.join(QLatin1Char(' ')))
                 .arg(process.exitCode()));
}

qint64 residentKb()
{
    return statusKb("VmRSS:");
}

qint64 peakResidentKb()
{
    return statusKb("VmHWM:");
}

bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

void writeIncompressible(const QString &path, qint64 size, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    QRandomGenerator random(seed);
    QList<quint32> block(256 * 1024);
    for (qint64 written = 0; written < size;) {
        random.fillRange(block.data(), block.size());
        const qint64 bytes = std::min<qint64>(size - written, block.size() * qint64(sizeof(quint32)));
        if (file.write(reinterpret_cast<const char *>(block.constData()), bytes) != bytes)
            fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        written += bytes;
    }
}

void settleDisk()
{
    ::sync();
}

void prepareReturningPlayer(GameSession &session)
{
    writeBytes(session.folder + QStringLiteral("swtchlst.txt"), "TTDPatch V2.6 alpha 0 r1651 (Windows) starting.\r\n");
    const qint64 patchSize = QFileInfo(session.folder + QStringLiteral("ttdpatchw.exe")).size();
    auto name = [](const SettingKey &key) { return QString::fromLatin1(key.name); };
    session.t.presetSettings({{name(settingKeys::AutoLU), QStringLiteral("0")},
        {name(settingKeys::PatchVersion), QStringLiteral("2.6 alpha 0 r1651")},
        {name(settingKeys::PatchVersionSize), QString::number(patchSize)}});
}

void writeSwitchList(GameSession &session)
{
    QByteArray list = "2.6 alpha 0 r1651 (Windows)\r\n";
    for (const char *line : switch_lines)
        list += QByteArray(line) + "\r\n";
    writeBytes(session.folder + QStringLiteral("swtchlst.txt"), list);
}

QStringList switchNames()
{
    QStringList names;
    for (const char *line : switch_lines)
        names.append(QString::fromLatin1(line).section(QLatin1Char(' '), 1, 1));
    return names;
}

} // namespace bench
