// The configuration with its list, the Wine registry and the installed program (replaced by the
// real updater) saved by a child that is killed in place of each file-changing call of the save,
// or whose every write fails as on a full disk: every time each file holds its old or its new
// content, whole. The program killed halfway still runs, and the updater's next run finishes the
// update.
#include "testsupport.h"

#include "updater/updatesession.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int ChildTimeoutMs = 60000;
// Far more than any change here makes; reaching it means the runs never get through.
constexpr long MostKillPoints = 400;

struct ChildEnd {
    bool killed = false; // by the shim, in place of the call it was told to stop at
    int exitCode = -1; // when it ended by itself
    QByteArray output;
    QByteArray errors;
    QByteArray lastCall; // the last counted call, "N call detail"

    // For failure messages: how it ended and where.
    QString describe() const
    {
        QString text
            = killed ? u"killed at call "_s + QString::fromLocal8Bit(lastCall) : u"exit code %1"_s.arg(exitCode);
        if (!output.isEmpty())
            text += u"\noutput: "_s + QString::fromLocal8Bit(output);
        if (!errors.isEmpty())
            text += u"\nerrors: "_s + QString::fromLocal8Bit(errors.right(2000));
        return text;
    }
};

// A program run under the fault shim (faultshim.c). `watch`: the folder whose first change starts
// the counting. `scratch`: a folder of the test for the call log and the child's temporary files.
// With `serves`, the program, started once under the shim with --serve, forks one process per run
// for a kill point written to its standard input and answers how it ended (its exit code, or minus
// the signal that ended it): for programs whose start-up costs far more than their change.
class FaultChild {
public:
    // Starts as the test's own, on the offscreen platform, with TMPDIR inside the scratch folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingFolder;

    FaultChild(const QString &program, QStringList arguments, const QString &watch, const QString &scratch,
        bool serves = false)
        : m_program(program)
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
    FaultChild(FaultChild &&) = default;
    ~FaultChild()
    {
        if (!m_server)
            return;
        m_server->closeWriteChannel();
        if (!m_server->waitForFinished(ChildTimeoutMs))
            m_server->kill();
    }

    // Under the shim, killed in place of call `killAt`; 0: started afresh, and only counts.
    ChildEnd run(long killAt = 0) const
    {
        QFile::remove(m_log);
        ChildEnd end = m_serves && killAt > 0 ? ask(killAt) : start(killAt);
        end.lastCall = readBytes(m_log).trimmed().split('\n').last();
        return end;
    }

private:
    QProcessEnvironment shimEnvironment(long killAt) const
    {
        QProcessEnvironment env = environment;
        env.insert(u"LD_PRELOAD"_s, QStringLiteral(VEXAL_FAULT_SHIM));
        env.insert(u"VEXAL_FAULT_WATCH"_s, m_watch);
        env.insert(u"VEXAL_FAULT_KILL_AT"_s, QString::number(killAt));
        env.insert(u"VEXAL_FAULT_LOG"_s, m_log);
        return env;
    }

    ChildEnd start(long killAt) const
    {
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
        return end;
    }

    ChildEnd ask(long killAt) const
    {
        if (!m_server) {
            m_server = std::make_unique<QProcess>();
            m_server->setProcessEnvironment(shimEnvironment(0));
            m_server->setWorkingDirectory(workingFolder);
            m_server->start(m_program, QStringList {u"--serve"_s} + m_arguments);
        }
        m_server->write(QByteArray::number(qlonglong(killAt)) + '\n');
        while (!m_server->canReadLine() && m_server->waitForReadyRead(ChildTimeoutMs)) { }
        bool answered = false;
        const int code = m_server->readLine().trimmed().toInt(&answered);
        ChildEnd end;
        end.errors = m_server->readAllStandardError() + (answered ? "" : "<no answer from the forking child>");
        end.killed = answered && code == -SIGKILL;
        end.exitCode = answered && code >= 0 ? code : -1;
        return end;
    }

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
    const std::function<void(long killedAt, const ChildEnd &end)> &check)
{
    for (long n = 1; n <= MostKillPoints; ++n) {
        prepare();
        if (QTest::currentTestFailed())
            return;
        const ChildEnd end = child.run(n);
        check(end.killed ? n : 0, end);
        if (QTest::currentTestFailed()) {
            qWarning("%s", qPrintable(end.describe()));
            return;
        }
        if (end.killed)
            continue;
        QVERIFY2(end.exitCode == 0, qPrintable(u"the complete run: "_s + end.describe()));
        QVERIFY2(n - 1 >= fewest, qPrintable(u"only %1 kill points"_s.arg(n - 1)));
        return;
    }
    QFAIL("the change never got through: it makes more file-changing calls than any should");
}

// What a file holds after a kill, against the two complete versions it may hold.
QString versionOf(const QByteArray &bytes, const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (bytes == oldBytes)
        return u"old"_s;
    return bytes == newBytes ? u"new"_s : u"neither"_s;
}

const QString Demo = QStringLiteral(VEXAL_DEMO_DIR "/");
const QByteArray OlderBackup = "an older backup of the registry";
// Both headers, so that the save adds none.
const QString NewConfiguration = u"//vexal=File created by Vexal Pro 1.2.5\r\n"
                                 "//ttdpatch=Detected TTDPatch versions is none\r\nmultihead 4\r\n"_s;
const QString NewList = u"newgrf/ukrs.grf\r\nnewgrf/canalsw.grf\r\n"_s;
const QByteArray OldOutput = "old version running";
const QByteArray NewOutput = "new version running";
const QByteArray OldProgram = "#!/bin/sh\necho '" + OldOutput + "'\n";
// Larger than Qt's write buffer: on a full disk its copy fails at the write, not at the flush.
const QByteArray NewProgram = "#!/bin/sh\necho '" + NewOutput + "'\nexit\n" + QByteArray(40000, '#');
const QByteArray OlderProgram = "#!/bin/sh\necho 'an older backup'\n";

// A file the save replaces, with its content before and after, and the name of a complete copy of
// the new content that a kill may leave beside it, which nothing reads. QSaveFile links a finished
// file in as "<name>.XXXXXX" and then renames it over the old one.
struct Saved {
    QString path;
    QByteArray before;
    QByteArray after;
    QString copyName = QRegularExpression::escape(QFileInfo(path).fileName()) + u"\\.[A-Za-z0-9]{6}"_s;
};

// A save by the child, and how to put its files back as they were before it.
struct Save {
    FaultChild child;
    QString folder;
    QStringList entries; // of the folder, besides copies a kill may leave
    std::function<void()> reset;
    std::function<QList<Saved>()> files; // in the order the save puts them in place
};

// The demo game folder with a new configuration and a new list in the editors, saved as the Save
// command does.
Save configurationSave(const QString &base)
{
    const QString folder = QDir(base).filePath(u"game"_s) + u'/';
    const QString demo = Demo + u"game/"_s;
    // Starting the whole program takes many times longer than a save: the child serves the runs.
    return {FaultChild(QStringLiteral(VEXAL_FAULT_SAVE),
                {u"config"_s, folder + u"ttdpatch.cfg"_s, NewConfiguration, NewList}, folder, base, true),
        folder, entriesOf(demo),
        [folder] {
            QDir(folder).removeRecursively();
            copyDemoGame(u"game"_s, folder);
        },
        // The save ends every file with a line break.
        [=] {
            return QList<Saved> {{folder + u"ttdpatch.cfg"_s, readBytes(demo + u"ttdpatch.cfg"_s),
                                     (NewConfiguration + u"\r\n").toLatin1()},
                {folder + u"newgrfw.cfg"_s, readBytes(demo + u"newgrfw.cfg"_s), (NewList + u"\r\n").toLatin1()}};
        }};
}

// The demo prefix's registry with a backup of its own, and a text set in it. The keys' times make
// the new file differ from run to run: the child writes it beside first.
Save registrySave(const QString &base)
{
    const QString prefix = QDir(base).filePath(u"prefix"_s);
    const QString file = prefix + u"/system.reg"_s;
    const QString expected = QDir(base).filePath(u"expected.reg"_s);
    const QByteArray old = readBytes(Demo + u"wine/system.reg"_s);
    return {FaultChild(QStringLiteral(VEXAL_FAULT_SAVE), {u"registry"_s, file, expected}, prefix, base, true), prefix,
        {u"system.reg"_s, u"system.reg.bak"_s},
        [=] {
            QDir(prefix).removeRecursively();
            QDir().mkpath(prefix);
            writeBytes(file, old);
            writeBytes(file + u".bak"_s, OlderBackup);
        },
        // The previous file is kept before the new one takes its place.
        [=] {
            return QList<Saved> {{file + u".bak"_s, OlderBackup, old}, {file, old, readBytes(expected)}};
        }};
}

// The installed program replaced by the real updater: an old version with an older backup, and the
// new one downloaded. The updater's copy of the new version and its link to the previous one, the
// backup to be, are named just before they are renamed into place.
Save programReplacement(const UpdaterInstallation &in)
{
    FaultChild child(QStringLiteral(VEXAL_UPDATER_PATH), {u"--no-dialogs"_s}, in.folder(), in.root());
    in.addTo(child.environment);
    child.workingFolder = in.folder();
    return {std::move(child), in.folder(), {u"vexalpro"_s, u"vexalpro.old"_s},
        [&in] {
            for (const QString &folder : {in.folder(), in.cacheFolder()}) {
                QDir(folder).removeRecursively();
                QDir().mkpath(folder);
            }
            writeProgram(in.executable(), OldProgram, 0755);
            writeProgram(in.backup(), OlderProgram, 0755);
            // As downloaded: not executable yet.
            writeProgram(in.download(), NewProgram, 0644);
        },
        [&in] {
            return QList<Saved> {{in.backup(), OlderProgram, OldProgram, uR"(vexalpro\.old\.\d+\.part)"_s},
                {in.executable(), OldProgram, NewProgram, uR"(\.vexalpro\.new-\w{6})"_s}};
        }};
}

// What the save's folder holds besides its own entries: "copy of <name>" for a complete copy of a
// saved file, the entry's name for anything else.
QStringList leftoversIn(const Save &save)
{
    QStringList left;
    for (const QString &entry : entriesOf(save.folder)) {
        QString found = entry;
        for (const Saved &file : save.files()) {
            if (QRegularExpression(u'^' + file.copyName + u'$').match(entry).hasMatch()
                && readBytes(save.folder + u'/' + entry) == file.after)
                found = u"copy of "_s + QFileInfo(file.path).fileName();
        }
        if (!save.entries.contains(entry))
            left << found;
    }
    return left;
}

} // namespace

class TestFaultSaves : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;
    UpdaterInstallation m_updater;

    Save saveOf(int kind, const QString &name) const
    {
        const QString base = m_scratch.filePath(name);
        QDir().mkpath(base);
        return kind == 0 ? configurationSave(base) : kind == 1 ? registrySave(base) : programReplacement(m_updater);
    }

private slots:
    void initTestCase() { m_updater.writeSettings({{u"AppExeName"_s, u"vexalpro"_s}}); }

    void saveKilledAtEveryCall_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("configuration and list") << 0;
        QTest::newRow("registry and backup") << 1;
        QTest::newRow("program and backup, by the updater") << 2;
    }
    void saveKilledAtEveryCall()
    {
        QFETCH(int, kind);
        const Save save = saveOf(kind, QTest::currentDataTag());
        QSet<QString> seen; // "0 old", "1 new"...: which file was found in which state after a kill
        QSet<QString> states; // of the program folder, for the updater's next run
        killAtEveryCall(save.child, 8, save.reset, [&](long n, const ChildEnd &end) {
            QString earlier = u"new"_s;
            QStringList versions;
            for (const Saved &file : save.files()) {
                const QString version = versionOf(readBytes(file.path), file.before, file.after);
                // Each file is put in place by one call, after those before it: new once new, and
                // new at the end.
                QVERIFY2(version != u"neither"_s && (version == u"old"_s || earlier == u"new"_s)
                        && (version == u"new"_s || (n != 0 && !seen.contains(u"%1 new"_s.arg(versions.size())))),
                    qPrintable(u"%1 is %2 after %3"_s.arg(file.path, version, end.describe())));
                if (n != 0)
                    seen << u"%1 %2"_s.arg(versions.size()).arg(version);
                versions << version;
                earlier = version;
            }
            const QStringList left = leftoversIn(save);
            QVERIFY2(left.filter(u"copy of "_s).size() == left.size() && (n != 0 || left.isEmpty()),
                qPrintable(left.join(u", "_s)));
            if (kind != 2)
                return;
            // The installed program runs; a failed or stopped update keeps its download for the next.
            const UpdaterInstallation &in = m_updater;
            QCOMPARE(outputOf(in.executable()), versions[1] == u"old"_s ? OldOutput : NewOutput);
            const bool downloadKept = QFile::exists(in.download());
            QVERIFY(downloadKept ? readBytes(in.download()) == NewProgram : versions[1] == u"new"_s);
            QVERIFY(n != 0 || !downloadKept);
            // The files are all the next run starts from: one run for each state they were left in.
            const QString state = versions.join(u' ') + QString::number(downloadKept) + left.join(u',');
            if (n == 0 || states.contains(state))
                return;
            states << state;
            // The next run completes the update, or finds nothing left to install; it neither
            // removes what the killed run left nor adds to it.
            const ChildEnd again = save.child.run();
            QVERIFY2(again.exitCode == int(downloadKept ? UpdaterExit::Updated : UpdaterExit::NothingToInstall),
                qPrintable(again.describe()));
            QCOMPARE(outputOf(in.executable()), NewOutput);
            QVERIFY(!QFile::exists(in.download()));
            QCOMPARE(leftoversIn(save), left);
        });
        // The kills fell before each replacement, and after the first.
        QVERIFY2(seen.contains(u"0 new"_s) && seen.contains(u"0 old"_s) && seen.contains(u"1 old"_s),
            qPrintable(seen.values().join(u", "_s)));
    }

    // A file system that refuses a call of the save: without hard links the previous version is
    // kept as a copy of its own; on a full disk the user is told and the files stay as they were.
    void refusedCalls_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // the error the user is told, <folder> the save's folder
        // Not the registry on a full disk: it writes both its files before it replaces either, so
        // there is nothing to check but the wording of its refusal.
        QTest::newRow("configuration, full disk")
            << 0 << u"write"_s << 3 << u"Error code # 61\nDisk full\n@ SaveSettings"_s;
        QTest::newRow("program, full disk")
            << 2 << u"write"_s << int(UpdaterExit::ReplaceFailed)
            << u"Cannot copy the new version into <folder>: No space left on device\nThe previous version is "
               "still in place.\n"_s;
        QTest::newRow("program, no hard links") << 2 << u"link"_s << int(UpdaterExit::Updated) << QString();
    }
    void refusedCalls()
    {
        QFETCH(int, kind);
        QFETCH(QString, call);
        QFETCH(QString, message);
        Save save = saveOf(kind, QTest::currentDataTag());
        save.reset();
        save.child.environment.insert(u"VEXAL_FAULT_REFUSE"_s, call);
        const ChildEnd end = save.child.run();
        QTEST(end.exitCode, "exitCode");
        message.replace(u"<folder>"_s, save.folder);
        QVERIFY2(QString::fromUtf8(kind == 2 ? end.errors : end.output).contains(message), qPrintable(end.describe()));
        for (const Saved &file : save.files()) {
            QCOMPARE(readBytes(file.path), end.exitCode == 0 ? file.after : file.before);
            QVERIFY(kind != 2 || QFileInfo(file.path).isExecutable());
        }
        QCOMPARE(entriesOf(save.folder), save.entries);
    }
};

QTEST_MAIN(TestFaultSaves)
#include "tst_fault_saves.moc"
