#include "faultrun.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int ChildTimeoutMs = 60000;
// Far more than any change here makes; reaching it means the runs never get through.
constexpr long MostKillPoints = 400;

} // namespace

void killAtEveryCall(const FaultChild &child, long fewest, const std::function<void()> &prepare,
    const std::function<void(long, const ChildEnd &)> &check)
{
    for (long n = 1; n <= MostKillPoints; ++n) {
        prepare();
        if (QTest::currentTestFailed())
            return;
        const ChildEnd end = child.run(n);
        if (end.killed) {
            check(n, end);
            if (QTest::currentTestFailed()) {
                qWarning("killed in place of call %ld: %s", n, end.calls.last().constData());
                return;
            }
            continue;
        }
        QVERIFY2(end.exitCode == 0, qPrintable(u"the complete run: "_s + end.describe()));
        check(0, end);
        QVERIFY2(n - 1 >= fewest, qPrintable(u"only %1 kill points"_s.arg(n - 1)));
        return;
    }
    QFAIL("the change never got through: it makes more file-changing calls than any should");
}

QString ChildEnd::describe() const
{
    QString text = killed ? u"killed at call %1"_s.arg(QString::fromLocal8Bit(calls.value(calls.size() - 1)))
                          : u"exit code %1"_s.arg(exitCode);
    if (!output.isEmpty())
        text += u"\noutput: "_s + QString::fromLocal8Bit(output);
    if (!errors.isEmpty())
        text += u"\nerrors: "_s + QString::fromLocal8Bit(errors.right(2000));
    return text;
}

FaultChild::FaultChild(QString program, QStringList arguments, QString watch, QString scratch, bool serves)
    : environment(QProcessEnvironment::systemEnvironment())
    , m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_watch(QDir::cleanPath(watch))
    // One call log per run: removed before each, so that a run never sees the lines of the one before.
    , m_log(QDir(scratch).filePath(u"fault-calls.log"_s))
    , m_serves(serves)
{
    const QString temporary = QDir(scratch).filePath(u"tmp"_s);
    QDir().mkpath(temporary);
    environment.insert(u"TMPDIR"_s, temporary);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // A sanitized child refuses to run when its runtime is not the first library loaded; the shim
    // comes first here and only forwards each call to the next library, the runtime's included.
    const QString asan = environment.value(u"ASAN_OPTIONS"_s);
    environment.insert(u"ASAN_OPTIONS"_s, (asan.isEmpty() ? asan : asan + u':') + u"verify_asan_link_order=0"_s);
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
    return m_serves && killAt > 0 ? ask(killAt) : start(killAt);
}

QProcessEnvironment FaultChild::shimEnvironment(long killAt) const
{
    QProcessEnvironment env = environment;
    env.insert(u"LD_PRELOAD"_s, QStringLiteral(VEXAL_FAULT_SHIM));
    env.insert(u"VEXAL_FAULT_WATCH"_s, m_watch);
    env.insert(u"VEXAL_FAULT_KILL_AT"_s, QString::number(killAt));
    env.insert(u"VEXAL_FAULT_LOG"_s, m_log);
    return env;
}

void FaultChild::readCalls(ChildEnd &end) const
{
    end.calls = readBytes(m_log).split('\n');
    end.calls.removeAll(QByteArray());
}

ChildEnd FaultChild::start(long killAt) const
{
    QFile::remove(m_log);
    QProcess process;
    process.setProcessEnvironment(shimEnvironment(killAt));
    process.setWorkingDirectory(workingFolder);
    process.start(m_program, m_arguments);
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
    QFile::remove(m_log);
    if (!m_server) {
        m_server = std::make_unique<QProcess>();
        m_server->setProcessEnvironment(shimEnvironment(0));
        m_server->setWorkingDirectory(workingFolder);
        m_server->start(m_program, QStringList {u"--serve"_s} + m_arguments);
    }
    m_server->write(QByteArray::number(qlonglong(killAt)) + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!m_server->canReadLine() && m_server->state() != QProcess::NotRunning && clock.elapsed() < ChildTimeoutMs)
        m_server->waitForReadyRead(1000);
    const QByteArray answer = m_server->readLine().trimmed();
    ChildEnd end;
    end.errors = m_server->readAllStandardError();
    end.killed = answer == "killed";
    if (answer.startsWith("exit "))
        end.exitCode = answer.mid(5).toInt();
    else if (!end.killed)
        end.errors += "<no answer from the forking child: " + answer + ">";
    readCalls(end);
    return end;
}

QString versionOf(const QByteArray &bytes, const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (bytes == oldBytes)
        return u"old"_s;
    return bytes == newBytes ? u"new"_s : u"neither"_s;
}
