#include "platform/settingsstore.h"
#include "testsupport.h"
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

using namespace Qt::StringLiterals;

namespace {

const QByteArray OldOutput = "old version running";
const QByteArray OlderBackup = "an older backup";
constexpr int ProcessTimeoutMs = 15000;

struct stat statusOf(const QString &path)
{
    struct stat status { };
    ::stat(QFile::encodeName(path).constData(), &status);
    return status;
}

// The old version installed, the new one downloaded, and the settings for the updater.
class Installation : public UpdaterInstallation {
public:
    Installation()
    {
        writeProgram(executable(), oldProgram(), 0755);
        // As downloaded: not executable yet.
        writeProgram(download(), newProgram(), 0644);
        writeSettings(defaultSettings());
    }

    QString marker() const { return root() + u"/new-version-started"_s; }

    QByteArray oldProgram() const { return "#!/bin/sh\necho '" + OldOutput + "'\n"; }
    // Records where it was started, so that the working folder can be checked too.
    QByteArray newProgram() const { return "#!/bin/sh\npwd -P > '" + QFile::encodeName(marker()) + "'\n"; }

    static std::map<QString, QString> defaultSettings()
    {
        return {{u"AppExeName"_s, u"vexalpro"_s}, {u"msg1"_s, u"Bitte warten..."_s},
            {u"msg2"_s, u"Produktaktualisierungen werden übernommen"_s}, {u"msg3"_s, u"Abbrechen"_s}};
    }
    void prepare(QProcess &updater, const QStringList &arguments, const QByteArray &failAt = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        addTo(environment);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        if (!failAt.isEmpty())
            environment.insert(u"VEXALP_UPDATER_FAIL_AT"_s, QString::fromLatin1(failAt));
        updater.setProcessEnvironment(environment);
        updater.setWorkingDirectory(folder());
        const QStringList command = launcher + QStringList {QStringLiteral(VEXAL_UPDATER_PATH)} + arguments;
        updater.setProgram(command.first());
        updater.setArguments(command.mid(1));
    }
    // A command that starts the updater in another way, e.g. as another user.
    QStringList launcher;

    struct Run {
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
    };
    Run runUpdater(const QByteArray &failAt = {}, QStringList arguments = {u"--no-dialogs"_s}) const
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

    // Puts a copy of sleep in the place of the installed program; returns its bytes. A real ELF
    // program, because /proc/<pid>/exe of a script names its interpreter, not the script.
    QByteArray installSleep() const
    {
        QFile::remove(executable());
        return QFile::copy(u"/bin/sleep"_s, executable()) ? readBytes(executable()) : QByteArray();
    }
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
    void commandLine()
    {
        Installation in;
        const auto version = in.runUpdater({}, {u"--version"_s});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.contains(VEXAL_VERSION), version.output.constData());
        const auto help = in.runUpdater({}, {u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.output.contains("--version") && !help.output.contains("no-dialogs"));
        QCOMPARE(
            in.runUpdater({}, {u"--no-dialogs"_s, u"--wait-limit=soon"_s}).exitCode, int(UpdaterExit::CommandLine));
        verifyNothingChanged(in, in.oldProgram(), {u"vexalpro"_s});
    }

    void planComesFromTheSettings()
    {
        Installation in;
        auto settings = Installation::defaultSettings();
        settings[u"AppPath"_s] = in.folder() + u"./"_s;
        settings[u"msg1"_s] = u"Veuillez patienter…"_s;
        settings[u"msg3"_s] = QString();
        in.writeSettings(settings);
        QString problem;
        const auto plan = updatePlan::read(SettingsStore(in.settingsFolder()), in.cacheFolder(), &problem);
        QVERIFY2(plan, qPrintable(problem));
        QCOMPARE(plan->executablePath(), in.executable());
        QCOMPARE(plan->downloadedFile, in.download());
        QCOMPARE(plan->waitingText, u"Veuillez patienter…"_s);
        QCOMPARE(plan->heading, u"Produktaktualisierungen werden übernommen"_s);
        QCOMPARE(plan->cancelCaption, u"Cancel"_s); // the default when msg3 is missing
    }

    void replacesTheProgramAndStartsTheNewVersion_data()
    {
        QTest::addColumn<bool>("previous");
        QTest::newRow("previous version") << true;
        QTest::newRow("no program left") << false;
    }
    void replacesTheProgramAndStartsTheNewVersion()
    {
        QFETCH(bool, previous);
        Installation in;
        if (!previous)
            QVERIFY(QFile::remove(in.executable()));
        const auto run = in.runUpdater();
        QVERIFY2(run.exitCode == 0, run.errors.constData());
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(statusOf(in.executable()).st_mode & 07777, mode_t(0755));
        QVERIFY(!QFile::exists(in.download()));
        QStringList entries {u"vexalpro"_s};
        if (previous) {
            QCOMPARE(readBytes(in.backup()), in.oldProgram());
            QCOMPARE(statusOf(in.backup()).st_mode & 07777, mode_t(0755));
            entries << u"vexalpro.old"_s;
        }
        QCOMPARE(in.programFolderEntries(), entries);
        // Started from the program folder.
        QTRY_COMPARE_WITH_TIMEOUT(
            readBytes(in.marker()).trimmed(), QFile::encodeName(QDir(in.folder()).canonicalPath()), 5000);
    }

    void failureKeepsThePreviousVersion_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<bool>("backupRenewed");
        for (const char *step : {"copy", "mode", "sync", "backup"})
            QTest::newRow(step) << QByteArray(step) << false;
        QTest::newRow("rename") << QByteArray("rename") << true;
        QTest::newRow("verify, after the rename") << QByteArray("verify") << true;
    }
    void failureKeepsThePreviousVersion()
    {
        QFETCH(QByteArray, step);
        QFETCH(bool, backupRenewed);
        Installation in;
        writeProgram(in.backup(), OlderBackup, 0755);
        const ino_t previousFile = statusOf(in.executable()).st_ino;

        const auto run = in.runUpdater(step);
        QVERIFY2(run.exitCode == int(UpdaterExit::ReplaceFailed), run.errors.constData());
        QVERIFY2(run.errors.contains("previous version is still in place"), run.errors.constData());
        // The very file that was installed before, still runnable; no temporary file left over.
        verifyNothingChanged(in, in.oldProgram(), {u"vexalpro"_s, u"vexalpro.old"_s});
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
        QVERIFY(!QFile::exists(in.download()) && !QFile::exists(in.marker()));
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
                const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
                if (setpriv.isEmpty())
                    QSKIP("running as root without setpriv; the simulated row covers this case");
                QCOMPARE(::chmod(QFile::encodeName(in.root()).constData(), 0755), 0);
                in.launcher = QStringList {setpriv, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
            }
            QCOMPARE(::chmod(folder.constData(), 0555), 0);
        }
        const auto run = in.runUpdater(simulated ? "writable" : QByteArray());
        ::chmod(folder.constData(), 0755);
        QVERIFY2(run.exitCode == int(UpdaterExit::NotWritable), run.errors.constData());
        QVERIFY2(run.errors.contains("package manager"), run.errors.constData());
        verifyNothingChanged(in, in.oldProgram(), {u"vexalpro"_s});
    }

    void missingInputChangesNothing_data()
    {
        QTest::addColumn<QString>("key"); // the setting to change
        QTest::addColumn<QString>("value"); // null: removed
        QTest::addColumn<QByteArray>("download"); // null: no file
        QTest::addColumn<QByteArray>("said");
        const QString appPath = u"AppPath"_s, appExeName = u"AppExeName"_s, msg1 = u"msg1"_s;
        const QByteArray present = "present";
        QTest::newRow("no AppPath") << appPath << QString() << present << QByteArray("AppPath");
        QTest::newRow("no AppExeName") << appExeName << QString() << present << QByteArray("AppExeName");
        QTest::newRow("no such folder") << appPath << u"/nonexistent/vexal/"_s << present
                                        << QByteArray("does not exist");
        QTest::newRow("name leads elsewhere")
            << appExeName << u"../elsewhere"_s << present << QByteArray("not a file name");
        QTest::newRow("no download") << msg1 << msg1 << QByteArray() << QByteArray("is missing");
        QTest::newRow("empty download") << msg1 << msg1 << QByteArray("") << QByteArray("is empty");
    }
    void missingInputChangesNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, download);
        QFETCH(QByteArray, said);
        Installation in;
        auto settings = Installation::defaultSettings();
        settings[key] = value;
        in.writeSettings(settings);
        if (download.isNull())
            QVERIFY(QFile::remove(in.download()));
        else if (download.isEmpty())
            writeProgram(in.download(), {}, 0644);
        const QByteArray downloaded = readBytes(in.download());

        const auto run = in.runUpdater();
        QVERIFY2(run.exitCode == int(UpdaterExit::NothingToInstall), run.errors.constData());
        QVERIFY2(run.errors.contains(said) && run.errors.contains("Nothing has been changed"), run.errors.constData());
        QCOMPARE(in.programFolderEntries(), QStringList({u"vexalpro"_s}));
        QCOMPARE(readBytes(in.executable()), in.oldProgram());
        QCOMPARE(readBytes(in.download()), downloaded);
        QCOMPARE(QFile::exists(in.download()), !download.isNull());
        QVERIFY(!QFile::exists(in.root() + u"/elsewhere"_s) && !QFile::exists(in.marker()));
    }

    void findsTheProcessesRunningAnExecutable()
    {
        Installation in;
        QVERIFY(!in.installSleep().isEmpty());
        QVERIFY(!runningProcesses::runsExecutable(in.executable()));
        {
            RunningProcess sleeper(in.executable(), {u"10"_s});
            QVERIFY(sleeper.waitForStarted());
            QVERIFY(runningProcesses::runsExecutable(in.executable()));
            QVERIFY(QFile::link(in.executable(), in.root() + u"/link"_s));
            QVERIFY(runningProcesses::runsExecutable(in.root() + u"/link"_s));
            QVERIFY(runningProcesses::runsExecutable(in.folder() + u"../program/vexalpro"_s));
            QVERIFY(!runningProcesses::runsExecutable(in.download()));
        }
        QVERIFY(!runningProcesses::runsExecutable(in.executable()));
    }

    void waitsUntilTheProgramHasExited()
    {
        Installation in;
        const QByteArray previous = in.installSleep();
        QVERIFY(!previous.isEmpty());
        QElapsedTimer clock;
        clock.start();
        RunningProcess program(in.executable(), {u"2.5"_s});
        QVERIFY(program.waitForStarted());

        QProcess updater;
        in.prepare(updater, {u"--no-dialogs"_s});
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
        const QByteArray previous = in.installSleep();
        RunningProcess program(in.executable(), {u"20"_s});
        QVERIFY(program.waitForStarted());
        const auto run = in.runUpdater({}, {u"--no-dialogs"_s, u"--wait-limit=0.6"_s});
        QVERIFY2(run.exitCode == int(UpdaterExit::StillRunning), run.errors.constData());
        QVERIFY2(run.errors.contains("still running"), run.errors.constData());
        verifyNothingChanged(in, previous, {u"vexalpro"_s});
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
        const QByteArray previous = in.installSleep();
        auto program = std::make_unique<RunningProcess>(in.executable(), QStringList {u"20"_s});
        QVERIFY(program->waitForStarted());

        QString problem;
        const auto plan = updatePlan::read(SettingsStore(in.settingsFolder()), in.cacheFolder(), &problem);
        QVERIFY2(plan, qPrintable(problem));
        UpdaterWindow window(plan->heading, plan->waitingText, plan->cancelCaption);
        UpdateSession session(*plan);
        connect(&window, &UpdaterWindow::cancelRequested, &session, &UpdateSession::cancel);
        QSignalSpy finished(&session, &UpdateSession::finished);
        window.show();
        session.start();

        QCOMPARE(window.windowTitle(), u"Vexal Pro"_s);
        auto *cancel = window.findChild<QPushButton *>(u"cmdCancel"_s);
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), u"Abbrechen"_s);
        QCOMPARE(window.findChild<QLabel *>(u"lblHeading"_s)->text(), u"Produktaktualisierungen werden übernommen"_s);
        QCOMPARE(window.findChild<QLabel *>(u"lblMessage"_s)->text(), u"Bitte warten..."_s);

        const int threePolls = 3 * int(UpdateSession::PollInterval.count());
        QTest::qWait(threePolls);
        QCOMPARE(finished.count(), 0);
        byClosing ? void(window.close()) : QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(UpdaterExit::Cancelled));

        // The program ending afterwards must not start the replacement any more.
        program.reset();
        QTest::qWait(threePolls);
        QCOMPARE(finished.count(), 1);
        verifyNothingChanged(in, previous, {u"vexalpro"_s});
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
