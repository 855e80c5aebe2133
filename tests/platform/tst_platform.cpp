#include "platform/clock.h"
#include "platform/connectionprobe.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/systeminfo.h"
#include "testsupport.h"

#include <QDialog>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(MessageButtons)
Q_DECLARE_METATYPE(Answer)

namespace {

const QString App = QStringLiteral("Brakemoor Solutions");
const QString Section = QStringLiteral("VexalP");

// Sets (or, given nullopt, removes) an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const std::optional<QByteArray> &value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnvironment() { m_old ? qputenv(m_name, *m_old) : qunsetenv(m_name); }

private:
    const char *m_name;
    std::optional<QByteArray> m_old;
};

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    // --- Settings store -----------------------------------------------------------------------
    void settingsValueRoundTripsExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("comma") << QStringLiteral("a, b");
        QTest::newRow("bare commas") << QStringLiteral("a,b,,c,");
        QTest::newRow("quotes") << QStringLiteral("say \"hi\" 'there'");
        QTest::newRow("lone quote") << QStringLiteral("\"unterminated");
        QTest::newRow("quote after semicolon") << QStringLiteral("a;\"b");
        QTest::newRow("escaped quote at end") << QStringLiteral("a\\\"");
        QTest::newRow("backslashes") << QStringLiteral("C:\\TTD\\ttdpatch.cfg \\\\server\\");
        QTest::newRow("semicolon and hash") << QStringLiteral("a; b # c ;d#");
        QTest::newRow("equals") << QStringLiteral("key=value = x");
        QTest::newRow("variant lookalike") << QStringLiteral("@Variant(x)");
        QTest::newRow("leading at") << QStringLiteral("@x");
        QTest::newRow("blanks around") << QStringLiteral("  padded \t ");
        QTest::newRow("empty") << QString();
        QTest::newRow("CR LF inside") << QStringLiteral("line one\r\nline two\r\n");
        QTest::newRow("non-ASCII") << QStringLiteral("ñandú – ÆØÅ 日本");
        QTest::newRow("section lookalike") << QStringLiteral("[VexalP]");
        QTest::newRow("open bracket") << QStringLiteral("[unclosed");
        QTest::newRow("long") << QString(2000, QLatin1Char('x')).replace(1000, 3, QStringLiteral("a\"b"));
    }
    void settingsValueRoundTripsExactly()
    {
        QFETCH(QString, value);
        QTemporaryDir dir, copy;
        {
            SettingsStore store(dir.path());
            store.write(App, Section, QStringLiteral("Before"), QStringLiteral("1"));
            store.write(App, Section, QStringLiteral("Value"), value);
            store.write(App, Section, QStringLiteral("After"), QStringLiteral("2"));
            QVERIFY(store.sync());
        }
        // The copy in another folder is read from disk, not from what this process already parsed.
        QVERIFY(QFile::copy(dir.filePath(App + ".ini"), copy.filePath(App + ".ini")));
        for (const QString &folder : {dir.path(), copy.path()}) {
            SettingsStore store(folder);
            QCOMPARE(store.read(App, Section, QStringLiteral("Value"), QStringLiteral("default")), value);
            QCOMPARE(store.read(App, Section, QStringLiteral("Before"), {}), QStringLiteral("1"));
            QCOMPARE(store.read(App, Section, QStringLiteral("After"), {}), QStringLiteral("2"));
        }
    }

    void settingsKeepOneFilePerApplication()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.path());
        QCOMPARE(store.filePath(App), dir.filePath(QStringLiteral("Brakemoor Solutions.ini")));
        store.write(App, Section, QStringLiteral("Language"), QStringLiteral("SPANISH"));
        store.write(QStringLiteral("VexalP"), Section, QStringLiteral("Language"), QStringLiteral("CZECH"));
        QVERIFY(store.sync());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
            QStringList({QStringLiteral("Brakemoor Solutions.ini"), QStringLiteral("VexalP.ini")}));
        QCOMPARE(store.read(App, Section, QStringLiteral("Language"), {}), QStringLiteral("SPANISH"));
    }

    void removeApplicationRemovesJustItsFile()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.path());
        store.write(App, Section, QStringLiteral("Language"), QStringLiteral("SPANISH"));
        store.write(QStringLiteral("VexalP"), Section, QStringLiteral("Language"), QStringLiteral("CZECH"));
        store.write(QStringLiteral("VexalP"), Section, QStringLiteral("Old"), QStringLiteral("1"));
        QVERIFY(store.sync());

        QVERIFY(store.removeApplication(QStringLiteral("VexalP")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("VexalP.ini"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("Brakemoor Solutions.ini"))));
        QVERIFY(!store.removeApplication(QStringLiteral("VexalP")));
        QVERIFY(!store.removeApplication(QStringLiteral("Nobody")));

        // Nothing of the removed application comes back, neither in this store nor in the next one.
        QCOMPARE(store.read(QStringLiteral("VexalP"), Section, QStringLiteral("Old"), QStringLiteral("-")),
            QStringLiteral("-"));
        store.write(QStringLiteral("VexalP"), Section, QStringLiteral("New"), QStringLiteral("2"));
        QVERIFY(store.sync());
        SettingsStore next(dir.path());
        QVERIFY(!next.contains(QStringLiteral("VexalP"), Section, QStringLiteral("Old")));
        QVERIFY(!next.contains(QStringLiteral("VexalP"), Section, QStringLiteral("Language")));
        QCOMPARE(next.read(QStringLiteral("VexalP"), Section, QStringLiteral("New"), {}), QStringLiteral("2"));
        QCOMPARE(next.read(App, Section, QStringLiteral("Language"), {}), QStringLiteral("SPANISH"));
    }

    void absentKeyGivesDefault()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.path());
        QCOMPARE(store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
        store.write(App, QStringLiteral("PLVN"), QStringLiteral("Language"), QStringLiteral("x"));
        QVERIFY(!store.contains(App, Section, QStringLiteral("Language")));
        QCOMPARE(store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
        store.write(App, Section, QStringLiteral("Language"), QString());
        QVERIFY(store.contains(App, Section, QStringLiteral("Language")));
        QCOMPARE(store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QString());
    }

    void damagedFileReadsAsDefaultsAndIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = "[VexalP]\nLanguage=SPANISH\n";
        QTest::newRow("binary garbage") << good + QByteArray("\0\xff\xfe[\x01=\x02\"\n\0\x7f", 11);
        QTest::newRow("binary file") << QByteArray("\177ELF\2\1\1\0\0\0\0\0[\"\377\330", 16);
        QTest::newRow("unterminated section") << good + "[PLVN\nLocation=x\n";
        QTest::newRow("unterminated quote") << "[VexalP]\nRecent1=\"C:\\TTD\\ttdpatch.cfg\n" + good.mid(9);
        QTest::newRow("quote in a key") << "[VexalP]\n\"Tab=1\n" + good.mid(9);
    }
    void damagedFileReadsAsDefaultsAndIsKeptAside()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(App + ".ini");
        writeBytes(path, bytes);
        {
            SettingsStore store(dir.path());
            QCOMPARE(
                store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
            QVERIFY(!store.contains(App, Section, QStringLiteral("Language")));
        }
        QCOMPARE(readBytes(path), bytes);
        QVERIFY(!QFile::exists(path + ".bad"));
        {
            // The next store (the program's next run) still sees a damaged file.
            SettingsStore store(dir.path());
            QCOMPARE(
                store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
            store.write(App, Section, QStringLiteral("Tab"), QStringLiteral("2"));
            QCOMPARE(readBytes(path + ".bad"), bytes);
            QVERIFY(store.sync());
        }
        QCOMPARE(readBytes(path + ".bad"), bytes);
        SettingsStore after(dir.path());
        QCOMPARE(after.read(App, Section, QStringLiteral("Tab"), {}), QStringLiteral("2"));
        QCOMPARE(after.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
    }

    void unreadableFileGivesDefaults()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(App + ".ini");
        QVERIFY(QDir(dir.path()).mkpath(App + ".ini/inside"));
        SettingsStore store(dir.path());
        QCOMPARE(store.read(App, Section, QStringLiteral("Language"), QStringLiteral("---")), QStringLiteral("---"));
        QVERIFY(!store.contains(App, Section, QStringLiteral("Language")));
        store.write(App, Section, QStringLiteral("Language"), QStringLiteral("DUTCH"));
        store.sync();
        // Whatever stood in the file's place is not lost.
        QVERIFY(QFileInfo::exists(path + "/inside") || QFileInfo::exists(path + ".bad/inside"));
    }

    void defaultFolderFollowsEnvironment()
    {
        QTemporaryDir dir;
        {
            const ScopedEnvironment moved("VEXALP_SETTINGS_DIR", dir.path().toLocal8Bit());
            QCOMPARE(SettingsStore::defaultFolder(), dir.path());
            QCOMPARE(SettingsStore().folder(), dir.path());
        }
        const ScopedEnvironment unset("VEXALP_SETTINGS_DIR", std::nullopt);
        const ScopedEnvironment config("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        QCOMPARE(SettingsStore::defaultFolder(), dir.filePath(QStringLiteral("config/vexalpro")));
    }

    // --- System information -------------------------------------------------------------------
    void networkFileSystemTypes_data()
    {
        QTest::addColumn<qulonglong>("magic");
        QTest::addColumn<QString>("fuseSubtype");
        QTest::addColumn<bool>("network");
        QTest::newRow("NFS") << 0x6969ULL << QString() << true;
        QTest::newRow("SMB") << 0x517BULL << QString() << true;
        QTest::newRow("CIFS") << 0xFF534D42ULL << QString() << true;
        QTest::newRow("SMB2") << 0xFE534D42ULL << QString() << true;
        QTest::newRow("9P") << 0x01021997ULL << QString() << true;
        QTest::newRow("sshfs") << 0x65735546ULL << QStringLiteral("fuse.sshfs") << true;
        QTest::newRow("gvfs") << 0x65735546ULL << QStringLiteral("fuse.gvfsd-fuse") << false;
        QTest::newRow("FUSE, type unknown") << 0x65735546ULL << QString() << false;
        QTest::newRow("ext4") << 0xEF53ULL << QString() << false;
        QTest::newRow("tmpfs") << 0x01021994ULL << QString() << false;
    }
    void networkFileSystemTypes()
    {
        QFETCH(qulonglong, magic);
        QFETCH(QString, fuseSubtype);
        QFETCH(bool, network);
        QCOMPARE(systemInfo::isNetworkFileSystemType(static_cast<unsigned long>(magic), fuseSubtype), network);
    }

    void networkPaths()
    {
        QVERIFY(systemInfo::isOnNetworkFileSystem(QStringLiteral("//server/share/TTD/")));
        QTemporaryDir dir;
        QVERIFY(!systemInfo::isOnNetworkFileSystem(dir.path()));
    }

    void cacheFolder_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("xdgCacheHome");
        QTest::addColumn<QString>("expected"); // "~" stands for the home folder
        QTest::newRow("set") << std::optional<QByteArray>("/var/tmp/cache") << QStringLiteral("/var/tmp/cache/vexalp/");
        QTest::newRow("set with slash") << std::optional<QByteArray>("/var/tmp/cache/")
                                        << QStringLiteral("/var/tmp/cache/vexalp/");
        QTest::newRow("relative") << std::optional<QByteArray>("cache") << QStringLiteral("~/.cache/vexalp/");
        QTest::newRow("empty") << std::optional<QByteArray>("") << QStringLiteral("~/.cache/vexalp/");
        QTest::newRow("unset") << std::optional<QByteArray>() << QStringLiteral("~/.cache/vexalp/");
    }
    void cacheFolder()
    {
        QFETCH(std::optional<QByteArray>, xdgCacheHome);
        QFETCH(QString, expected);
        QTemporaryDir home;
        const ScopedEnvironment homeVariable("HOME", home.path().toLocal8Bit());
        const ScopedEnvironment cache("XDG_CACHE_HOME", xdgCacheHome);
        QCOMPARE(systemInfo::cacheFolder(), expected.replace(QLatin1Char('~'), home.path()));
    }

    void createPrivateFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("vexalp"));
        QVERIFY(systemInfo::createPrivateFolder(folder));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_mode & 0777, 0700u);
        QVERIFY(systemInfo::createPrivateFolder(folder + QLatin1Char('/')));

        QVERIFY(!systemInfo::createPrivateFolder(dir.filePath(QStringLiteral("missing/vexalp"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
        writeBytes(dir.filePath(QStringLiteral("file")), "x");
        QVERIFY(!systemInfo::createPrivateFolder(dir.filePath(QStringLiteral("file"))));
    }

    void ansiCodePage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("codePage");
        const QList<std::pair<const char *, const char *>> cases
            = {{"cs_CZ", "1250"}, {"hu_HU", "1250"}, {"pl_PL", "1250"}, {"ru_RU", "1251"}, {"el_GR", "1253"},
                {"tr_TR", "1254"}, {"he_IL", "1255"}, {"ar_EG", "1256"}, {"ja_JP", "932"}, {"zh_CN", "936"},
                {"zh_TW", "950"}, {"ko_KR", "949"}, {"es_AR", "1252"}, {"de_DE", "1252"}, {"sv_SE", "1252"}};
        for (const auto &[locale, codePage] : cases)
            QTest::newRow(locale) << QString::fromLatin1(locale) << QString::fromLatin1(codePage);
    }
    void ansiCodePage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, codePage);
        QCOMPARE(systemInfo::ansiCodePage(QLocale(locale)), codePage);
    }

    void localeLanguageName_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("name");
        QTest::newRow("es_AR") << QStringLiteral("es_AR") << QStringLiteral("SPANISH");
        QTest::newRow("pt_BR") << QStringLiteral("pt_BR") << QStringLiteral("PORTUGUESE");
        QTest::newRow("en_US") << QStringLiteral("en_US") << QStringLiteral("ENGLISH");
        QTest::newRow("de_DE") << QStringLiteral("de_DE") << QStringLiteral("GERMAN");
    }
    void localeLanguageName()
    {
        QFETCH(QString, locale);
        QFETCH(QString, name);
        QCOMPARE(systemInfo::localeLanguageName(QLocale(locale)), name);
    }

    void availableMemoryIsKnown()
    {
        const std::optional<quint64> bytes = systemInfo::availableMemoryBytes();
        QVERIFY(bytes.has_value());
        QVERIFY(*bytes > 0);
    }

    // --- Scripted dialogs ---------------------------------------------------------------------
    void scriptedMessagesAnswerInOrderAndRecordPrompts()
    {
        ScriptedDialogs dialogs;
        dialogs.queueAnswer(Answer::No);
        dialogs.queueAnswer(Answer::Cancel);
        QCOMPARE(dialogs.pendingAnswers(), 2);
        const MessageRequest first {QStringLiteral("Vexal Pro"), QStringLiteral("Save?"), MessageIcon::Question,
            MessageButtons::YesNoCancel, Answer::Yes};
        const MessageRequest second {QStringLiteral("Registry Error"), QStringLiteral("Oops\r\nagain"),
            MessageIcon::Critical, MessageButtons::OkCancel, Answer::None};
        QCOMPARE(dialogs.message(nullptr, first), Answer::No);
        QCOMPARE(dialogs.message(nullptr, second), Answer::Cancel);
        QCOMPARE(dialogs.message(nullptr, first), Answer::Yes);
        QCOMPARE(dialogs.pendingAnswers(), 0);

        const QList<ScriptedDialogs::Prompt> prompts = dialogs.takePrompts();
        QCOMPARE(prompts.size(), 3);
        QCOMPARE(prompts[1].kind, ScriptedDialogs::Kind::Message);
        QCOMPARE(prompts[1].title, second.title);
        QCOMPARE(prompts[1].text, second.text);
        QCOMPARE(prompts[1].icon, MessageIcon::Critical);
        QCOMPARE(prompts[1].buttons, MessageButtons::OkCancel);
        QCOMPARE(prompts[1].defaultButton, Answer::None);
        QCOMPARE(prompts[0].title, first.title);
        QCOMPARE(prompts[0].icon, MessageIcon::Question);
        QCOMPARE(prompts[0].buttons, MessageButtons::YesNoCancel);
        QCOMPARE(prompts[0].defaultButton, Answer::Yes);
        QVERIFY(dialogs.prompts().isEmpty());
    }

    void unansweredMessageGivesDefaultButton_data()
    {
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<Answer>("defaultButton");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("Ok") << MessageButtons::Ok << Answer::None << Answer::Ok;
        QTest::newRow("OkCancel") << MessageButtons::OkCancel << Answer::None << Answer::Ok;
        QTest::newRow("OkCancel, Cancel") << MessageButtons::OkCancel << Answer::Cancel << Answer::Cancel;
        QTest::newRow("YesNo") << MessageButtons::YesNo << Answer::None << Answer::Yes;
        QTest::newRow("YesNo, No") << MessageButtons::YesNo << Answer::No << Answer::No;
        QTest::newRow("YesNoCancel, Cancel") << MessageButtons::YesNoCancel << Answer::Cancel << Answer::Cancel;
        QTest::newRow("default not offered") << MessageButtons::YesNo << Answer::Ok << Answer::Yes;
    }
    void unansweredMessageGivesDefaultButton()
    {
        QFETCH(MessageButtons, buttons);
        QFETCH(Answer, defaultButton);
        QFETCH(Answer, answer);
        ScriptedDialogs dialogs;
        QCOMPARE(dialogs.message(
                     nullptr, {QStringLiteral("t"), QStringLiteral("x"), MessageIcon::None, buttons, defaultButton}),
            answer);
        QCOMPARE(dialogs.prompts().size(), 1);
    }

    void textPromptsTakeQueuedTextsInOrder()
    {
        ScriptedDialogs dialogs;
        QCOMPARE(dialogs.inputBox(nullptr, QStringLiteral("Find"), QStringLiteral("Text?"), QStringLiteral("a")),
            std::nullopt);
        QCOMPARE(dialogs.openFile(nullptr, QStringLiteral("Open"), QStringLiteral("/games"), QStringLiteral("*.cfg")),
            QString());
        QCOMPARE(dialogs.browseFolder(nullptr, QStringLiteral("Where"), QStringLiteral("/home")), QString());

        dialogs.queueText(QStringLiteral("typed"));
        dialogs.queueText(std::nullopt);
        dialogs.queueText(QStringLiteral("/games/ttd/ttdpatch.cfg"));
        dialogs.queueText(QStringLiteral("/games/ttd"));
        QCOMPARE(dialogs.inputBox(nullptr, {}, {}, {}), std::optional<QString>(QStringLiteral("typed")));
        QCOMPARE(dialogs.inputBox(nullptr, {}, {}, {}), std::nullopt);
        QCOMPARE(dialogs.openFile(nullptr, {}, {}, {}), QStringLiteral("/games/ttd/ttdpatch.cfg"));
        QCOMPARE(dialogs.browseFolder(nullptr, {}, {}), QStringLiteral("/games/ttd"));

        const QList<ScriptedDialogs::Prompt> prompts = dialogs.prompts();
        QCOMPARE(prompts.size(), 7);
        QCOMPARE(prompts[0].kind, ScriptedDialogs::Kind::Input);
        QCOMPARE(prompts[0].title, QStringLiteral("Find"));
        QCOMPARE(prompts[0].text, QStringLiteral("Text?"));
        QCOMPARE(prompts[1].kind, ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(prompts[1].text, QStringLiteral("/games"));
        QCOMPARE(prompts[2].kind, ScriptedDialogs::Kind::BrowseFolder);
    }

    void formScriptRunsWhileTheFormIsShown_data()
    {
        QTest::addColumn<int>("closeWith"); // -1: the script leaves the form open
        QTest::addColumn<int>("result");
        QTest::newRow("accepted") << int(QDialog::Accepted) << int(QDialog::Accepted);
        QTest::newRow("own result") << 7 << 7;
        QTest::newRow("left open") << -1 << int(QDialog::Rejected);
    }
    void formScriptRunsWhileTheFormIsShown()
    {
        QFETCH(int, closeWith);
        QFETCH(int, result);
        ScriptedDialogs dialogs;
        QDialog form;
        form.setObjectName(QStringLiteral("frmConflict"));
        form.setWindowTitle(QStringLiteral("Vexal Pro"));
        bool visibleInScript = false;
        dialogs.queueForm([&](QDialog &shown) {
            visibleInScript = &shown == &form && shown.isVisible();
            shown.setResult(QDialog::Accepted);
            if (closeWith >= 0)
                shown.done(closeWith);
        });
        QCOMPARE(dialogs.showModal(form), result);
        QVERIFY(visibleInScript);
        QVERIFY(!form.isVisible());
        QCOMPARE(dialogs.pendingAnswers(), 0);
        QCOMPARE(dialogs.prompts().size(), 1);
        QCOMPARE(dialogs.prompts()[0].kind, ScriptedDialogs::Kind::Modal);
        QCOMPARE(dialogs.prompts()[0].formName, QStringLiteral("frmConflict"));
        QCOMPARE(dialogs.prompts()[0].title, QStringLiteral("Vexal Pro"));
    }

    void formWithoutScriptIsClosedAtOnce()
    {
        ScriptedDialogs dialogs;
        QDialog form;
        QCOMPARE(dialogs.showModal(form), int(QDialog::Rejected));
        QVERIFY(!form.isVisible());
        QCOMPARE(dialogs.prompts().size(), 1);
    }

    // --- Connection probe and clock -----------------------------------------------------------
    void loopbackServerIsRecognisedByItsAddressAlone_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("127.0.0.1") << QStringLiteral("http://127.0.0.1:8080/ttdpatch/") << true;
        QTest::newRow("127.5.5.5") << QStringLiteral("http://127.5.5.5/") << true;
        QTest::newRow("[::1]") << QStringLiteral("http://[::1]:8080/") << true;
        QTest::newRow("localhost") << QStringLiteral("http://localhost/") << true;
        QTest::newRow("LOCALHOST") << QStringLiteral("http://LOCALHOST:81/") << true;
        QTest::newRow("example.org") << QStringLiteral("http://example.org/") << false;
        QTest::newRow("10.0.0.1") << QStringLiteral("http://10.0.0.1/") << false;
        QTest::newRow("::2") << QStringLiteral("http://[::2]/") << false;
        QTest::newRow("loopback-looking name") << QStringLiteral("http://127.0.0.1.example.org/") << false;
        QTest::newRow("localhost subdomain") << QStringLiteral("http://localhost.example.org/") << false;
        QTest::newRow("empty") << QString() << false;
        // The machine's own name usually resolves to a loopback address (/etc/hosts); a name is
        // never looked up, so it does not count.
        const QString own = QHostInfo::localHostName();
        if (!own.isEmpty() && own.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
            QTest::newRow("this machine's name") << QStringLiteral("http://%1/").arg(own) << false;
    }
    void loopbackServerIsRecognisedByItsAddressAlone()
    {
        QFETCH(QString, url);
        QFETCH(bool, loopback);
        QCOMPARE(isLoopbackServer(QUrl(url)), loopback);
    }

    void shortDateIsTheLocaleShortDate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::newRow("2026-12-05") << QDate(2026, 12, 5);
        QTest::newRow("2004-05-06") << QDate(2004, 5, 6);
        QTest::newRow("1999-01-31") << QDate(1999, 1, 31);
    }
    void shortDateIsTheLocaleShortDate()
    {
        QFETCH(QDate, date);
        FakeClock clock;
        clock.date = date;
        QCOMPARE(clock.shortDate(), QLocale::system().toString(date, QLocale::ShortFormat));
        QVERIFY(!clock.shortDate().isEmpty());
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
