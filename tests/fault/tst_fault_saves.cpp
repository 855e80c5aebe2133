// The configuration, the settings and the Wine registry saved by stand-in programs that are killed
// in place of each file-changing call of the save, or that save on a full disk: every time the file
// holds its old or its new content, whole.
#include "faultdata.h"
#include "faultrun.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray RegistryHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
const QByteArray OldRegistry = RegistryHeader
    + "[Software\\\\Vexal Fault] 1700000000\n#time=1da1b2c3d4e5f60\n\"Data\"=\"before the save\"\n\n"
      "[Software\\\\Other] 1700000000\n#time=1da1b2c3d4e5f60\n@=\"kept as it was\"\n";
const QByteArray OlderBackup = RegistryHeader + "[Software\\\\Older] 1600000000\n";

// Below the new configuration's and registry's sizes, above the new list's and the settings'.
constexpr rlim_t FileSizeLimit = 4096;

// A new configuration of about `size` bytes with both headers, so that the save adds none.
QByteArray newConfigurationText(int size)
{
    QByteArray text = "//vexal=File created by Vexal Pro 1.2.5\r\n//ttdpatch=Detected TTDPatch versions is none\r\n";
    for (int i = 0; text.size() < size; ++i)
        text += "multihead " + QByteArray::number(i % 5) + " // line " + QByteArray::number(i) + " of the new file\r\n";
    return text;
}

const QByteArray NewListText = "newgrf/ukrs.grf\r\nnewgrf/canalsw.grf\r\n";

enum class FullDisk { FileSizeLimit, FullFileSystem };

// Unprivileged mounts need user namespaces, which a machine may refuse.
bool canMountTmpfs(const QString &scratch)
{
    static const bool can = [&] {
        const QString folder = QDir(scratch).filePath(u"mount-probe"_s);
        QDir().mkpath(folder);
        QProcess probe;
        probe.start(u"unshare"_s,
            {u"-rm"_s, u"sh"_s, u"-c"_s, u"mount -t tmpfs -o size=64k vexal-probe \"$1\""_s, u"sh"_s, folder});
        const bool ok
            = probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
        QDir(folder).removeRecursively();
        return ok;
    }();
    return can;
}

// The exit code of the script below when the full disk could not be set up.
constexpr int SetupFailed = 97;

// Readies the child to save into `folder` on a full disk; returns the folder that holds the files
// as the child left them. With the size limit, the child cannot grow any file past FileSizeLimit
// (writes fail with EFBIG instead of raising a signal) and changes `folder` itself. With a full file
// system, the child runs in its own mount namespace, where `folder` is a small tmpfs holding a copy
// of the folder, filled up to the last block; the tmpfs goes with the namespace, so the files are
// copied out to "after" first.
QString fullDisk(FaultChild &child, FullDisk kind, const QString &folder, const QString &scratch)
{
    if (kind == FullDisk::FileSizeLimit) {
        child.beforeExec = [] {
            const rlimit limit {FileSizeLimit, FileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        };
        return folder;
    }
    const QString after = QDir(scratch).filePath(u"after"_s);
    QDir(after).removeRecursively();
    QDir().mkpath(after);
    const QString copy = QDir(scratch).filePath(u"before"_s);
    QDir(copy).removeRecursively();
    const QString script = uR"(folder=$1; copy=$2; after=$3; shift 3
cp -R "$folder" "$copy" || exit %1
mount -t tmpfs -o size=1m vexal-full "$folder" || exit %1
cp -R "$copy/." "$folder/" || exit %1
cat /dev/zero > "$folder/.filler" 2>/dev/null
"$@"; code=$?
rm -f "$folder/.filler"
cp -R "$folder/." "$after/" || exit %1
exit $code)"_s.arg(SetupFailed);
    child.launcher = {u"unshare"_s, u"-rm"_s, u"sh"_s, u"-c"_s, script, u"sh"_s, folder, copy, after};
    return after;
}

} // namespace

class TestFaultSaves : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;

    QString scratch(const QString &name) const
    {
        const QString path = m_scratch.filePath(name);
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

    // The demo game folder afresh, and the new texts the stand-in puts in the editors.
    struct Game {
        QString folder;
        QString configuration() const { return folder + u"ttdpatch.cfg"_s; }
        QString list() const { return folder + u"newgrfw.cfg"_s; }
        QByteArray oldConfiguration = readBytes(QStringLiteral(VEXAL_DEMO_DIR "/game/ttdpatch.cfg"));
        QByteArray oldList = readBytes(QStringLiteral(VEXAL_DEMO_DIR "/game/newgrfw.cfg"));
        // The editors' text and the line break the save ends every file with.
        QByteArray newConfiguration;
        QByteArray newList = NewListText + "\r\n";
        QStringList files; // as the demo has them
    };
    Game game(const QString &base, int size = 6000)
    {
        Game g;
        g.folder = QDir(base).filePath(u"game"_s) + u'/';
        g.newConfiguration = newConfigurationText(size) + "\r\n";
        writeBytes(QDir(base).filePath(u"new-configuration.txt"_s), newConfigurationText(size));
        writeBytes(QDir(base).filePath(u"new-list.txt"_s), NewListText);
        g.files = entriesOf(QStringLiteral(VEXAL_DEMO_DIR "/game"));
        return g;
    }
    void resetGame(const Game &g)
    {
        QDir(g.folder).removeRecursively();
        copyDemoGame(u"game"_s, g.folder);
        QCOMPARE(readBytes(g.configuration()), g.oldConfiguration);
    }
    FaultChild configurationSaver(const Game &g, const QString &base)
    {
        FaultChild saver(QStringLiteral(VEXAL_CONFIG_SAVER),
            {g.configuration(), QDir(base).filePath(u"new-configuration.txt"_s),
                QDir(base).filePath(u"new-list.txt"_s)},
            g.folder, base);
        // Starting the whole program takes many times longer than a save.
        saver.serveArgument = u"--serve"_s;
        return saver;
    }

    struct Registry {
        QString prefix;
        QString file() const { return prefix + u"/system.reg"_s; }
        QString backup() const { return file() + u".bak"_s; }
    };
    void resetRegistry(const Registry &r)
    {
        QDir(r.prefix).removeRecursively();
        QDir().mkpath(r.prefix);
        writeBytes(r.file(), OldRegistry);
        writeBytes(r.backup(), OlderBackup);
    }

private slots:
    void initTestCase() { QVERIFY(m_scratch.isValid()); }

    void configurationSaveKilledAtEveryCall()
    {
        const QString base = scratch(u"configuration"_s);
        const Game g = game(base);
        const FaultChild saver = configurationSaver(g, base);
        QSet<QString> seen; // "configuration old", "list new"...
        bool configurationNew = false, listNew = false;
        int copies = 0;
        const long points = killAtEveryCall(
            saver, [&] { resetGame(g); },
            [&](long n, const ChildEnd &end) {
                const Version configuration
                    = versionOf(readBytes(g.configuration()), g.oldConfiguration, g.newConfiguration);
                const Version list = versionOf(readBytes(g.list()), g.oldList, g.newList);
                QVERIFY2(configuration != Version::Neither && list != Version::Neither,
                    qPrintable(u"configuration %1, list %2; %3"_s.arg(
                        QLatin1String(nameOf(configuration)), QLatin1String(nameOf(list)), end.describe())));
                if (n == 0) {
                    QVERIFY2(configuration == Version::New && list == Version::New, qPrintable(end.describe()));
                    QCOMPARE(entriesOf(g.folder), g.files);
                    return;
                }
                // Each file is put in place by one call: once new in an earlier kill, new in every later one.
                QVERIFY(!configurationNew || configuration == Version::New);
                QVERIFY(!listNew || list == Version::New);
                // The configuration is saved first.
                QVERIFY(list == Version::Old || configuration == Version::New);
                configurationNew = configuration == Version::New;
                listNew = list == Version::New;
                seen << u"configuration "_s + QLatin1String(nameOf(configuration))
                     << u"list "_s + QLatin1String(nameOf(list));
                const Leftovers left = leftoversIn(
                    g.folder, g.files, {{u"ttdpatch.cfg"_s, g.newConfiguration}, {u"newgrfw.cfg"_s, g.newList}});
                QVERIFY2(left.others.isEmpty(), qPrintable(left.others.join(u", "_s)));
                copies += left.copies.size();
            });
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(points >= 8, qPrintable(QString::number(points)));
        // The kills fell before and after the configuration's replacement; the list's is the last call.
        QCOMPARE(seen, QSet<QString>({u"configuration old"_s, u"configuration new"_s, u"list old"_s}));
        qInfo("%ld kill points; %d left a complete copy beside the file", points, copies);
    }

    void settingsSaveKilledAtEveryCall()
    {
        const QString base = scratch(u"settings"_s);
        const QString folder = QDir(base).filePath(u"store"_s);
        const QString file = QDir(folder).filePath(QLatin1String(faultData::SettingsApplication) + u".ini"_s);
        QByteArray oldBytes;
        {
            SettingsStore store(QDir(base).filePath(u"template"_s));
            for (const auto &[key, value] : faultData::oldSettings())
                store.write(QLatin1String(faultData::SettingsApplication), QLatin1String(faultData::SettingsSection),
                    key, value);
            QVERIFY(store.sync());
            oldBytes = readBytes(store.filePath(QLatin1String(faultData::SettingsApplication)));
        }
        const auto reset = [&] {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            writeBytes(file, oldBytes);
        };
        const FaultChild saver(QStringLiteral(VEXAL_PLATFORM_SAVER), {u"settings"_s, folder}, folder, base);
        reset();
        const ChildEnd reference = saver.runPlain();
        QVERIFY2(reference.exitCode == 0, qPrintable(reference.describe()));
        const QByteArray newBytes = readBytes(file);
        QVERIFY2(newBytes.contains("Kept=untouched") && newBytes.contains("Tab=3") && newBytes != oldBytes,
            newBytes.constData());

        QSet<QString> seen;
        QSet<QString> leftovers;
        QSet<QString> states;
        const long points = killAtEveryCall(saver, reset, [&](long n, const ChildEnd &end) {
            const Version version = versionOf(readBytes(file), oldBytes, newBytes);
            QVERIFY2(version != Version::Neither, qPrintable(end.describe()));
            const QString name = QFileInfo(file).fileName();
            if (n == 0) {
                QCOMPARE(version, Version::New);
                QCOMPARE(entriesOf(folder), QStringList {name});
                return;
            }
            seen << QLatin1String(nameOf(version));
            // QSettings locks the file while it writes; a killed writer leaves its lock file, which
            // names a process that no longer runs, so the next writer takes it over.
            const Leftovers left = leftoversIn(folder, {name, name + u".lock"_s}, {{name, newBytes}});
            QVERIFY2(left.others.isEmpty(), qPrintable(left.others.join(u", "_s)));
            QFile lock(file + u".lock"_s);
            if (lock.exists() && lock.size() > 0) {
                leftovers << u"lock file of the killed process"_s;
            } else if (lock.exists()) {
                // Killed before it wrote whose lock it is: QLockFile cannot tell that the owner is
                // gone and waits until the file is 30 s old. Aged here instead of waiting.
                leftovers << u"empty lock file (the next save waits 30 s)"_s;
                QVERIFY(lock.open(QIODevice::ReadWrite)
                    && lock.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
                lock.close();
            }
            if (!left.copies.isEmpty())
                leftovers << u"complete copy"_s;
            // The files are all the next save starts from: one save for each state they were left in.
            const QString state = QLatin1String(nameOf(version)) + u", lock "_s
                + (!lock.exists()         ? u"none"_s
                        : lock.size() > 0 ? u"named"_s
                                          : u"empty"_s)
                + u", copies "_s + QString::number(left.copies.size());
            if (states.contains(state))
                return;
            states << state;
            // The next save goes through all the same, and takes nothing but the lock away.
            const ChildEnd next = saver.runPlain();
            QVERIFY2(next.exitCode == 0, qPrintable(next.describe()));
            QCOMPARE(readBytes(file), newBytes);
            QCOMPARE(entriesOf(folder), QStringList {name} + left.copies);
        });
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(points >= 6, qPrintable(QString::number(points)));
        QCOMPARE(seen, QSet<QString>({u"old"_s, u"new"_s}));
        qInfo("%ld kill points; left over after some kills: %s", points, qPrintable(leftovers.values().join(u", "_s)));
    }

    void registrySaveKilledAtEveryCall()
    {
        const QString base = scratch(u"registry"_s);
        const Registry r {QDir(base).filePath(u"prefix"_s)};
        const QString expected = QDir(base).filePath(u"expected.reg"_s);
        const FaultChild saver(
            QStringLiteral(VEXAL_PLATFORM_SAVER), {u"registry"_s, r.file(), u"300"_s, expected}, r.prefix, base);
        QSet<QString> seen;
        int copies = 0;
        const long points = killAtEveryCall(
            saver, [&] { resetRegistry(r); },
            [&](long n, const ChildEnd &end) {
                const QByteArray newBytes = readBytes(expected);
                QVERIFY(newBytes.startsWith(RegistryHeader) && newBytes.contains(faultData::text(300).toLatin1()));
                const Version file = versionOf(readBytes(r.file()), OldRegistry, newBytes);
                const Version backup = versionOf(readBytes(r.backup()), OlderBackup, OldRegistry);
                QVERIFY2(file != Version::Neither && backup != Version::Neither,
                    qPrintable(u"file %1, backup %2; %3"_s.arg(
                        QLatin1String(nameOf(file)), QLatin1String(nameOf(backup)), end.describe())));
                // The previous file is kept before the new one takes its place.
                QVERIFY(file == Version::Old || backup == Version::New);
                const Leftovers left = leftoversIn(r.prefix, {u"system.reg"_s, u"system.reg.bak"_s},
                    {{u"system.reg"_s, newBytes}, {u"system.reg.bak"_s, OldRegistry}});
                QVERIFY2(left.others.isEmpty(), qPrintable(left.others.join(u", "_s)));
                copies += left.copies.size();
                if (n == 0) {
                    QCOMPARE(file, Version::New);
                    QCOMPARE(left.copies, QStringList());
                } else {
                    seen << u"file "_s + QLatin1String(nameOf(file)) << u"backup "_s + QLatin1String(nameOf(backup));
                }
            });
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(points >= 8, qPrintable(QString::number(points)));
        QCOMPARE(seen, QSet<QString>({u"file old"_s, u"file new"_s, u"backup old"_s, u"backup new"_s}));
        qInfo("%ld kill points; %d left a complete copy beside a file", points, copies);
    }

    // Killed at moments spread over a large save, so that some kills land inside a long write.
    void largeRegistrySaveKilledMidway()
    {
        const QString base = scratch(u"large-registry"_s);
        const Registry r {QDir(base).filePath(u"prefix"_s)};
        const QString expected = QDir(base).filePath(u"expected.reg"_s);
        const QString length = QString::number(1024 * 1024);
        FaultChild saver(
            QStringLiteral(VEXAL_PLATFORM_SAVER), {u"registry"_s, r.file(), length, expected}, r.prefix, base);
        resetRegistry(r);
        QElapsedTimer clock;
        clock.start();
        const ChildEnd complete = saver.runPlain();
        const qint64 whole = clock.elapsed();
        QVERIFY2(complete.exitCode == 0, qPrintable(complete.describe()));
        QCOMPARE(readBytes(r.file()), readBytes(expected));
        for (int part = 1; part <= 3; ++part) {
            resetRegistry(r);
            QFile::remove(expected);
            const ChildEnd end = saver.runKilledAfter(int(whole * part / 4));
            const Version file = versionOf(readBytes(r.file()), OldRegistry, readBytes(expected));
            QVERIFY2(file != Version::Neither, qPrintable(end.describe()));
            const Version backup = versionOf(readBytes(r.backup()), OlderBackup, OldRegistry);
            QVERIFY(backup != Version::Neither);
            QVERIFY(file == Version::Old || backup == Version::New);
            const Leftovers left = leftoversIn(r.prefix, {u"system.reg"_s, u"system.reg.bak"_s},
                {{u"system.reg"_s, readBytes(expected)}, {u"system.reg.bak"_s, OldRegistry}});
            QVERIFY2(left.others.isEmpty(), qPrintable(left.others.join(u", "_s)));
        }
    }

    void fullDiskKeepsTheConfiguration_data()
    {
        QTest::addColumn<FullDisk>("kind");
        QTest::addColumn<int>("size"); // of the new configuration
        QTest::addColumn<QString>("report");
        QTest::addColumn<bool>("listFits"); // the small list still fits under the size limit
        // Up to 16 KB the bytes wait in Qt's buffer and fail only when it is flushed; a larger file
        // is written at once and comes back short.
        QTest::newRow("file size limit") << FullDisk::FileSizeLimit << 6000
                                         << u"Error code # 57\nDevice I/O error\n@ SaveSettings"_s << true;
        QTest::newRow("file size limit, written at once")
            << FullDisk::FileSizeLimit << 40000 << u"Error code # 75\nPath/File access error\n@ SaveSettings"_s << true;
        QTest::newRow("full file system")
            << FullDisk::FullFileSystem << 6000 << u"Error code # 61\nDisk full\n@ SaveSettings"_s << false;
    }
    void fullDiskKeepsTheConfiguration()
    {
        QFETCH(FullDisk, kind);
        QFETCH(int, size);
        QFETCH(QString, report);
        QFETCH(bool, listFits);
        const QString base = scratch(u"full-configuration"_s);
        if (kind == FullDisk::FullFileSystem && !canMountTmpfs(base))
            QSKIP("no unprivileged tmpfs mount here (user namespaces refused); the size limit covers this");
        const Game g = game(base, size);
        resetGame(g);
        FaultChild saver = configurationSaver(g, base);
        const QString after = fullDisk(saver, kind, g.folder, base) + u'/';
        const ChildEnd end = saver.runPlain();
        QVERIFY2(end.exitCode != SetupFailed, qPrintable(end.describe()));
        // The error report the user sees, and nothing else asked.
        QVERIFY2(end.exitCode == 3, qPrintable(end.describe()));
        QCOMPARE(QString::fromUtf8(end.output), report);
        QCOMPARE(readBytes(after + u"ttdpatch.cfg"_s), g.oldConfiguration);
        QCOMPARE(readBytes(after + u"newgrfw.cfg"_s), listFits ? g.newList : g.oldList);
        QCOMPARE(entriesOf(after), g.files);
    }

    void fullDiskKeepsTheRegistry_data()
    {
        QTest::addColumn<FullDisk>("kind");
        QTest::addColumn<int>("length"); // of the text set
        QTest::addColumn<QByteArray>("reason");
        // Qt names no reason for a write that the size limit cut short.
        QTest::newRow("file size limit") << FullDisk::FileSizeLimit << 6000 << QByteArray("Unknown error");
        QTest::newRow("file size limit, written at once")
            << FullDisk::FileSizeLimit << 40000 << QByteArray("Unknown error");
        QTest::newRow("full file system") << FullDisk::FullFileSystem << 6000 << QByteArray("No space left on device");
    }
    void fullDiskKeepsTheRegistry()
    {
        QFETCH(FullDisk, kind);
        QFETCH(int, length);
        QFETCH(QByteArray, reason);
        const QString base = scratch(u"full-registry"_s);
        if (kind == FullDisk::FullFileSystem && !canMountTmpfs(base))
            QSKIP("no unprivileged tmpfs mount here (user namespaces refused); the size limit covers this");
        const Registry r {QDir(base).filePath(u"prefix"_s)};
        resetRegistry(r);
        FaultChild saver(
            QStringLiteral(VEXAL_PLATFORM_SAVER), {u"registry"_s, r.file(), QString::number(length)}, r.prefix, base);
        const QString after = fullDisk(saver, kind, r.prefix, base);
        const ChildEnd end = saver.runPlain();
        QVERIFY2(end.exitCode != SetupFailed, qPrintable(end.describe()));
        QVERIFY2(end.exitCode == 1, qPrintable(end.describe()));
        const QByteArray message = "Cannot save the Wine registry " + QFile::encodeName(r.file()) + ": " + reason
            + ". The file was left as it was.\n";
        QCOMPARE(end.errors, message);
        QCOMPARE(readBytes(after + u"/system.reg"_s), OldRegistry);
        QCOMPARE(readBytes(after + u"/system.reg.bak"_s), OlderBackup);
        QCOMPARE(entriesOf(after), QStringList({u"system.reg"_s, u"system.reg.bak"_s}));
    }
};

QTEST_MAIN(TestFaultSaves)
#include "tst_fault_saves.moc"
