#include "platform/settingsstore.h"
#include "updater/runningprocesses.h"
#include "updater/updateplan.h"
#include "updater/updaterwindow.h"
#include "updater/updatesession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

#include <sys/stat.h>

namespace {

const QString App = QStringLiteral("Brakemoor Solutions");
const QString Section = QStringLiteral("VexalP");
const QByteArray OldOutput = "old version running";
const QByteArray OlderBackup = "an older backup";
constexpr int ProcessTimeoutMs = 15000;

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes, mode_t mode)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

struct stat statusOf(const QString &path)
{
    struct stat status { };
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

QByteArray outputOf(const QString &program)
{
    QProcess process;
    process.start(program, {});
    if (!process.waitForFinished(5000))
        return "<did not run>";
    return process.readAllStandardOutput().trimmed();
}

// A program that keeps running: the installed executable replaced by a copy of a real ELF program,
// because /proc/<pid>/exe of a script names its interpreter, not the script.
class Sleeper {
public:
    explicit Sleeper(const QString &path) { m_process.setProgram(path); }
    ~Sleeper()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool start(const QString &seconds)
    {
        m_process.setArguments({seconds});
        m_process.start();
        return m_process.waitForStarted();
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
};

// A temporary installation: the program folder with the old version, the cache folder with the
// downloaded new one, and the settings the program leaves for the updater.
class Installation {
public:
    Installation()
    {
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("program"));
        root.mkpath(QStringLiteral("settings"));
        root.mkpath(QStringLiteral("cache/vexalp"));
        writeFile(executable(), oldProgram(), 0755);
        // As downloaded: not executable yet.
        writeFile(download(), newProgram(), 0644);
        writeSettings(defaultSettings());
    }

    QString root() const { return m_dir.path(); }
    QString folder() const { return m_dir.filePath(QStringLiteral("program")) + QLatin1Char('/'); }
    QString executable() const { return folder() + QLatin1String("vexalpro"); }
    QString backup() const { return executable() + QLatin1String(".old"); }
    QString settingsFolder() const { return m_dir.filePath(QStringLiteral("settings")); }
    QString cacheFolder() const { return m_dir.filePath(QStringLiteral("cache/vexalp")) + QLatin1Char('/'); }
    QString download() const { return cacheFolder() + QLatin1String("vexalpro.exe.tmp"); }
    QString marker() const { return m_dir.filePath(QStringLiteral("new-version-started")); }

    QByteArray oldProgram() const { return "#!/bin/sh\necho '" + OldOutput + "'\n"; }
    // Records where it was started, so that the working folder can be checked too.
    QByteArray newProgram() const { return "#!/bin/sh\npwd -P > '" + QFile::encodeName(marker()) + "'\n"; }

    static std::map<QString, QString> defaultSettings()
    {
        return {{QStringLiteral("AppExeName"), QStringLiteral("vexalpro")},
            {QStringLiteral("msg1"), QStringLiteral("Bitte warten...")},
            {QStringLiteral("msg2"), QStringLiteral("Produktaktualisierungen werden übernommen")},
            {QStringLiteral("msg3"), QStringLiteral("Abbrechen")}};
    }
    void writeSettings(std::map<QString, QString> values) const
    {
        values.try_emplace(QStringLiteral("AppPath"), folder());
        SettingsStore store(settingsFolder());
        store.removeApplication(App);
        for (const auto &[key, value] : values) {
            if (!value.isNull())
                store.write(App, Section, key, value);
        }
        QVERIFY(store.sync());
    }

    void prepare(QProcess &updater, const QStringList &arguments, const QByteArray &failAt = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VEXALP_SETTINGS_DIR"), settingsFolder());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("VEXALP_UPDATER_FAIL_AT"));
        if (!failAt.isEmpty())
            environment.insert(QStringLiteral("VEXALP_UPDATER_FAIL_AT"), QString::fromLatin1(failAt));
        updater.setProcessEnvironment(environment);
        updater.setWorkingDirectory(folder());
        updater.setProgram(QStringLiteral(VEXAL_UPDATER_PATH));
        updater.setArguments(arguments);
        if (!launcher.isEmpty()) {
            updater.setProgram(launcher.first());
            updater.setArguments(launcher.mid(1) + QStringList {QStringLiteral(VEXAL_UPDATER_PATH)} + arguments);
        }
    }
    // A command that starts the updater in another way, e.g. as another user.
    QStringList launcher;

    struct Run {
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
    };
    Run runUpdater(const QByteArray &failAt = {}, QStringList arguments = {QStringLiteral("--no-dialogs")}) const
    {
        QProcess updater;
        prepare(updater, arguments, failAt);
        updater.start();
        if (!updater.waitForFinished(ProcessTimeoutMs)) {
            updater.kill();
            updater.waitForFinished();
            return {-1, {}, "the updater did not end"};
        }
        const int code = updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -2;
        return {code, updater.readAllStandardOutput(), updater.readAllStandardError()};
    }

    QStringList programFolderEntries() const
    {
        return QDir(folder()).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

private:
    QTemporaryDir m_dir;
};

// The installation left exactly as it was before the updater ran.
void verifyNothingChanged(const Installation &in, const QByteArray &previous, const QStringList &entries)
{
    QCOMPARE(in.programFolderEntries(), entries);
    QCOMPARE(readBytes(in.executable()), previous);
    QCOMPARE(readBytes(in.download()), in.newProgram());
    QVERIFY(!QFile::exists(in.marker()));
}

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private slots:
    void helpAndVersion()
    {
        Installation in;
        const auto version = in.runUpdater({}, {QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.contains(VEXAL_VERSION), version.output.constData());
        const auto help = in.runUpdater({}, {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.output.contains("--version"));
        QVERIFY(!help.output.contains("no-dialogs"));
        QCOMPARE(in.runUpdater({}, {QStringLiteral("--no-dialogs"), QStringLiteral("--wait-limit=soon")}).exitCode,
            int(UpdaterExit::CommandLine));
        verifyNothingChanged(in, in.oldProgram(), {QStringLiteral("vexalpro")});
    }

    void planComesFromTheSettings()
    {
        Installation in;
        auto settings = Installation::defaultSettings();
        settings[QStringLiteral("AppPath")] = in.folder() + QLatin1String("./");
        settings[QStringLiteral("msg1")] = QStringLiteral("Veuillez patienter…");
        settings[QStringLiteral("msg3")] = QString();
        in.writeSettings(settings);
        QString problem;
        const auto plan = updatePlan::read(SettingsStore(in.settingsFolder()), in.cacheFolder(), &problem);
        QVERIFY2(plan, qPrintable(problem));
        QCOMPARE(plan->programFolder, in.folder());
        QCOMPARE(plan->executablePath(), in.executable());
        QCOMPARE(plan->backupPath(), in.backup());
        QCOMPARE(plan->downloadedFile, in.download());
        QCOMPARE(plan->waitingText, QStringLiteral("Veuillez patienter…"));
        QCOMPARE(plan->heading, QStringLiteral("Produktaktualisierungen werden übernommen"));
        QCOMPARE(plan->cancelCaption, QStringLiteral("Cancel"));
    }

    void replacesTheProgramAndStartsTheNewVersion()
    {
        Installation in;
        const auto run = in.runUpdater();
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(statusOf(in.executable()).st_mode & 07777, mode_t(0755));
        QCOMPARE(readBytes(in.backup()), in.oldProgram());
        QCOMPARE(statusOf(in.backup()).st_mode & 07777, mode_t(0755));
        QVERIFY(!QFile::exists(in.download()));
        QCOMPARE(in.programFolderEntries(), QStringList({QStringLiteral("vexalpro"), QStringLiteral("vexalpro.old")}));
        // Started from the program folder.
        QTRY_COMPARE_WITH_TIMEOUT(
            readBytes(in.marker()).trimmed(), QFile::encodeName(QDir(in.folder()).canonicalPath()), 5000);
    }

    void installsWhereNoProgramWasLeft()
    {
        Installation in;
        QVERIFY(QFile::remove(in.executable()));
        const auto run = in.runUpdater();
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(in.programFolderEntries(), QStringList({QStringLiteral("vexalpro")}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(in.marker()), 5000);
    }

    void failureKeepsThePreviousVersion_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<bool>("backupRenewed");
        QTest::newRow("copy") << QByteArray("copy") << false;
        QTest::newRow("mode") << QByteArray("mode") << false;
        QTest::newRow("sync") << QByteArray("sync") << false;
        QTest::newRow("backup") << QByteArray("backup") << false;
        QTest::newRow("rename") << QByteArray("rename") << true;
        QTest::newRow("verify, after the rename") << QByteArray("verify") << true;
    }
    void failureKeepsThePreviousVersion()
    {
        QFETCH(QByteArray, step);
        QFETCH(bool, backupRenewed);
        Installation in;
        writeFile(in.backup(), OlderBackup, 0755);
        const ino_t previousFile = statusOf(in.executable()).st_ino;

        const auto run = in.runUpdater(step);
        QVERIFY2(run.exitCode == int(UpdaterExit::ReplaceFailed), run.errors.constData());
        QVERIFY2(run.errors.contains("previous version is still in place"), run.errors.constData());
        // The very file that was installed before, still runnable; no temporary file left over.
        verifyNothingChanged(in, in.oldProgram(), {QStringLiteral("vexalpro"), QStringLiteral("vexalpro.old")});
        QCOMPARE(statusOf(in.executable()).st_ino, previousFile);
        QCOMPARE(outputOf(in.executable()), OldOutput);
        QCOMPARE(readBytes(in.backup()), backupRenewed ? in.oldProgram() : OlderBackup);
    }

    void startFailureLeavesTheNewVersionInstalled()
    {
        Installation in;
        const auto run = in.runUpdater("start");
        QVERIFY2(run.exitCode == int(UpdaterExit::StartFailed), run.errors.constData());
        QVERIFY2(run.errors.contains("has been updated"), run.errors.constData());
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(readBytes(in.backup()), in.oldProgram());
        QVERIFY(!QFile::exists(in.download()));
        QVERIFY(!QFile::exists(in.marker()));
    }

    void unwritableProgramFolderChangesNothing_data()
    {
        QTest::addColumn<bool>("simulated");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("refused by the file system (simulated)") << true;
    }
    void unwritableProgramFolderChangesNothing()
    {
        QFETCH(bool, simulated);
        Installation in;
        const QByteArray folder = QFile::encodeName(in.folder());
        if (!simulated) {
            // Root may write into a read-only folder: then the updater runs as an ordinary user.
            if (::geteuid() == 0) {
                const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
                if (setpriv.isEmpty())
                    QSKIP("running as root without setpriv; the simulated row covers this case");
                QCOMPARE(::chmod(QFile::encodeName(in.root()).constData(), 0755), 0);
                in.launcher = QStringList {setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                    QStringLiteral("--clear-groups")};
            }
            QCOMPARE(::chmod(folder.constData(), 0555), 0);
        }
        const auto run = in.runUpdater(simulated ? "writable" : QByteArray());
        ::chmod(folder.constData(), 0755);
        QVERIFY2(run.exitCode == int(UpdaterExit::NotWritable), run.errors.constData());
        QVERIFY2(run.errors.contains("package manager"), run.errors.constData());
        verifyNothingChanged(in, in.oldProgram(), {QStringLiteral("vexalpro")});
    }

    void missingInputChangesNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("download");
        QTest::addColumn<QByteArray>("said");
        const QString present = QStringLiteral("present");
        const QString msg1 = QStringLiteral("msg1");
        const QString appPath = QStringLiteral("AppPath");
        const QString appExeName = QStringLiteral("AppExeName");
        QTest::newRow("no AppPath") << appPath << QString() << present << QByteArray("AppPath");
        QTest::newRow("no AppExeName") << appExeName << QString() << present << QByteArray("AppExeName");
        QTest::newRow("no such folder") << appPath << QStringLiteral("/nonexistent/vexal/") << present
                                        << QByteArray("does not exist");
        QTest::newRow("name leads elsewhere")
            << appExeName << QStringLiteral("../elsewhere") << present << QByteArray("not a file name");
        QTest::newRow("no download") << msg1 << msg1 << QStringLiteral("missing") << QByteArray("is missing");
        QTest::newRow("empty download") << msg1 << msg1 << QStringLiteral("empty") << QByteArray("is empty");
    }
    void missingInputChangesNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, download);
        QFETCH(QByteArray, said);
        Installation in;
        auto settings = Installation::defaultSettings();
        settings[key] = value;
        in.writeSettings(settings);
        if (download == QLatin1String("missing"))
            QVERIFY(QFile::remove(in.download()));
        else if (download == QLatin1String("empty"))
            writeFile(in.download(), {}, 0644);
        const QByteArray downloaded = readBytes(in.download());

        const auto run = in.runUpdater();
        QVERIFY2(run.exitCode == int(UpdaterExit::NothingToInstall), run.errors.constData());
        QVERIFY2(run.errors.contains(said) && run.errors.contains("Nothing has been changed"), run.errors.constData());
        QCOMPARE(in.programFolderEntries(), QStringList({QStringLiteral("vexalpro")}));
        QCOMPARE(readBytes(in.executable()), in.oldProgram());
        QCOMPARE(readBytes(in.download()), downloaded);
        QVERIFY(!QFile::exists(in.root() + QLatin1String("/elsewhere")));
        QVERIFY(!QFile::exists(in.marker()));
    }

    void findsTheProcessesRunningAnExecutable()
    {
        Installation in;
        QVERIFY(QFile::remove(in.executable()));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), in.executable()));
        QVERIFY(!runningProcesses::runsExecutable(in.executable()));
        {
            Sleeper sleeper(in.executable());
            QVERIFY(sleeper.start(QStringLiteral("10")));
            QVERIFY(runningProcesses::runsExecutable(in.executable()));
            QVERIFY(QFile::link(in.executable(), in.root() + QLatin1String("/link")));
            QVERIFY(runningProcesses::runsExecutable(in.root() + QLatin1String("/link")));
            QVERIFY(runningProcesses::runsExecutable(in.folder() + QLatin1String("../program/vexalpro")));
            QVERIFY(!runningProcesses::runsExecutable(in.download()));
        }
        QVERIFY(!runningProcesses::runsExecutable(in.executable()));
    }

    void waitsUntilTheProgramHasExited()
    {
        Installation in;
        QVERIFY(QFile::remove(in.executable()));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), in.executable()));
        const QByteArray previous = readBytes(in.executable());
        QElapsedTimer clock;
        clock.start();
        Sleeper program(in.executable());
        QVERIFY(program.start(QStringLiteral("2.5")));

        QProcess updater;
        in.prepare(updater, {QStringLiteral("--no-dialogs")});
        qint64 updaterEnded = -1;
        connect(&updater, &QProcess::finished, this, [&] { updaterEnded = clock.elapsed(); });
        updater.start();
        QVERIFY(updater.waitForStarted());
        QTest::qWait(1000);
        QCOMPARE(updater.state(), QProcess::Running);
        QCOMPARE(readBytes(in.executable()), previous);

        QTRY_VERIFY_WITH_TIMEOUT(updaterEnded >= 0, ProcessTimeoutMs);
        QVERIFY2(updater.exitCode() == 0, updater.readAllStandardError().constData());
        QVERIFY2(updaterEnded >= 2400, qPrintable(QString::number(updaterEnded)));
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(readBytes(in.backup()), previous);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(in.marker()), 5000);
    }

    void givesUpWhenTheProgramKeepsRunning()
    {
        Installation in;
        QVERIFY(QFile::remove(in.executable()));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), in.executable()));
        const QByteArray previous = readBytes(in.executable());
        Sleeper program(in.executable());
        QVERIFY(program.start(QStringLiteral("20")));
        const auto run = in.runUpdater({}, {QStringLiteral("--no-dialogs"), QStringLiteral("--wait-limit=0.6")});
        QVERIFY2(run.exitCode == int(UpdaterExit::StillRunning), run.errors.constData());
        QVERIFY2(run.errors.contains("still running"), run.errors.constData());
        verifyNothingChanged(in, previous, {QStringLiteral("vexalpro")});
    }

    void windowShowsTheTextsAndCancelStopsTheWait_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("closing the window") << true;
    }
    void windowShowsTheTextsAndCancelStopsTheWait()
    {
        QFETCH(bool, byClosing);
        Installation in;
        QVERIFY(QFile::remove(in.executable()));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), in.executable()));
        const QByteArray previous = readBytes(in.executable());
        auto program = std::make_unique<Sleeper>(in.executable());
        QVERIFY(program->start(QStringLiteral("20")));

        QString problem;
        const auto plan = updatePlan::read(SettingsStore(in.settingsFolder()), in.cacheFolder(), &problem);
        QVERIFY2(plan, qPrintable(problem));
        UpdaterWindow window(plan->heading, plan->waitingText, plan->cancelCaption);
        UpdateSession session(*plan);
        connect(&window, &UpdaterWindow::cancelRequested, &session, &UpdateSession::cancel);
        QSignalSpy finished(&session, &UpdateSession::finished);
        window.show();
        session.start();

        QCOMPARE(window.windowTitle(), QStringLiteral("Vexal Pro"));
        auto *cancel = window.findChild<QPushButton *>(QStringLiteral("cmdCancel"));
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Abbrechen"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblHeading"))->text(),
            QStringLiteral("Produktaktualisierungen werden übernommen"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblMessage"))->text(), QStringLiteral("Bitte warten..."));

        QTest::qWait(3 * int(UpdateSession::PollInterval.count()));
        QCOMPARE(finished.count(), 0);
        if (byClosing)
            window.close();
        else
            QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(UpdaterExit::Cancelled));

        // The program ending afterwards must not start the replacement any more.
        program.reset();
        QTest::qWait(3 * int(UpdateSession::PollInterval.count()));
        QCOMPARE(finished.count(), 1);
        verifyNothingChanged(in, previous, {QStringLiteral("vexalpro")});
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
