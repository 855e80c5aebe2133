// The configuration with its list and the Wine registry saved by a child that is killed in place
// of each file-changing call of the save, or that saves on a full disk: every time the file holds
// its old or its new content, whole.
#include "faultrun.h"
#include "testsupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray RegistryHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
const QByteArray OldRegistry = RegistryHeader
    + "[Software\\\\Vexal Fault] 1700000000\n#time=1da1b2c3d4e5f60\n\"Data\"=\"before the save\"\n\n"
      "[Software\\\\Other] 1700000000\n#time=1da1b2c3d4e5f60\n@=\"kept as it was\"\n";
const QByteArray OlderBackup = RegistryHeader + "[Software\\\\Older] 1600000000\n";
const QByteArray NewListText = "newgrf/ukrs.grf\r\nnewgrf/canalsw.grf\r\n";

// The exit code of the full-disk script below when the full disk could not be set up: unprivileged
// mounts need user namespaces, which a machine may refuse.
constexpr int SetupFailed = 97;

// A new configuration with both headers, so that the save adds none.
QByteArray newConfigurationText()
{
    QByteArray text = "//vexal=File created by Vexal Pro 1.2.5\r\n//ttdpatch=Detected TTDPatch versions is none\r\n";
    for (int i = 0; text.size() < 6000; ++i)
        text += "multihead " + QByteArray::number(i % 5) + " // line " + QByteArray::number(i) + " of the new file\r\n";
    return text;
}

// Readies the child to save into `folder` on a full disk: in its own mount namespace, where `folder`
// is a small tmpfs holding a copy of the folder, filled up to the last block. The tmpfs goes with
// the namespace, so the files are copied out first: returns the folder they are copied to.
QString onFullDisk(FaultChild &child, const QString &folder, const QString &scratch)
{
    const QString after = QDir(scratch).filePath(u"after"_s);
    QDir().mkpath(after);
    const QString script = uR"(folder=$1; copy=$2; after=$3; shift 3
cp -R "$folder" "$copy" || exit %1
mount -t tmpfs -o size=1m vexal-full "$folder" || exit %1
cp -R "$copy/." "$folder/" || exit %1
cat /dev/zero > "$folder/.filler" 2>/dev/null
"$@"; code=$?
rm -f "$folder/.filler"
cp -R "$folder/." "$after/" || exit %1
exit $code)"_s.arg(SetupFailed);
    child.launcher = {
        u"unshare"_s, u"-rm"_s, u"sh"_s, u"-c"_s, script, u"sh"_s, folder, QDir(scratch).filePath(u"before"_s), after};
    return after;
}

// A file the save replaces, with its content before and after.
struct Saved {
    QString path;
    QByteArray before;
    QByteArray after;
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
    const QString newConfiguration = QDir(base).filePath(u"new-configuration.txt"_s);
    const QString newList = QDir(base).filePath(u"new-list.txt"_s);
    writeBytes(newConfiguration, newConfigurationText());
    writeBytes(newList, NewListText);
    const QString demo = QStringLiteral(VEXAL_DEMO_DIR "/game/");
    // Starting the whole program takes many times longer than a save: the child serves the runs.
    return {FaultChild(QStringLiteral(VEXAL_FAULT_SAVE),
                {u"config"_s, folder + u"ttdpatch.cfg"_s, newConfiguration, newList}, folder, base, true),
        folder, entriesOf(demo),
        [folder] {
            QDir(folder).removeRecursively();
            copyDemoGame(u"game"_s, folder);
        },
        // The save ends every file with a line break.
        [=] {
            return QList<Saved> {
                {folder + u"ttdpatch.cfg"_s, readBytes(demo + u"ttdpatch.cfg"_s), newConfigurationText() + "\r\n"},
                {folder + u"newgrfw.cfg"_s, readBytes(demo + u"newgrfw.cfg"_s), NewListText + "\r\n"}};
        }};
}

// A prefix's registry with a backup of its own, and a text set in it. The keys' times make the new
// file differ from run to run: the child writes it beside first.
Save registrySave(const QString &base)
{
    const QString prefix = QDir(base).filePath(u"prefix"_s);
    const QString file = prefix + u"/system.reg"_s;
    const QString expected = QDir(base).filePath(u"expected.reg"_s);
    return {FaultChild(QStringLiteral(VEXAL_FAULT_SAVE), {u"registry"_s, file, expected}, prefix, base, true), prefix,
        {u"system.reg"_s, u"system.reg.bak"_s},
        [=] {
            QDir(prefix).removeRecursively();
            QDir().mkpath(prefix);
            writeBytes(file, OldRegistry);
            writeBytes(file + u".bak"_s, OlderBackup);
        },
        // The previous file is kept before the new one takes its place.
        [=] {
            return QList<Saved> {
                {file + u".bak"_s, OlderBackup, OldRegistry}, {file, OldRegistry, readBytes(expected)}};
        }};
}

// What the save's folder holds besides its files. QSaveFile links a finished file in beside the old
// one as "<name>.XXXXXX" and then renames it over the old one; killed between the two, it leaves
// that name holding the complete new content, which nothing reads. Nothing else may be there, and
// after a complete save not that either.
QStringList strayEntries(const Save &save, bool complete)
{
    QStringList stray;
    for (const QString &entry : entriesOf(save.folder)) {
        bool copy = false;
        for (const Saved &file : save.files()) {
            const QRegularExpression temporary(
                u'^' + QRegularExpression::escape(QFileInfo(file.path).fileName()) + u"\\.[A-Za-z0-9]{6}$"_s);
            copy = copy || (temporary.match(entry).hasMatch() && readBytes(save.folder + u'/' + entry) == file.after);
        }
        if (!save.entries.contains(entry) && (complete || !copy))
            stray << entry;
    }
    return stray;
}

} // namespace

class TestFaultSaves : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;

    QString scratch(const QString &name) const
    {
        const QString path = m_scratch.filePath(name);
        QDir().mkpath(path);
        return path;
    }

private slots:
    void saveKilledAtEveryCall_data()
    {
        QTest::addColumn<bool>("registry");
        QTest::newRow("configuration and list") << false;
        QTest::newRow("registry and backup") << true;
    }
    void saveKilledAtEveryCall()
    {
        QFETCH(bool, registry);
        const QString base = scratch(QTest::currentDataTag());
        const Save save = registry ? registrySave(base) : configurationSave(base);
        QSet<QString> seen; // "0 old", "1 new"...: which file was found in which state after a kill
        killAtEveryCall(save.child, 8, save.reset, [&](long n, const ChildEnd &end) {
            QString earlier = u"new"_s;
            const QList<Saved> files = save.files();
            for (qsizetype i = 0; i < files.size(); ++i) {
                const QString version = versionOf(readBytes(files[i].path), files[i].before, files[i].after);
                // Each file is put in place by one call, after those before it: new once new, and
                // new at the end.
                QVERIFY2(version != u"neither"_s && (version == u"old"_s || earlier == u"new"_s)
                        && (version == u"new"_s || (n != 0 && !seen.contains(u"%1 new"_s.arg(i)))),
                    qPrintable(u"%1 is %2 after %3"_s.arg(files[i].path, version, end.describe())));
                earlier = version;
                if (n != 0)
                    seen << u"%1 %2"_s.arg(i).arg(version);
            }
            const QStringList stray = strayEntries(save, n == 0);
            QVERIFY2(stray.isEmpty(), qPrintable(stray.join(u", "_s)));
        });
        // The kills fell before each replacement, and after the first.
        QVERIFY2(seen.contains(u"0 new"_s) && seen.contains(u"0 old"_s) && seen.contains(u"1 old"_s),
            qPrintable(seen.values().join(u", "_s)));
    }

    void fullDiskKeepsTheFiles_data()
    {
        QTest::addColumn<bool>("registry");
        QTest::addColumn<QString>("message"); // the error report the user sees, and nothing else
        QTest::newRow("configuration") << false << u"Error code # 61\nDisk full\n@ SaveSettings"_s;
        QTest::newRow("registry")
            << true
            << u"Cannot save the Wine registry <file>: No space left on device. The file was left "
               "as it was.\n"_s;
    }
    void fullDiskKeepsTheFiles()
    {
        QFETCH(bool, registry);
        QFETCH(QString, message);
        const QString base = scratch(u"full "_s + QTest::currentDataTag());
        Save save = registry ? registrySave(base) : configurationSave(base);
        save.reset();
        const QString after = onFullDisk(save.child, QDir::cleanPath(save.folder), base) + u'/';
        const ChildEnd end = save.child.runPlain();
        if (end.exitCode == SetupFailed)
            QSKIP("no unprivileged tmpfs mount here (user namespaces refused)");
        QVERIFY2(end.exitCode == 3, qPrintable(end.describe()));
        QCOMPARE(QString::fromUtf8(end.output), message.replace(u"<file>"_s, save.folder + u"/system.reg"_s));
        for (const Saved &file : save.files())
            QCOMPARE(readBytes(after + QFileInfo(file.path).fileName()), file.before);
        QCOMPARE(entriesOf(after), save.entries);
    }
};

QTEST_MAIN(TestFaultSaves)
#include "tst_fault_saves.moc"
