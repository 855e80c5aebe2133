#include "faultrun.h"

#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

constexpr int ChildTimeoutMs = 60000;
// Far more than any save here makes; reaching it means the runs never get through.
constexpr long MostKillPoints = 400;

QByteArray nameInLine(const QByteArray &line)
{
    const QList<QByteArray> parts = line.split(' ');
    return parts.size() > 1 ? parts[1] : QByteArray();
}

void walk(const FaultChild &child, const std::function<void()> &prepare,
    const std::function<void(long, const ChildEnd &)> &check, long &points)
{
    QList<QByteArray> stoppedAt; // the call each killed run was stopped at, by its number
    for (long n = 1; n <= MostKillPoints; ++n) {
        prepare();
        if (QTest::currentTestFailed())
            return;
        const ChildEnd end = child.run(n);
        if (end.killed) {
            QVERIFY2(end.calls.size() == n,
                qPrintable(
                    QStringLiteral("run %1: %2 calls logged\n%3").arg(n).arg(end.calls.size()).arg(end.describe())));
            stoppedAt.append(end.callName(n));
            check(n, end);
            if (QTest::currentTestFailed()) {
                qWarning("killed in place of call %ld: %s", n, end.calls.last().constData());
                return;
            }
            continue;
        }
        QVERIFY2(end.exitCode == 0, qPrintable(QStringLiteral("the complete run: %1").arg(end.describe())));
        // The complete run made exactly the calls the killed runs were stopped at, in that order.
        QCOMPARE(end.calls.size(), n - 1);
        for (long i = 1; i < n; ++i)
            QVERIFY2(end.callName(i) == stoppedAt[i - 1],
                qPrintable(QStringLiteral("call %1 was %2 in the complete run but %3 when killed there")
                               .arg(i)
                               .arg(QString::fromLatin1(end.callName(i)), QString::fromLatin1(stoppedAt[i - 1]))));
        check(0, end);
        points = n - 1;
        return;
    }
    QFAIL("the save never got through: it makes more file-changing calls than any save should");
}

} // namespace

QByteArray ChildEnd::callName(qsizetype n) const
{
    return n >= 1 && n <= calls.size() ? nameInLine(calls[n - 1]) : QByteArray();
}

QString ChildEnd::describe() const
{
    QString text = killed ? QStringLiteral("killed at call %1 (%2)")
                                .arg(calls.size())
                                .arg(QString::fromLocal8Bit(calls.isEmpty() ? QByteArray() : calls.last()))
                          : QStringLiteral("exit code %1").arg(exitCode);
    if (!output.isEmpty())
        text += QStringLiteral("\noutput: ") + QString::fromLocal8Bit(output);
    if (!errors.isEmpty())
        text += QStringLiteral("\nerrors: ") + QString::fromLocal8Bit(errors.right(2000));
    return text;
}

FaultChild::FaultChild(QString program, QStringList arguments, QString watch, QString scratch)
    : environment(QProcessEnvironment::systemEnvironment())
    , m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_watch(QDir::cleanPath(std::move(watch)))
    , m_scratch(std::move(scratch))
{
    const QString temporary = QDir(m_scratch).filePath(QStringLiteral("tmp"));
    QDir().mkpath(temporary);
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A sanitized child refuses to run when its runtime is not the first library loaded; the shim
    // comes first here and only forwards each call to the next library, the runtime's included.
    QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
        (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("verify_asan_link_order=0"));
}

FaultChild::~FaultChild()
{
    if (!m_server)
        return;
    m_server->closeWriteChannel();
    if (!m_server->waitForFinished(ChildTimeoutMs))
        m_server->kill();
}

ChildEnd FaultChild::run(long killAt) const
{
    return serveArgument.isEmpty() ? start(true, killAt) : ask(killAt);
}

ChildEnd FaultChild::runPlain() const
{
    return start(false, 0);
}

// One call log per run: removed before each, so that a run never sees the lines of the one before.
QString FaultChild::logFile() const
{
    return QDir(m_scratch).filePath(QStringLiteral("fault-calls.log"));
}

QProcessEnvironment FaultChild::shimEnvironment(long killAt) const
{
    QProcessEnvironment env = environment;
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VEXAL_FAULT_SHIM));
    env.insert(QStringLiteral("VEXAL_FAULT_WATCH"), m_watch);
    env.insert(QStringLiteral("VEXAL_FAULT_KILL_AT"), QString::number(killAt));
    env.insert(QStringLiteral("VEXAL_FAULT_LOG"), logFile());
    return env;
}

void FaultChild::readCalls(ChildEnd &end) const
{
    QFile calls(logFile());
    if (!calls.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : calls.readAll().split('\n')) {
        if (!line.isEmpty())
            end.calls.append(line);
    }
}

ChildEnd FaultChild::start(bool shim, long killAt) const
{
    QFile::remove(logFile());
    QProcess process;
    process.setProcessEnvironment(shim ? shimEnvironment(killAt) : environment);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    if (beforeExec)
        process.setChildProcessModifier(beforeExec);
    const QStringList command = launcher + QStringList {m_program} + m_arguments;
    process.start(command.first(), command.mid(1));
    ChildEnd end;
    if (!process.waitForFinished(ChildTimeoutMs) && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        end.errors = "<did not end in time> " + process.readAllStandardError();
        return end;
    }
    end.output = process.readAllStandardOutput();
    end.errors = process.readAllStandardError();
    // QProcess gives the signal's number as the exit code of a process that a signal ended.
    end.killed = process.exitStatus() == QProcess::CrashExit && process.exitCode() == SIGKILL;
    end.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    readCalls(end);
    return end;
}

ChildEnd FaultChild::ask(long killAt) const
{
    QFile::remove(logFile());
    ChildEnd end;
    if (!m_server) {
        m_server = std::make_unique<QProcess>();
        m_server->setProcessEnvironment(shimEnvironment(0));
        if (!workingFolder.isEmpty())
            m_server->setWorkingDirectory(workingFolder);
        m_server->start(m_program, QStringList {serveArgument} + m_arguments);
        m_server->waitForStarted();
    }
    m_server->write(QByteArray::number(qlonglong(killAt)) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!m_server->canReadLine() && m_server->state() == QProcess::Running && clock.elapsed() < ChildTimeoutMs)
        m_server->waitForReadyRead(1000);
    const QByteArray answer = m_server->readLine().trimmed();
    end.errors = m_server->readAllStandardError();
    if (answer == "killed")
        end.killed = true;
    else if (answer.startsWith("exit "))
        end.exitCode = answer.mid(5).toInt();
    else
        end.errors += "<no answer from the forking stand-in: " + answer + ">";
    readCalls(end);
    return end;
}

long killAtEveryCall(const FaultChild &child, const std::function<void()> &prepare,
    const std::function<void(long, const ChildEnd &)> &check)
{
    long points = 0;
    walk(child, prepare, check, points);
    return points;
}

Version versionOf(const QByteArray &bytes, const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (bytes == oldBytes)
        return Version::Old;
    return bytes == newBytes ? Version::New : Version::Neither;
}

const char *nameOf(Version version)
{
    switch (version) {
    case Version::Old: return "old";
    case Version::New: return "new";
    case Version::Neither: break;
    }
    return "neither old nor new";
}

Leftovers leftoversIn(
    const QString &folder, const QStringList &expected, const QList<std::pair<QString, QByteArray>> &saved)
{
    Leftovers found;
    for (const QString &entry : entriesOf(folder)) {
        if (expected.contains(entry))
            continue;
        bool copy = false;
        for (const auto &[name, bytes] : saved) {
            const QRegularExpression temporary(
                u'^' + QRegularExpression::escape(name) + QStringLiteral("\\.[A-Za-z0-9]{6}$"));
            copy = copy || (temporary.match(entry).hasMatch() && readBytes(QDir(folder).filePath(entry)) == bytes);
        }
        (copy ? found.copies : found.others).append(entry);
    }
    return found;
}
