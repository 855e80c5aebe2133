#include "platform/wineregistry.h"
#include "testsupport.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString TtdKey = u"Software\\FISH Technology Group\\Transport Tycoon Deluxe"_s;
const QString TtdKey64 = u"Software\\Wow6432Node\\FISH Technology Group\\Transport Tycoon Deluxe"_s;
const QByteArray Header = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A touched key's bracket line carries seconds since 1970, its #time line the same moment as a FILETIME.
bool freshTime(const QByteArray &bracket, const QByteArray &time, qint64 since)
{
    const qint64 seconds = bracket.mid(bracket.lastIndexOf(' ') + 1).toLongLong();
    bool hex = false;
    const quint64 ticks = time.mid(6).toULongLong(&hex, 16);
    return seconds >= since && seconds <= QDateTime::currentSecsSinceEpoch() && time.startsWith("#time=") && hex
        && qint64(ticks / 10000000 - 11644473600ULL) == seconds;
}

} // namespace

class TestWineRegistry : public QObject {
    Q_OBJECT

    const QString m_corpusFile = QStringLiteral(VEXAL_CORPUS_DIR "/wine/system.reg");
    QByteArray m_corpusBytes;
    std::optional<WineRegistry> m_corpus;

private slots:
    void initTestCase()
    {
        if (!QFile::exists(m_corpusFile))
            return;
        m_corpusBytes = readBytes(m_corpusFile);
        QString error;
        m_corpus = WineRegistry::load(m_corpusFile, &error);
        QVERIFY2(m_corpus, qPrintable(error));
    }

    void corpusComesBackByteForByte()
    {
        if (!m_corpus)
            QSKIP("no corpus");
        QVERIFY(m_corpus->is64Bit());
        QCOMPARE(m_corpus->serialized(), m_corpusBytes);
        QTemporaryDir dir;
        const QString copy = writeFile(dir.filePath(u"system.reg"_s), m_corpusBytes);
        auto copied = WineRegistry::load(copy);
        QVERIFY(copied && copied->save());
        QCOMPARE(readBytes(copy), m_corpusBytes);
        QCOMPARE(readBytes(copy + u".bak"_s), m_corpusBytes);
        copied->setDword(TtdKey64, u"fullscreen"_s, 0); // already 0: like Wine, nothing changes
        QCOMPARE(copied->serialized(), m_corpusBytes);
        // Keys are found whatever their case, 32-bit programs' keys under Wow6432Node.
        QCOMPARE(m_corpus->keyFor32BitProgram(TtdKey), TtdKey64);
        QVERIFY(m_corpus->hasKey(u"software\\WOW6432NODE\\fish technology GROUP"_s) && !m_corpus->hasKey(TtdKey));
    }

    void readsValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QVariant>("data");
        const QString escapes = u"SOFTWARE\\escape sample"_s;
        QTest::newRow("FullScreen") << TtdKey64 << u"fullSCREEN"_s << 4u << QVariant(0u);
        QTest::newRow("HDPath") << TtdKey64 << u"hdpath"_s << 1u << QVariant(u"C:\\TTD\\"_s);
        QTest::newRow("Caf\u00e9") << escapes << u"CAF\u00e9"_s << 1u
                                   << QVariant(u"d\u00e9j\u00e0 vu \u263a \"quoted\" back\\slash"_s);
        QTest::newRow("Multi") << escapes << u"multi"_s << 7u
                               << QVariant(QByteArray("o\0n\0e\0\0\0t\0w\0o\0\0\0\0\0", 18));
        QTest::newRow("Bin") << escapes << u"Bin"_s << 3u << QVariant(QByteArray("\x01\x02\xff"));
    }
    void readsValues()
    {
        if (!m_corpus)
            QSKIP("no corpus");
        QFETCH(QString, key);
        QFETCH(QString, name);
        QVERIFY(!m_corpus->value(key, u"NoSuchValue"_s) && !m_corpus->value(key + u"\\NoSuchKey"_s, name));
        const auto value = m_corpus->value(key, name);
        QVERIFY(value);
        QTEST(value->type, "type");
        QTEST(value->type == 1     ? QVariant(value->text)
                : value->type == 4 ? QVariant(value->number)
                                   : QVariant(value->bytes),
            "data");
    }

    // Changing a value changes its line and the key's two time lines, nothing else; new values go
    // to the end of their key, new keys to their sorted place under the parents' spelling.
    void changesOnlyWhatItMust()
    {
        if (!m_corpus)
            QSKIP("no corpus");
        auto registry = *m_corpus;
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        registry.setDword(registry.keyFor32BitProgram(TtdKey), u"FULLSCREEN"_s, 0x1a);
        const QList<QByteArray> old = m_corpusBytes.split('\n'), now = registry.serialized().split('\n');
        QCOMPARE(now.size(), old.size());
        QList<qsizetype> changed;
        for (qsizetype i = 0; i < old.size(); ++i) {
            if (old[i] != now[i])
                changed.append(i);
        }
        QCOMPARE(changed.size(), 3);
        QVERIFY(old[changed[0]].startsWith("[Software\\\\Wow6432Node\\\\Fish Technology Group\\\\Transport Tycoon"));
        QCOMPARE(
            now[changed[0]].left(now[changed[0]].indexOf(']')), old[changed[0]].left(old[changed[0]].indexOf(']')));
        QCOMPARE(changed[1], changed[0] + 1);
        QVERIFY(freshTime(now[changed[0]], now[changed[1]], before));
        QCOMPARE(now[changed[2]], QByteArray("\"FullScreen\"=dword:0000001a"));

        registry.setString(TtdKey64, u"Zeta"_s, u"z"_s);
        registry.setDword(TtdKey64 + u"\\Sub"_s, QString(), 7);
        registry.createKey(u"Software\\Wow6432Node"_s); // there through its subkeys: not listed
        registry.createKey(u"System\\ZZ Last"_s);
        const QByteArray bytes = registry.serialized();
        const qsizetype updateMode = bytes.indexOf("\"UpdateMode\"=dword:00000001\n");
        QVERIFY(updateMode > 0);
        const QList<QByteArray> lines = bytes.mid(updateMode).split('\n');
        QCOMPARE(lines.mid(1, 2), (QList<QByteArray> {"\"Zeta\"=\"z\"", ""}));
        QVERIFY2(lines[3].startsWith(
                     "[Software\\\\Wow6432Node\\\\Fish Technology Group\\\\Transport Tycoon Deluxe\\\\Sub] "),
            lines[3].constData());
        QVERIFY(freshTime(lines[3], lines[4], before));
        QCOMPARE(lines.mid(5, 2), (QList<QByteArray> {"@=dword:00000007", ""}));
        QVERIFY(lines[7].startsWith("[Software\\\\Wow6432Node\\\\Microsoft\\\\Clients]"));
        QVERIFY(bytes.contains("\"Current\"=dword:00000001\n\n[System\\\\ZZ Last] ") && !bytes.endsWith("\n\n"));
        QVERIFY(!bytes.contains("[Software\\\\Wow6432Node] "));

        QTemporaryDir dir;
        const auto reread = WineRegistry::load(writeFile(dir.filePath(u"system.reg"_s), bytes));
        QVERIFY(reread);
        QCOMPARE(reread->serialized(), bytes);
        QCOMPARE(reread->value(TtdKey64 + u"\\sub"_s, QString())->number, 7u);
        QCOMPARE(reread->value(TtdKey64, u"zeta"_s)->text, u"z"_s);
    }

    void keyFor32BitProgram_data()
    {
        QTest::addColumn<QByteArray>("arch");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("win64") << QByteArray("#arch=win64\n") << TtdKey << TtdKey64;
        QTest::newRow("win64, case") << QByteArray("#arch=win64\n") << u"\\SOFTWARE\\X\\"_s
                                     << u"SOFTWARE\\Wow6432Node\\X"_s;
        QTest::newRow("win64, done") << QByteArray("#arch=win64\n") << TtdKey64 << TtdKey64;
        QTest::newRow("win64, System") << QByteArray("#arch=win64\n") << u"System\\X"_s << u"System\\X"_s;
        QTest::newRow("no arch line") << QByteArray() << TtdKey << TtdKey;
        QTest::newRow("win32") << QByteArray("#arch=win32\n") << TtdKey << TtdKey;
    }
    void keyFor32BitProgram()
    {
        QFETCH(QByteArray, arch);
        QFETCH(QString, key);
        QTemporaryDir dir;
        const auto registry = WineRegistry::load(writeFile(dir.filePath(u"system.reg"_s), Header + arch));
        QVERIFY(registry);
        QCOMPARE(registry->is64Bit(), arch.contains("win64"));
        QTEST(registry->keyFor32BitProgram(key), "expected");
    }

    void writesTextAsWine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("accents, smiley") << u"d\u00e9j\u00e0 \u263a"_s << QByteArray("d\\xe9j\\xe0 \\x263a");
        QTest::newRow("hex digit follows") << u"\u00e9b\u00e91"_s << QByteArray("\\x00e9b\\x00e91");
        QTest::newRow("quotes, backslash") << u"a\"b\\c"_s << QByteArray("a\\\"b\\\\c");
        QTest::newRow("controls") << u"\t\n\r\x1b|\x01|\0017"_s << QByteArray("\\t\\n\\r\\e|\\1|\\0017");
        QTest::newRow("astral") << u"\U0001F600"_s << QByteArray("\\xd83d\\xde00");
    }
    void writesTextAsWine()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        const QString path = writeFile(dir.filePath(u"system.reg"_s), Header + "#arch=win64\n");
        auto registry = WineRegistry::load(path);
        QVERIFY(registry);
        registry->setString(u"Software\\K"_s, text, text);
        QVERIFY(registry->serialized().endsWith(QByteArray('"' + written + "\"=\"" + written + "\"\n")));
        QVERIFY(registry->save());
        const auto reread = WineRegistry::load(path);
        QVERIFY(reread);
        QCOMPARE(reread->value(u"software\\k"_s, text)->text, text);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // a null array: no file
        QTest::addColumn<QString>("message");
        const QByteArray key = Header + "#arch=win64\n\n[Software\\\\A] 1796481357\n#time=1dd84c5f0dc951e\n";
        QTest::newRow("missing") << QByteArray() << u"Cannot read the Wine registry"_s;
        QTest::newRow("empty") << QByteArray("") << u"is empty"_s;
        QTest::newRow("version 3") << QByteArray("WINE REGISTRY Version 3\n")
                                   << u"line 1 reads \"WINE REGISTRY Version 3\""_s;
        QTest::newRow("cut after a continuation") << key + "\"B\"=hex:01,02,\\\n"
                                                  << u"line 8: its hex data goes on past"_s;
        QTest::newRow("cut inside a continuation")
            << key + "\"B\"=hex:01,\\\n  02,0" << u"ends in the middle of line 9"_s;
        QTest::newRow("half a byte") << key + "\"B\"=hex:01,\\\n  02,0\n" << u"line 8: a byte of hex data"_s;
        QTest::newRow("garbage") << key + "\"B\"=dword:1\nxyz\n" << u"line 9: it is neither"_s;
        QTest::newRow("open text") << key + "\"B\"=\"abc\n" << u"line 8: the text has no closing quote"_s;
        QTest::newRow("unknown data") << key + "\"B\"=qword:1\n" << u"line 8: unknown kind of data"_s;
        QTest::newRow("open key") << key + "[Software\\\\B\n" << u"line 8: the key name has no closing"_s;
    }
    void badInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"system.reg"_s);
        if (!bytes.isNull())
            writeFile(path, bytes);
        QString error;
        QVERIFY(!WineRegistry::load(path, &error));
        QVERIFY2(error.contains(message) && error.contains(path) && !error.contains(u'\n'), qPrintable(error));
    }

    void saveKeepsBackupAndIsAtomic()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"prefix"_s), path = folder + u"/system.reg"_s;
        const QByteArray original = Header + "#arch=win64\n";
        QVERIFY(QDir().mkpath(folder));
        writeFile(path, original);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        auto registry = WineRegistry::load(path);
        QVERIFY(registry);
        registry->setDword(u"Software\\A"_s, u"n"_s, 1);
        QString error;
        QVERIFY2(registry->save(&error), qPrintable(error));
        const QByteArray first = readBytes(path);
        QCOMPARE(first, registry->serialized());
        QCOMPARE(readBytes(path + u".bak"_s), original);
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        registry->setDword(u"Software\\A"_s, u"n"_s, 2);
        QVERIFY(registry->save());
        QCOMPARE(readBytes(path + u".bak"_s), first);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);

        // Another writer (Wine's server at exit) came in between: its file stays.
        writeFile(path, original);
        QVERIFY(!registry->save(&error));
        QVERIFY2(error.contains(u"another program changed"_s), qPrintable(error));
        QCOMPARE(readBytes(path), original);

        // The backup cannot be kept: nothing is replaced, no temporary file stays.
        auto again = WineRegistry::load(path);
        QVERIFY(again);
        again->setDword(u"Software\\A"_s, u"n"_s, 3);
        QVERIFY(QFile::remove(path + u".bak"_s) && QDir().mkpath(path + u".bak/x"_s));
        QVERIFY(!again->save(&error));
        QVERIFY2(error.contains(u"system.reg.bak"_s), qPrintable(error));
        QCOMPARE(readBytes(path), original);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList {u"system.reg"_s});

        // The folder cannot hold files any more; the old file, moved aside, is untouched.
        QVERIFY(QDir().rename(folder, folder + u".moved"_s));
        writeFile(folder, "a regular file");
        QVERIFY(!again->save(&error));
        QVERIFY2(error.startsWith(u"Cannot save the Wine registry "_s + path), qPrintable(error));
        QCOMPARE(readBytes(folder + u".moved/system.reg"_s), original);
        QCOMPARE(readBytes(folder), QByteArray("a regular file"));
        if (::geteuid() != 0) {
            QVERIFY(QFile::remove(folder) && QDir().rename(folder + u".moved"_s, folder));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
            QVERIFY(!again->save(&error));
            QVERIFY2(error.contains(u"read-only"_s), qPrintable(error));
        }
    }

    void prefixFor_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("winePrefix"); // null: unset
        QTest::addColumn<QString>("prefix");
        QTest::newRow("drive_c") << u"/games/pfx/drive_c/TTD/"_s << QByteArray("/other") << u"/games/pfx/"_s;
        QTest::newRow("nested") << u"/a/drive_c/b/drive_c"_s << QByteArray() << u"/a/drive_c/b/"_s;
        QTest::newRow("WINEPREFIX") << u"/opt/ttd"_s << QByteArray("/srv/pfx//") << u"/srv/pfx/"_s;
        QTest::newRow("default") << u"/opt/ttd"_s << QByteArray() << QDir::homePath() + u"/.wine/"_s;
    }
    void prefixFor()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, winePrefix);
        const ScopedEnvironment set("WINEPREFIX", winePrefix.isNull() ? std::nullopt : std::optional(winePrefix));
        QTEST(wine::prefixFor(folder), "prefix");
    }

    void windowsPathFor_data()
    {
        QTest::addColumn<bool>("links");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected"); // "Z:" followed by the folder's Linux path, with backslashes
        QTest::newRow("c: game") << true << u"pfx/drive_c/TTD"_s << u"C:\\TTD\\"_s;
        QTest::newRow("c: root") << true << u"pfx/drive_c/"_s << u"C:\\"_s;
        QTest::newRow("z: outside") << true << u"outside/Spiel \u00e9"_s << u"Z:"_s;
        QTest::newRow("no links, c") << false << u"pfx/drive_c/TTD/sub"_s << u"C:\\TTD\\sub\\"_s;
        QTest::newRow("no links, outside") << false << u"outside/Spiel \u00e9"_s << QString();
    }
    void windowsPathFor()
    {
        QFETCH(bool, links);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        const QDir base(root);
        QVERIFY(base.mkpath(u"pfx/drive_c/TTD/sub"_s) && base.mkpath(u"outside/Spiel \u00e9"_s));
        if (links) {
            QVERIFY(base.mkpath(u"pfx/dosdevices"_s));
            QVERIFY(QFile::link(u"../drive_c"_s, root + u"/pfx/dosdevices/c:"_s));
            QVERIFY(QFile::link(u"/"_s, root + u"/pfx/dosdevices/z:"_s));
            QVERIFY(QFile::link(u"/nowhere"_s, root + u"/pfx/dosdevices/d:"_s));
        }
        if (expected == u"Z:"_s)
            expected += QString(root + u'/' + folder + u'/').replace(u'/', u'\\');
        QCOMPARE(wine::windowsPathFor(root + u"/pfx/"_s, base.filePath(folder)), expected);
    }

    // A copy of sleep named "wineserver" stands in for Wine's server.
    void serverRunning()
    {
        QTemporaryDir dir;
        const QString prefix = dir.filePath(u"pfx"_s), serverRoot = dir.filePath(u"tmp"_s);
        QVERIFY(QDir().mkpath(prefix));
        const QString serverFolder = wineServerFolder(prefix, serverRoot);
        QVERIFY(QDir().mkpath(serverFolder));
        const QString server = dir.filePath(u"wineserver"_s);
        QVERIFY(QFile::copy(u"/bin/sleep"_s, server));
        QVERIFY(QFile::setPermissions(server, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!wine::serverRunning(prefix, serverRoot));
        for (const QString &cwd : {dir.path(), serverFolder}) {
            RunningProcess process(server, {u"30"_s}, cwd);
            QVERIFY(process.waitForStarted());
            QCOMPARE(wine::serverRunning(prefix, serverRoot), cwd == serverFolder);
            QVERIFY(!wine::serverRunning(dir.path(), serverRoot));
        }
        QVERIFY(!wine::serverRunning(prefix, serverRoot));
    }
};

QTEST_GUILESS_MAIN(TestWineRegistry)
#include "tst_wineregistry.moc"
