// The updater program: it waits for the program to end, replaces it, keeps the previous version and
// starts the new one; whatever goes wrong, the previous version stays in place and runs.
#include "platform/settingsstore.h"
#include "testsupport.h"
#include "updater/updateplan.h"
#include "updater/updaterwindow.h"
#include "updater/updatesession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <map>
#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray OldOutput = "old version running";
const QByteArray OlderBackup = "an older backup";
constexpr int ProcessTimeoutMs = 15000;

mode_t modeOf(const QString &path)
{
    struct stat status { };
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// The old version installed, the new one downloaded, and the settings for the updater.
class Installation : public UpdaterInstallation {
public:
    Installation()
    {
        writeProgram(executable(), "#!/bin/sh\necho '" + OldOutput + "'\n", 0755);
        // As downloaded: not executable yet.
        writeProgram(download(), newProgram(), 0644);
        writeSettings(defaultSettings());
    }

    QString marker() const { return root() + u"/new-version-started"_s; }
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
    Run runUpdater(const QByteArray &failAt = {}) const
    {
        QProcess updater;
        prepare(updater, {u"--no-dialogs"_s}, failAt);
        updater.start();
        if (!updater.waitForFinished(ProcessTimeoutMs)) {
            updater.kill();
            updater.waitForFinished();
            return {-1, {}, "the updater did not end"};
        }
        const int code = updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -2;
        return {code, updater.readAllStandardOutput(), updater.readAllStandardError()};
    }

    // Puts a copy of sleep in the place of the installed program and starts it for `seconds`. A
    // real ELF program, because /proc/<pid>/exe of a script names its interpreter, not the script.
    std::unique_ptr<RunningProcess> runSleep(const QString &seconds) const
    {
        QFile::remove(executable());
        if (!QFile::copy(u"/bin/sleep"_s, executable()))
            return nullptr;
        auto program = std::make_unique<RunningProcess>(executable(), QStringList {seconds});
        return program->waitForStarted() ? std::move(program) : nullptr;
    }

    // Left exactly as it was before the updater ran: the program `previous`, the download, no start.
    void verifyNothingChanged(const QByteArray &previous, const QStringList &entries = {u"vexalpro"_s}) const
    {
        QCOMPARE(programFolderEntries(), entries);
        QCOMPARE(readBytes(executable()), previous);
        QCOMPARE(readBytes(download()), newProgram());
        QVERIFY(!QFile::exists(marker()));
    }
};

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private slots:
    // A new version that does not start stays installed: the previous one is kept beside it.
    void replacesTheProgramAndStartsTheNewVersion_data()
    {
        QTest::addColumn<bool>("previous");
        QTest::addColumn<QByteArray>("failAt");
        QTest::newRow("previous version") << true << QByteArray();
        QTest::newRow("no program left") << false << QByteArray();
        QTest::newRow("the new version does not start") << true << QByteArray("start");
    }
    void replacesTheProgramAndStartsTheNewVersion()
    {
        QFETCH(bool, previous);
        QFETCH(QByteArray, failAt);
        Installation in;
        const QByteArray old = readBytes(in.executable());
        if (!previous)
            QVERIFY(QFile::remove(in.executable()));
        // The folder given with a "./" in it, as a person may have typed it.
        auto settings = Installation::defaultSettings();
        settings[u"AppPath"_s] = in.folder() + u"./"_s;
        in.writeSettings(settings);
        const auto run = in.runUpdater(failAt);
        QVERIFY2(failAt.isEmpty()
                ? run.exitCode == 0
                : run.exitCode == int(UpdaterExit::StartFailed) && run.errors.contains("has been updated"),
            run.errors.constData());
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(modeOf(in.executable()), mode_t(0755));
        QVERIFY(!QFile::exists(in.download()));
        QCOMPARE(in.programFolderEntries().join(u' '), previous ? u"vexalpro vexalpro.old"_s : u"vexalpro"_s);
        QCOMPARE(readBytes(in.backup()), previous ? old : QByteArray());
        QVERIFY(!previous || modeOf(in.backup()) == 0755);
        // Started from the program folder.
        if (failAt.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(
                readBytes(in.marker()).trimmed(), QFile::encodeName(QDir(in.folder()).canonicalPath()), 5000);
        }
        QVERIFY(failAt.isEmpty() || !QFile::exists(in.marker()));
    }

    // Each step made to fail as if the file system had refused it, and each missing or wrong input:
    // the very file installed before stays, still runnable, and no temporary file is left over.
    void refusalsKeepThePreviousVersion_data()
    {
        QTest::addColumn<QByteArray>("step"); // made to fail
        QTest::addColumn<QString>("key"); // the setting to change
        QTest::addColumn<QString>("value"); // null: removed
        QTest::addColumn<QByteArray>("download"); // null: no file
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<bool>("backupRenewed");
        const QString appPath = u"AppPath"_s, appExeName = u"AppExeName"_s, msg1 = u"msg1"_s;
        const QByteArray present = "present", kept = "previous version is still in place";
        const auto row = [&](const char *tag, const QByteArray &step, const QString &key, const QString &value,
                             const QByteArray &file, UpdaterExit code, const QByteArray &said, bool renewed = false) {
            QTest::newRow(tag) << step << key << value << file << int(code) << said << renewed;
        };
        for (const char *step : {"copy", "mode", "sync", "backup"})
            row(step, step, msg1, msg1, present, UpdaterExit::ReplaceFailed, kept);
        row("rename", "rename", msg1, msg1, present, UpdaterExit::ReplaceFailed, kept, true);
        row("verify, after the rename", "verify", msg1, msg1, present, UpdaterExit::ReplaceFailed, kept, true);
        const auto missing = [&](const char *tag, const QString &key, const QString &value, const QByteArray &file,
                                 const QByteArray &said) {
            row(tag, {}, key, value, file, UpdaterExit::NothingToInstall, said + "\0Nothing has been changed");
        };
        missing("no AppPath", appPath, QString(), present, "AppPath");
        missing("no AppExeName", appExeName, QString(), present, "AppExeName");
        missing("no such folder", appPath, u"/nonexistent/vexal/"_s, present, "does not exist");
        missing("name leads elsewhere", appExeName, u"../elsewhere"_s, present, "not a file name");
        missing("no download", msg1, msg1, QByteArray(), "is missing");
        missing("empty download", msg1, msg1, "", "is empty");
    }
    void refusalsKeepThePreviousVersion()
    {
        QFETCH(QByteArray, step);
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
        const QByteArray old = readBytes(in.executable()), downloaded = readBytes(in.download());
        writeProgram(in.backup(), OlderBackup, 0755);
        struct stat before { };
        ::stat(QFile::encodeName(in.executable()).constData(), &before);

        const auto run = in.runUpdater(step);
        QTEST(run.exitCode, "exitCode");
        for (const QByteArray &part : said.split('\0'))
            QVERIFY2(run.errors.contains(part), run.errors.constData());
        QCOMPARE(in.programFolderEntries(), QStringList({u"vexalpro"_s, u"vexalpro.old"_s}));
        struct stat after { };
        ::stat(QFile::encodeName(in.executable()).constData(), &after);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(outputOf(in.executable()), OldOutput);
        QTEST(readBytes(in.backup()) == old, "backupRenewed");
        QCOMPARE(readBytes(in.download()), downloaded);
        QCOMPARE(QFile::exists(in.download()), !download.isNull());
        QVERIFY(!QFile::exists(in.root() + u"/elsewhere"_s) && !QFile::exists(in.marker()));
    }

    void aReadOnlyProgramFolderChangesNothing()
    {
        Installation in;
        const QByteArray folder = QFile::encodeName(in.folder());
        // Root may write into a read-only folder: then the updater runs as an ordinary user.
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv; the simulated refusal covers this case");
            QCOMPARE(::chmod(QFile::encodeName(in.root()).constData(), 0755), 0);
            in.launcher = QStringList {setpriv, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
        }
        QCOMPARE(::chmod(folder.constData(), 0555), 0);
        const auto run = in.runUpdater();
        ::chmod(folder.constData(), 0755);
        QVERIFY2(run.exitCode == int(UpdaterExit::NotWritable) && run.errors.contains("package manager"),
            run.errors.constData());
        in.verifyNothingChanged(readBytes(in.executable()));
    }

    void waitsUntilTheProgramHasExited()
    {
        Installation in;
        QElapsedTimer clock;
        clock.start();
        const auto program = in.runSleep(u"2.5"_s);
        QVERIFY(program);
        const QByteArray previous = readBytes(in.executable());
        QProcess updater;
        in.prepare(updater, {u"--no-dialogs"_s});
        updater.start();
        QVERIFY(!updater.waitForFinished(1000));
        QCOMPARE(readBytes(in.executable()), previous);
        QVERIFY(updater.waitForFinished(ProcessTimeoutMs));
        QVERIFY2(updater.exitCode() == 0, updater.readAllStandardError().constData());
        QVERIFY2(clock.elapsed() >= 2400, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(readBytes(in.executable()), in.newProgram());
        QCOMPARE(readBytes(in.backup()), previous);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(in.marker()), 5000);
    }

    // While the program runs, Cancel, closing the window or the wait limit end the wait, and the
    // program ending afterwards starts no replacement any more.
    void windowShowsTheTextsAndCancelStopsTheWait_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("Cancel button") << u"cancel"_s;
        QTest::newRow("closing the window") << u"close"_s;
        QTest::newRow("the program keeps running") << u"limit"_s;
    }
    void windowShowsTheTextsAndCancelStopsTheWait()
    {
        QFETCH(QString, end);
        const bool limited = end == u"limit"_s;
        Installation in;
        auto program = in.runSleep(u"20"_s);
        QVERIFY(program);
        const QByteArray previous = readBytes(in.executable());
        QString problem;
        const auto plan = updatePlan::read(SettingsStore(in.settingsFolder()), in.cacheFolder(), &problem);
        QVERIFY2(plan, qPrintable(problem));
        UpdaterWindow window(plan->heading, plan->waitingText, plan->cancelCaption);
        UpdateSession session(*plan, limited ? UpdateSession::PollInterval : UpdateSession::DefaultWaitLimit);
        connect(&window, &UpdaterWindow::cancelRequested, &session, &UpdateSession::cancel);
        QSignalSpy finished(&session, &UpdateSession::finished);
        window.show();
        session.start();

        QCOMPARE(captionsOf(window).values(),
            QStringList({u"Vexal Pro"_s, u"Abbrechen"_s, u"Produktaktualisierungen werden übernommen"_s,
                u"Bitte warten..."_s}));
        const int threePolls = 3 * int(UpdateSession::PollInterval.count());
        QTest::qWait(threePolls);
        QCOMPARE(finished.count(), limited ? 1 : 0);
        if (end == u"close"_s)
            window.close();
        else if (end == u"cancel"_s)
            QTest::mouseClick(window.findChild<QPushButton *>(u"cmdCancel"_s), Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(limited ? UpdaterExit::StillRunning : UpdaterExit::Cancelled));
        QVERIFY(!limited || finished.first().at(1).toString().contains(u"still running"_s));
        program.reset();
        QTest::qWait(threePolls);
        QCOMPARE(finished.count(), 1);
        in.verifyNothingChanged(previous);
    }
};

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
