// The settings store, the system facts, the loopback check, the Windows code pages and the Wine
// registry.
#include "platform/connectionprobe.h"
#include "platform/settingsstore.h"
#include "platform/systeminfo.h"
#include "platform/systemlibrary.h"
#include "platform/textcodec.h"
#include "platform/wineregistry.h"
#include "testsupport.h"

#include <QDateTime>
#include <QHostInfo>
#include <QRandomGenerator>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString App = QStringLiteral("Brakemoor Solutions");
const QString Section = QStringLiteral("VexalP");

QString readLanguage(const SettingsStore &store)
{
    return store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---"));
}

const QString TtdKey = u"Software\\FISH Technology Group\\Transport Tycoon Deluxe"_s;
const QString TtdKey64 = u"Software\\Wow6432Node\\FISH Technology Group\\Transport Tycoon Deluxe"_s;
const QByteArray Header = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";

QString writeFile(const QString &path, const QByteArray &bytes)
{
    writeBytes(path, bytes);
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

class TestPlatform : public QObject {
    Q_OBJECT

    const QString m_corpusFile = QStringLiteral(VEXAL_CORPUS_DIR "/wine/system.reg");
    QByteArray m_corpusBytes;
    std::optional<WineRegistry> m_corpus;
    std::optional<QTemporaryDir> m_dir;

    // A system.reg of these bytes in the test's folder.
    QString registryFile(const QByteArray &bytes) { return writeFile(m_dir->filePath(u"system.reg"_s), bytes); }

private slots:
    void init() { m_dir.emplace(); }

    // Each value comes back exactly, also to a store in another folder that reads the file afresh.
    void settingsValuesRoundTripExactly()
    {
        const QStringList values = {"a, b,,c,", "say \"hi\" 'there' \"unterminated", "a\\\"",
            "C:\\TTD\\ttdpatch.cfg \\\\server\\", "a;\"b # c = d#", "@Variant(x)", "  padded \t ", "",
            "line one\r\nline two\r\n", "ñandú – ÆØÅ 日本", "[VexalP]"};
        for (const QString &value : values) {
            QTemporaryDir dir, copy;
            {
                SettingsStore store(dir.path());
                store.write(App, Section, "Value", value);
                store.write(App, Section, "After", "2");
            }
            QVERIFY(QFile::copy(dir.filePath(App + ".ini"), copy.filePath(App + ".ini")));
            for (const QString &folder : {dir.path(), copy.path()}) {
                SettingsStore store(folder);
                QCOMPARE(store.read(App, Section, "Value", "default"), value);
                QCOMPARE(store.read(App, Section, "After", {}), QStringLiteral("2"));
            }
        }
        // A hand-edited value with bare commas reads as the text it shows.
        writeBytes(m_dir->filePath(App + ".ini"), "[VexalP]\nLatestAlpha=2.0.1 alpha 30,with fixes\n");
        QCOMPARE(SettingsStore(m_dir->path()).read(App, Section, "LatestAlpha", {}),
            QStringLiteral("2.0.1 alpha 30, with fixes"));
    }

    void absentKeysGiveDefaultsAndRemoveApplicationRemovesJustItsFile()
    {
        SettingsStore store(m_dir->path());
        store.write(App, "PLVN", "Language", "x");
        QVERIFY(!store.contains(App, Section, "Language"));
        QCOMPARE(readLanguage(store), QStringLiteral("---"));
        store.write(App, Section, "Language", QString());
        QVERIFY(store.contains(App, Section, "Language"));
        QCOMPARE(readLanguage(store), QString());
        store.write(App, Section, "Language", "SPANISH");
        store.write("VexalP", Section, "Language", "CZECH");
        QVERIFY(store.sync());
        QVERIFY(store.removeApplication("VexalP"));
        QVERIFY(!store.removeApplication("VexalP"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList {App + ".ini"});
        // Nothing of the removed application comes back, neither in this store nor in the next one.
        QCOMPARE(store.read("VexalP", Section, "Language", "-"), QStringLiteral("-"));
        QVERIFY(store.sync());
        SettingsStore next(m_dir->path());
        QVERIFY(!next.contains("VexalP", Section, "Language"));
        QCOMPARE(readLanguage(next), QStringLiteral("SPANISH"));
    }

    void damagedFileReadsAsDefaultsAndIsKeptAside()
    {
        const QByteArray good = "[VexalP]\nLanguage=SPANISH\n";
        const QList<QByteArray> damaged = {good + QByteArray("\0\xff\xfe[\x01=\x02\"\n\0\x7f", 11),
            good + "[PLVN\nLocation=x\n", "[VexalP]\nRecent1=\"C:\\TTD\\ttdpatch.cfg\n" + good.mid(9)};
        for (const QByteArray &bytes : damaged) {
            QTemporaryDir dir;
            const QString path = dir.filePath(App + ".ini");
            writeBytes(path, bytes);
            QCOMPARE(readLanguage(SettingsStore(dir.path())), QStringLiteral("---"));
            QCOMPARE(readBytes(path), bytes);
            {
                // The next run still sees a damaged file; its first write keeps it aside.
                SettingsStore store(dir.path());
                QCOMPARE(readLanguage(store), QStringLiteral("---"));
                store.write(App, Section, "Tab", "2");
                QVERIFY(store.sync());
            }
            QCOMPARE(readBytes(path + ".bad"), bytes);
            SettingsStore after(dir.path());
            QCOMPARE(after.read(App, Section, "Tab", {}), QStringLiteral("2"));
            QCOMPARE(readLanguage(after), QStringLiteral("---"));
        }
        // A folder in the file's place: defaults, whatever stood there is not lost, and the failed
        // write is told.
        const QString path = m_dir->filePath(App + ".ini");
        QVERIFY(QDir(m_dir->path()).mkpath(App + ".ini/inside"));
        SettingsStore store(m_dir->path());
        QCOMPARE(readLanguage(store), QStringLiteral("---"));
        store.write(App, Section, "Language", "DUTCH");
        store.sync();
        QVERIFY(QFileInfo::exists(path + "/inside") || QFileInfo::exists(path + ".bad/inside"));
        SettingsStore unwritable(writeFile(m_dir->filePath("plain"), "x"));
        unwritable.write(App, Section, "Language", "DUTCH");
        QVERIFY(!unwritable.sync());
        QCOMPARE(readBytes(m_dir->filePath("plain")), QByteArray("x"));
    }

    void foldersFollowTheEnvironment()
    {
        // The variables that move both folders are the updater's tests'.
        const QString dir = m_dir->path();
        const ScopedEnvironment unset("VEXALP_SETTINGS_DIR", std::nullopt);
        const ScopedEnvironment config("XDG_CONFIG_HOME", (dir + "/config").toLocal8Bit());
        QCOMPARE(SettingsStore::defaultFolder(), dir + "/config/vexalpro");
        const ScopedEnvironment home("HOME", dir.toLocal8Bit());
        const QList<std::pair<std::optional<QByteArray>, QString>> caches
            = {{"/var/tmp/cache/", "/var/tmp/cache/vexalp/"}, {"cache", dir + "/.cache/vexalp/"},
                {std::nullopt, dir + "/.cache/vexalp/"}};
        for (const auto &[value, expected] : caches) {
            const ScopedEnvironment cache("XDG_CACHE_HOME", value);
            QCOMPARE(systemInfo::cacheFolder(), expected);
        }
    }

    void systemFacts()
    {
        const QList<std::tuple<unsigned long, QString, bool>> fileSystems
            = {{0x6969, "", true}, {0xFF534D42, "", true}, {0x65735546, "fuse.sshfs", true},
                {0x65735546, "fuse.gvfsd-fuse", false}, {0x65735546, "", false}, {0xEF53, "", false}};
        for (const auto &[magic, fuseSubtype, network] : fileSystems)
            QVERIFY2(systemInfo::isNetworkFileSystemType(magic, fuseSubtype) == network, qPrintable(fuseSubtype));
        QVERIFY(systemInfo::isOnNetworkFileSystem("//server/share/TTD/"));
        QVERIFY(!systemInfo::isOnNetworkFileSystem(m_dir->path()));

        const QList<std::tuple<QString, QString, QString>> locales
            = {{"es_AR", "1252", "SPANISH"}, {"cs_CZ", "1250", "CZECH"}, {"ru_RU", "1251", "RUSSIAN"},
                {"el_GR", "1253", "GREEK"}, {"ja_JP", "932", "JAPANESE"}, {"zh_TW", "950", "CHINESE"}};
        for (const auto &[locale, codePage, name] : locales) {
            QCOMPARE(systemInfo::ansiCodePage(QLocale(locale)), codePage);
            QCOMPARE(systemInfo::localeLanguageName(QLocale(locale)), name);
        }
    }

    void librariesAreFoundWhereTheLoaderLooks()
    {
        QVERIFY(SystemLibrary::installed(u"c"_s, 6));
        QVERIFY(!SystemLibrary::installed(u"vexalpro-absent"_s, 1));
        writeBytes(m_dir->filePath(u"libextra.so.2"_s), "");
        QVERIFY(QDir(m_dir->path()).mkdir(u"libfolder.so.1"_s));
        const ScopedEnvironment path("LD_LIBRARY_PATH", ("/absent:" + m_dir->path()).toLocal8Bit());
        QVERIFY(SystemLibrary::installed(u"extra"_s, 2));
        QVERIFY(!SystemLibrary::installed(u"extra"_s, 3));
        QVERIFY(!SystemLibrary::installed(u"folder"_s, 1));
        // The folders the loader's *.conf files list, lines that are no folder passed over.
        QVERIFY(QDir(m_dir->path()).mkdir(u"conf.d"_s) && QDir(m_dir->path()).mkdir(u"listed"_s)
            && QDir(m_dir->path()).mkdir(u"unlisted"_s));
        const QDir conf(m_dir->filePath(u"conf.d"_s));
        writeBytes(
            conf.filePath(u"a.conf"_s), "# a comment\n" + QFile::encodeName(m_dir->filePath(u"listed"_s)) + "\n");
        writeBytes(conf.filePath(u"b.txt"_s), QFile::encodeName(m_dir->filePath(u"unlisted"_s)));
        writeBytes(m_dir->filePath(u"listed/liblisted.so.1"_s), "");
        writeBytes(m_dir->filePath(u"unlisted/libunlisted.so.1"_s), "");
        QVERIFY(SystemLibrary::installed(u"listed"_s, 1, conf.path()));
        QVERIFY(!SystemLibrary::installed(u"unlisted"_s, 1, conf.path()));
    }

    void loopbackServerIsRecognisedByItsAddressAlone()
    {
        const QList<std::pair<QString, bool>> cases
            = {{"http://127.0.0.1:8080/ttdpatch/", true}, {"http://127.5.5.5/", true}, {"http://[::1]:8080/", true},
                {"http://LOCALHOST:81/", true}, {"http://10.0.0.1/", false}, {"http://127.0.0.1.example.org/", false},
                {"http://localhost.example.org/", false}, {"", false}};
        for (const auto &[url, loopback] : cases)
            QVERIFY2(isLoopbackServer(QUrl(url)) == loopback, qPrintable(url));
        // The machine's own name usually resolves to a loopback address; a name is never looked up.
        const QString own = QHostInfo::localHostName();
        if (!own.isEmpty() && own.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
            QVERIFY2(!isLoopbackServer(QUrl("http://" + own + '/')), qPrintable(own));
    }

    // Every byte alone, every lead byte before every trail byte, random bytes and line ends with a
    // NUL come back unchanged through decoding and encoding; an unknown page is 1252.
    void codePageBytesComeBackUnchanged()
    {
        QByteArray all, pairs, random(3 * 4096, Qt::Uninitialized);
        for (int byte = 0; byte < 256; ++byte)
            all.append(char(byte));
        for (int lead = 0x80; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail)
                pairs.append(char(lead)).append(char(trail)).append('\n');
        }
        QRandomGenerator generator(1);
        for (char &byte : random)
            byte = char(generator.bounded(256));
        const QByteArray lineEnds("a\r\nb\0c\n\r", 8);
        for (const QString &page : QStringLiteral("874 1250 1251 1252 1253 1254 1255 1256 1257 1258 932 936 949 950")
                                       .split(QLatin1Char(' '))) {
            const TextCodec codec(page);
            QCOMPARE(codec.codePage(), page);
            for (const QByteArray &bytes : {all, pairs, random, lineEnds})
                QVERIFY2(codec.encode(codec.decode(bytes)) == bytes, qPrintable(page));
            QCOMPARE(codec.decode(lineEnds), QStringLiteral("a\r\nb") + QChar(u'\0') + QStringLiteral("c\n\r"));
        }
        for (const QString &page : {QStringLiteral("437"), QString(), QStringLiteral("65001")})
            QCOMPARE(TextCodec(page).decode("\x80\xE9"), QStringLiteral("€é"));
    }

    // The page is the row name's first word. Where `decodes`, the bytes also decode to the text.
    void codePageTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decodes");
        const auto row = [](const char *name, const QString &text, const QByteArray &bytes, bool decodes = true) {
            QTest::newRow(name) << text << bytes << decodes;
        };
        const auto escape = [](int byte) { return QString(QChar(0xDC00 + byte)); }; // a byte kept as it is
        row("1250 o double acute", QStringLiteral("ő"), "\xF5"); // not 1252's õ
        row("1251 A", QStringLiteral("\u0410"), "\xC0");
        row("932 NEC symbol", QStringLiteral("≒"), "\x81\xE0");
        row("936 ni", QStringLiteral("你"), "\xC4\xE3");
        row("949 ga", QStringLiteral("가"), "\xB0\xA1");
        row("950 zhong", QStringLiteral("中"), "\xA4\xA4");
        // Undefined bytes keep their Latin-1 meaning in single-byte pages and are escaped in the others.
        row("1252 undefined", QStringLiteral("\u0081"), "\x81");
        row("932 lead at end", u'x' + escape(0x82), "x\x82");
        row("932 bad trail", escape(0x82) + u'\r', "\x82\x0D");
        // glibc reports this undefined code only after it has passed it.
        row("949 undefined", escape(0xA2) + escape(0xE8), "\xA2\xE8");
        // NEC's copy of the IBM kanji: encoding writes the IBM one, so this one stays bytes.
        row("932 second copy", escape(0xED) + u'@', "\xED\x40");
        row("932 IBM copy", QStringLiteral("\u7E8A"), "\xFA\x5C", false);
        row("932 missing", QStringLiteral("éあ"), "?\x82\xA0", false);
        row("1252 lone surrogate", QString(QChar(0xD800) + u'a'), "?a", false);
        // The low half of this pair is in the escape range, but the pair is one character.
        row("936 pair, not escape", QStringLiteral("\U00010080x"), "?x", false);
        // 1258 has no precomposed Vietnamese letters; they go out as letter plus accent.
        row("1258 composed", QStringLiteral("ạ"), "a\xF2", false);
    }
    void codePageTexts()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const TextCodec codec(QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 0, 0));
        QCOMPARE(codec.encode(text), bytes);
        QFETCH(bool, decodes);
        if (decodes)
            QCOMPARE(codec.decode(bytes), text);
    }

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
        QCOMPARE(m_corpus->serialized(), m_corpusBytes);
        auto copied = m_corpus;
        copied->setDword(TtdKey64, u"fullscreen"_s, 0); // already 0: like Wine, nothing changes
        QCOMPARE(copied->serialized(), m_corpusBytes);
        // Keys are found whatever their case, 32-bit programs' keys under Wow6432Node.
        QCOMPARE(m_corpus->keyFor32BitProgram(TtdKey), TtdKey64);
        QVERIFY(m_corpus->hasKey(u"software\\WOW6432NODE\\fish technology GROUP"_s) && !m_corpus->hasKey(TtdKey));
    }

    // The forms Wine writes: escapes, typed texts and typed bytes; names in any case.
    void readsEveryForm()
    {
        const auto registry = WineRegistry::load(registryFile(Header
            + "[Software\\\\K] 1796481357\n\"Escapes\"=\"\\101\\0017\\18\\x41z\\xe9\\x263a \\\"q\\\" "
              "b\\\\s\"\n\"Expand\"=str(2):\"%PATH%\"\n"
              "\"Text\"=hex(1):41,00,42,00\n\"Number\"=hex(4):2a,00,00,00\n\"Bin\"=hex:01,\\\n  ff\n"));
        QVERIFY(registry);
        const QString key = u"Software\\K"_s;
        QVERIFY(!registry->value(key, u"Missing"_s) && !registry->value(key + u"\\Missing"_s, u"Bin"_s));
        QCOMPARE(registry->value(u"SOFTWARE\\k"_s, u"escapes"_s)->text,
            u"A\x01"
            "7\x01"
            "8Az\u00e9\u263a \"q\" b\\s"_s);
        QCOMPARE(registry->value(key, u"Expand"_s)->text, u"%PATH%"_s);
        QCOMPARE(registry->value(key, u"Expand"_s)->type, 2u);
        QCOMPARE(registry->value(key, u"Text"_s)->text, u"AB"_s);
        QCOMPARE(registry->value(key, u"Number"_s)->number, 42u);
        QCOMPARE(registry->value(key, u"Bin"_s)->bytes, QByteArray("\x01\xff"));
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

        const auto reread = WineRegistry::load(registryFile(bytes));
        QVERIFY(reread);
        QCOMPARE(reread->serialized(), bytes);
        QCOMPARE(reread->value(TtdKey64 + u"\\sub"_s, QString())->number, 7u);
        QCOMPARE(reread->value(TtdKey64, u"zeta"_s)->text, u"z"_s);
    }

    // A 64-bit prefix keeps 32-bit programs' keys under Software\Wow6432Node, whatever the spelling.
    void keyFor32BitProgram()
    {
        const QByteArray win64 = "#arch=win64\n";
        const QList<std::tuple<QByteArray, QString, QString>> cases = {{win64, TtdKey, TtdKey64},
            {win64, u"\\SOFTWARE\\X\\"_s, u"SOFTWARE\\Wow6432Node\\X"_s}, {win64, TtdKey64, TtdKey64},
            {win64, u"System\\X"_s, u"System\\X"_s}, {win64, u"Software"_s, u"Software\\Wow6432Node"_s},
            {"", TtdKey, TtdKey}, {"#arch=win32\n", TtdKey, TtdKey}};
        for (const auto &[arch, key, expected] : cases) {
            const auto registry = WineRegistry::load(registryFile(Header + arch));
            QVERIFY(registry);
            QCOMPARE(registry->keyFor32BitProgram(key), expected);
        }
    }

    // Texts go out in Wine's escapes and come back from the file as they were.
    void writesTextAsWine()
    {
        const QList<std::pair<QString, QByteArray>> texts = {{u"d\u00e9j\u00e0 \u263a"_s, "d\\xe9j\\xe0 \\x263a"},
            {u"\u00e9b\u00e91"_s, "\\x00e9b\\x00e91"}, {u"a\"b\\c"_s, "a\\\"b\\\\c"},
            {u"\t\n\r\x1b|\x01|\0017|\x10"_s, "\\t\\n\\r\\e|\\1|\\0017|\\20"}, {u"\U0001F600"_s, "\\xd83d\\xde00"}};
        const QString path = registryFile(Header + "#arch=win64\n");
        auto registry = WineRegistry::load(path);
        QVERIFY(registry);
        for (const auto &[text, written] : texts) {
            registry->setString(u"Software\\K"_s, text, text);
            QVERIFY2(registry->serialized().endsWith(QByteArray('"' + written + "\"=\"" + written + "\"\n")),
                written.constData());
        }
        QVERIFY(registry->save());
        const auto reread = WineRegistry::load(path);
        QVERIFY(reread);
        for (const auto &[text, written] : texts)
            QCOMPARE(reread->value(u"software\\k"_s, text)->text, text);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // a null array: no file
        QTest::addColumn<QString>("message");
        const QByteArray key = Header + "#arch=win64\n\n[Software\\\\A] 1796481357\n#time=1dd84c5f0dc951e\n";
        QTest::newRow("missing") << QByteArray() << u"Cannot read the Wine registry"_s;
        QTest::newRow("empty") << QByteArray("") << u"is empty"_s;
        QTest::newRow("blank first line") << "\n" + Header << u"line 1 reads \"\" instead"_s;
        QTest::newRow("version 3")
            << QByteArray("WINE REGISTRY Version 3\n")
            << u"line 1 reads \"WINE REGISTRY Version 3\" instead of \"WINE REGISTRY Version 2\"."_s;
        QTest::newRow("cut after a continuation") << key + "\"B\"=hex:01,02,\\\n"
                                                  << u"line 8: its hex data goes on past"_s;
        QTest::newRow("cut inside a continuation")
            << key + "\"B\"=hex:01,\\\n  02,0" << u"ends in the middle of line 9"_s;
        QTest::newRow("half a byte") << key + "\"B\"=hex:01,\\\n  02,0\n" << u"line 8: a byte of hex data"_s;
        QTest::newRow("garbage") << key + "\"B\"=dword:1\nxyz\n" << u"line 9: it is neither"_s;
        QTest::newRow("open text") << key + "\"B\"=\"abc\n" << u"line 8: the text has no closing quote"_s;
        QTest::newRow("unknown data") << key + "\"B\"=qword:1\n" << u"line 8: unknown kind of data"_s;
        QTest::newRow("str( unclosed") << key + "\"B\"=str(2\"x\"\n" << u"line 8: str( needs"_s;
        QTest::newRow("hex( unclosed") << key + "\"B\"=hex(7:01\n" << u"line 8: hex( needs"_s;
        QTest::newRow("after the text") << key + "\"B\"=\"a\" x\n" << u"line 8: something follows"_s;
        QTest::newRow("empty dword") << key + "\"B\"=dword:\n" << u"line 8: a dword needs"_s;
        QTest::newRow("open key") << key + "[Software\\\\B\n" << u"line 8: the key name has no closing"_s;
    }
    void badInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = bytes.isNull() ? m_dir->filePath(u"system.reg"_s) : registryFile(bytes);
        QString error;
        QVERIFY(!WineRegistry::load(path, &error));
        QVERIFY2(error.contains(message) && error.contains(path) && !error.contains(u'\n'), qPrintable(error));
    }

    void saveKeepsBackupAndIsAtomic()
    {
        const QString folder = m_dir->filePath(u"prefix"_s), path = folder + u"/system.reg"_s;
        const QByteArray original = Header + "#arch=win64\n";
        QVERIFY(QDir().mkpath(folder));
        writeFile(path, original);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        auto registry = WineRegistry::load(path);
        QVERIFY(registry);
        QString error;
        for (quint32 n : {1, 2}) {
            const QByteArray before = readBytes(path);
            registry->setDword(u"Software\\A"_s, u"n"_s, n);
            QVERIFY2(registry->save(&error), qPrintable(error));
            QCOMPARE(readBytes(path), registry->serialized());
            QCOMPARE(readBytes(path + u".bak"_s), before);
        }
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

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

    void prefixFor()
    {
        // game folder, WINEPREFIX (empty: unset), prefix
        const QList<std::tuple<QString, QByteArray, QString>> cases
            = {{u"/games/pfx/drive_c/TTD/"_s, "/other", u"/games/pfx/"_s},
                {u"/a/drive_c/b/drive_c"_s, {}, u"/a/drive_c/b/"_s}, {u"/opt/ttd"_s, "/srv/pfx//", u"/srv/pfx/"_s},
                {u"/opt/ttd"_s, {}, QDir::homePath() + u"/.wine/"_s}};
        for (const auto &[folder, winePrefix, prefix] : cases) {
            const ScopedEnvironment set("WINEPREFIX", winePrefix.isEmpty() ? std::nullopt : std::optional(winePrefix));
            QCOMPARE(wine::prefixFor(folder), prefix);
        }
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
        const QString root = QFileInfo(m_dir->path()).canonicalFilePath();
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
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
