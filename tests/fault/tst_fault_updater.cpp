// The real updater killed in place of each file-changing call it makes from the moment it touches
// the program folder: the installed program is always a whole program, old or new, and runs; the
// next run of the updater then finishes the update, or has nothing left to do when the new version
// was already in place and its download gone.
#include "faultrun.h"
#include "testsupport.h"

#include "updater/updatesession.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray OldOutput = "old version running";
const QByteArray NewOutput = "new version running";
const QByteArray OldProgram = "#!/bin/sh\necho '" + OldOutput + "'\n";
const QByteArray NewProgram = "#!/bin/sh\necho '" + NewOutput + "'\n";
const QByteArray OlderBackup = "#!/bin/sh\necho 'an older backup'\n";

// What a killed updater may leave in the program folder besides the program and its backup: the
// copy of the new version, named just before it is renamed into place, and the link to the
// previous version that becomes the backup. Both are whole programs that nothing starts.
const QRegularExpression NewCopy(uR"(^\.vexalpro\.new-\w{6}$)"_s);
const QRegularExpression BackupLink(uR"(^vexalpro\.old\.\d+\.part$)"_s);

bool sameFile(const QString &a, const QString &b)
{
    struct stat first { };
    struct stat second { };
    return ::stat(QFile::encodeName(a).constData(), &first) == 0
        && ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

// An installed old version with an older backup, a downloaded new one and the settings the
// program leaves for the updater.
class Installation : public UpdaterInstallation {
public:
    Installation() { writeSettings({{u"AppExeName"_s, u"vexalpro"_s}}); }

    void reset() const
    {
        QDir(folder()).removeRecursively();
        QDir(cacheFolder()).removeRecursively();
        QDir().mkpath(folder());
        QDir().mkpath(cacheFolder());
        writeProgram(executable(), OldProgram, 0755);
        writeProgram(backup(), OlderBackup, 0755);
        // As downloaded: not executable yet.
        writeProgram(download(), NewProgram, 0644);
    }

    FaultChild updater() const
    {
        FaultChild child(QStringLiteral(VEXAL_UPDATER_PATH), {u"--no-dialogs"_s}, folder(), root());
        addTo(child.environment);
        child.workingFolder = folder();
        return child;
    }

    // The program folder's entries that are neither the program nor its backup.
    QStringList temporaryEntries() const
    {
        QStringList others = programFolderEntries();
        others.removeAll(u"vexalpro"_s);
        others.removeAll(u"vexalpro.old"_s);
        return others;
    }
};

} // namespace

class TestFaultUpdater : public QObject {
    Q_OBJECT

private slots:
    void killedAtEveryCallLeavesARunnableProgram()
    {
        const Installation in;
        const FaultChild updater = in.updater();
        QSet<QString> seen; // which version was installed after a kill
        QSet<QString> states;
        killAtEveryCall(
            updater, 10, [&] { in.reset(); },
            [&](long n, const ChildEnd &end) {
                const QString version = versionOf(readBytes(in.executable()), OldProgram, NewProgram);
                QVERIFY2(version != u"neither"_s, qPrintable(end.describe()));
                QCOMPARE(outputOf(in.executable()), version == u"old"_s ? OldOutput : NewOutput);
                // The previous version is kept before the new one takes its place.
                const QString backup = versionOf(readBytes(in.backup()), OlderBackup, OldProgram);
                QVERIFY2(
                    backup != u"neither"_s && (version == u"old"_s || backup == u"new"_s), qPrintable(end.describe()));
                // A failed or stopped update keeps its download for the next attempt.
                const bool downloadKept = QFile::exists(in.download());
                QVERIFY(downloadKept ? readBytes(in.download()) == NewProgram : version == u"new"_s);
                const QStringList temporary = in.temporaryEntries();
                if (n == 0) {
                    QVERIFY2(end.exitCode == int(UpdaterExit::Updated), qPrintable(end.describe()));
                    QVERIFY(version == u"new"_s && !downloadKept && temporary.isEmpty());
                    return;
                }
                seen << version;
                QStringList kinds;
                for (const QString &entry : temporary) {
                    const QByteArray bytes = readBytes(in.folder() + entry);
                    const bool copy = NewCopy.match(entry).hasMatch() && bytes == NewProgram;
                    QVERIFY2(copy || (BackupLink.match(entry).hasMatch() && bytes == OldProgram),
                        qPrintable(u"left over: "_s + entry));
                    kinds << (copy ? u"copy of the new version"_s : u"link to the old one"_s);
                }
                // The files are all the next run starts from: one run for each state they were left in.
                const QString state
                    = u"%1 %2 %3 %4 %5"_s.arg(version, backup, QString::number(sameFile(in.executable(), in.backup())),
                        QString::number(downloadKept), kinds.join(u','));
                if (states.contains(state))
                    return;
                states << state;
                // The next run completes the update, or finds nothing left to install; it neither
                // removes what the killed run left nor adds to it.
                const ChildEnd again = updater.runPlain();
                QVERIFY2(again.exitCode == int(downloadKept ? UpdaterExit::Updated : UpdaterExit::NothingToInstall),
                    qPrintable(again.describe()));
                QCOMPARE(outputOf(in.executable()), NewOutput);
                QVERIFY(!QFile::exists(in.download()));
                QCOMPARE(in.temporaryEntries(), temporary);
            });
        QCOMPARE(seen, QSet<QString>({u"old"_s, u"new"_s}));
    }

    // Where the file system refuses hard links, the previous version is kept as a copy of its own.
    void theBackupIsACopyWhereLinksAreRefused()
    {
        const Installation in;
        in.reset();
        FaultChild updater = in.updater();
        updater.environment.insert(u"LD_PRELOAD"_s, QStringLiteral(VEXAL_FAULT_SHIM));
        updater.environment.insert(u"VEXAL_FAULT_REFUSE"_s, u"link"_s);
        const ChildEnd end = updater.runPlain();
        QVERIFY2(end.exitCode == int(UpdaterExit::Updated), qPrintable(end.describe()));
        QCOMPARE(outputOf(in.executable()), NewOutput);
        QCOMPARE(outputOf(in.backup()), OldOutput);
        QCOMPARE(in.temporaryEntries(), QStringList());
    }
};

QTEST_MAIN(TestFaultUpdater)
#include "tst_fault_updater.moc"
