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

namespace {

const QString App = QStringLiteral("Brakemoor Solutions");
const QString OtherApp = QStringLiteral("VexalP");
const QString Section = QStringLiteral("VexalP");
const QString Language = QStringLiteral("Language");

QString readLanguage(const SettingsStore &store)
{
    return store.read(App, Section, Language, QStringLiteral("---"));
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    // --- Settings store -----------------------------------------------------------------------
    void settingsValuesRoundTripExactly()
    {
        const QStringList values
            = {"a, b,,c,", "say \"hi\" 'there' \"unterminated", "a\\\"", "C:\\TTD\\ttdpatch.cfg \\\\server\\",
                "a;\"b # c = d#", "@Variant(x)", "  padded \t ", "", "line one\r\nline two\r\n", "ñandú – ÆØÅ 日本",
                "[VexalP]", QString(2000, QLatin1Char('x')).replace(1000, 3, QStringLiteral("a\"b"))};
        for (const QString &value : values) {
            QTemporaryDir dir, copy;
            {
                SettingsStore store(dir.path());
                store.write(App, Section, "Before", "1");
                store.write(App, Section, "Value", value);
                store.write(App, Section, "After", "2");
                QVERIFY(store.sync());
            }
            // The copy in another folder is read from disk, not from what this process already parsed.
            QVERIFY(QFile::copy(dir.filePath(App + ".ini"), copy.filePath(App + ".ini")));
            for (const QString &folder : {dir.path(), copy.path()}) {
                SettingsStore store(folder);
                QCOMPARE(store.read(App, Section, "Value", "default"), value);
                QCOMPARE(store.read(App, Section, "Before", {}), QStringLiteral("1"));
                QCOMPARE(store.read(App, Section, "After", {}), QStringLiteral("2"));
            }
        }
    }

    void absentKeysGiveDefaultsAndRemoveApplicationRemovesJustItsFile()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.path());
        QCOMPARE(store.filePath(App), dir.filePath("Brakemoor Solutions.ini"));
        store.write(App, "PLVN", Language, "x");
        QVERIFY(!store.contains(App, Section, Language));
        QCOMPARE(readLanguage(store), QStringLiteral("---"));
        store.write(App, Section, Language, QString());
        QVERIFY(store.contains(App, Section, Language));
        QCOMPARE(readLanguage(store), QString());

        store.write(App, Section, Language, "SPANISH");
        store.write(OtherApp, Section, Language, "CZECH");
        QVERIFY(store.sync());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
            QStringList({"Brakemoor Solutions.ini", "VexalP.ini"}));
        QVERIFY(store.removeApplication(OtherApp));
        QVERIFY(!QFile::exists(dir.filePath("VexalP.ini")));
        QVERIFY(!store.removeApplication(OtherApp));
        QVERIFY(!store.removeApplication("Nobody"));

        // Nothing of the removed application comes back, neither in this store nor in the next one.
        QCOMPARE(store.read(OtherApp, Section, Language, "-"), QStringLiteral("-"));
        store.write(OtherApp, Section, "New", "2");
        QVERIFY(store.sync());
        SettingsStore next(dir.path());
        QVERIFY(!next.contains(OtherApp, Section, Language));
        QCOMPARE(next.read(OtherApp, Section, "New", {}), QStringLiteral("2"));
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
            {
                SettingsStore store(dir.path());
                QCOMPARE(readLanguage(store), QStringLiteral("---"));
            }
            QCOMPARE(readBytes(path), bytes);
            QVERIFY(!QFile::exists(path + ".bad"));
            {
                // The next store (the program's next run) still sees a damaged file.
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
        // A folder in the file's place cannot be read: defaults, and whatever stood there is not lost.
        QTemporaryDir dir;
        const QString path = dir.filePath(App + ".ini");
        QVERIFY(QDir(dir.path()).mkpath(App + ".ini/inside"));
        SettingsStore store(dir.path());
        QCOMPARE(readLanguage(store), QStringLiteral("---"));
        store.write(App, Section, Language, "DUTCH");
        store.sync();
        QVERIFY(QFileInfo::exists(path + "/inside") || QFileInfo::exists(path + ".bad/inside"));
    }

    void foldersFollowTheEnvironment()
    {
        QTemporaryDir dir;
        {
            const ScopedEnvironment moved("VEXALP_SETTINGS_DIR", dir.path().toLocal8Bit());
            QCOMPARE(SettingsStore().folder(), dir.path());
        }
        const ScopedEnvironment unset("VEXALP_SETTINGS_DIR", std::nullopt);
        const ScopedEnvironment config("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        QCOMPARE(SettingsStore::defaultFolder(), dir.filePath("config/vexalpro"));

        const ScopedEnvironment home("HOME", dir.path().toLocal8Bit());
        const QString fallback = dir.filePath(".cache/vexalp/");
        const QList<std::pair<std::optional<QByteArray>, QString>> caches
            = {{"/var/tmp/cache/", "/var/tmp/cache/vexalp/"}, {"cache", fallback}, {std::nullopt, fallback}};
        for (const auto &[value, expected] : caches) {
            const ScopedEnvironment cache("XDG_CACHE_HOME", value);
            QCOMPARE(systemInfo::cacheFolder(), expected);
        }
    }

    // --- System information -------------------------------------------------------------------
    void networkFileSystemTypes()
    {
        const QList<std::tuple<unsigned long, QString, bool>> cases
            = {{0x6969, "", true}, {0xFF534D42, "", true}, {0x65735546, "fuse.sshfs", true},
                {0x65735546, "fuse.gvfsd-fuse", false}, {0x65735546, "", false}, {0xEF53, "", false}};
        for (const auto &[magic, fuseSubtype, network] : cases)
            QVERIFY2(systemInfo::isNetworkFileSystemType(magic, fuseSubtype) == network,
                qPrintable(QString::number(magic, 16) + ' ' + fuseSubtype));
        QVERIFY(systemInfo::isOnNetworkFileSystem("//server/share/TTD/"));
        QTemporaryDir dir;
        QVERIFY(!systemInfo::isOnNetworkFileSystem(dir.path()));
    }

    void createPrivateFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("vexalp");
        QVERIFY(systemInfo::createPrivateFolder(folder));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_mode & 0777, 0700u);
        QVERIFY(systemInfo::createPrivateFolder(folder + '/'));

        QVERIFY(!systemInfo::createPrivateFolder(dir.filePath("missing/vexalp")));
        QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
        writeBytes(dir.filePath("file"), "x");
        QVERIFY(!systemInfo::createPrivateFolder(dir.filePath("file")));
    }

    void localeAndMachineFacts()
    {
        const QList<std::tuple<QString, QString, QString>> cases
            = {{"es_AR", "1252", "SPANISH"}, {"cs_CZ", "1250", "CZECH"}, {"ru_RU", "1251", "RUSSIAN"},
                {"el_GR", "1253", "GREEK"}, {"ja_JP", "932", "JAPANESE"}, {"zh_TW", "950", "CHINESE"}};
        for (const auto &[locale, codePage, name] : cases) {
            QCOMPARE(systemInfo::ansiCodePage(QLocale(locale)), codePage);
            QCOMPARE(systemInfo::localeLanguageName(QLocale(locale)), name);
        }
        QVERIFY(systemInfo::availableMemoryBytes().value_or(0) > 0);
    }

    // --- Scripted dialogs ---------------------------------------------------------------------
    void scriptedMessagesAnswerInOrderThenWithTheDefault()
    {
        ScriptedDialogs dialogs;
        dialogs.queueAnswer(Answer::No);
        dialogs.queueAnswer(Answer::Cancel);
        const MessageRequest first {
            "Vexal Pro", "Save?", MessageIcon::Question, MessageButtons::YesNoCancel, Answer::Yes};
        const MessageRequest second {
            "Registry Error", "Oops\r\nagain", MessageIcon::Critical, MessageButtons::OkCancel, Answer::None};
        QCOMPARE(dialogs.message(nullptr, first), Answer::No);
        QCOMPARE(dialogs.message(nullptr, second), Answer::Cancel);
        QCOMPARE(dialogs.pendingAnswers(), 0);
        QCOMPARE(dialogs.message(nullptr, first), Answer::Yes);

        const QList<ScriptedDialogs::Prompt> prompts = dialogs.takePrompts();
        QCOMPARE(prompts.size(), 3);
        QCOMPARE(prompts[1].kind, ScriptedDialogs::Kind::Message);
        QCOMPARE(prompts[1].title, second.title);
        QCOMPARE(prompts[1].text, second.text);
        QCOMPARE(prompts[1].icon, MessageIcon::Critical);
        QCOMPARE(prompts[1].buttons, MessageButtons::OkCancel);
        QCOMPARE(prompts[1].defaultButton, Answer::None);
        QVERIFY(dialogs.prompts().isEmpty());

        // Unanswered: the default button, or the first button offered when the default is not among them.
        const QList<std::tuple<MessageButtons, Answer, Answer>> defaults
            = {{MessageButtons::Ok, Answer::None, Answer::Ok}, {MessageButtons::YesNo, Answer::None, Answer::Yes},
                {MessageButtons::YesNoCancel, Answer::Cancel, Answer::Cancel},
                {MessageButtons::YesNo, Answer::Ok, Answer::Yes}};
        for (const auto &[buttons, defaultButton, answer] : defaults)
            QCOMPARE(dialogs.message(nullptr, {"t", "x", MessageIcon::None, buttons, defaultButton}), answer);
        QCOMPARE(dialogs.prompts().size(), defaults.size());
    }

    void textPromptsTakeQueuedTextsInOrder()
    {
        ScriptedDialogs dialogs;
        QCOMPARE(dialogs.inputBox(nullptr, "Find", "Text?", "a"), std::nullopt); // nothing queued
        dialogs.queueText("typed");
        dialogs.queueText(std::nullopt);
        dialogs.queueText("/games/ttd/ttdpatch.cfg");
        QCOMPARE(dialogs.inputBox(nullptr, {}, {}, {}), std::optional<QString>("typed"));
        QCOMPARE(dialogs.inputBox(nullptr, {}, {}, {}), std::nullopt);
        QCOMPARE(dialogs.openFile(nullptr, "Open", "/games", "*.cfg"), QStringLiteral("/games/ttd/ttdpatch.cfg"));
        QCOMPARE(dialogs.browseFolder(nullptr, "Where", "/home"), QString()); // nothing left

        const QList<ScriptedDialogs::Prompt> prompts = dialogs.prompts();
        QCOMPARE(prompts.size(), 5);
        QCOMPARE(prompts[0].kind, ScriptedDialogs::Kind::Input);
        QCOMPARE(prompts[0].text, QStringLiteral("Text?"));
        QCOMPARE(prompts[3].kind, ScriptedDialogs::Kind::OpenFile);
        QCOMPARE(prompts[3].text, QStringLiteral("/games"));
        QCOMPARE(prompts[4].kind, ScriptedDialogs::Kind::BrowseFolder);
    }

    void formScriptRunsWhileTheFormIsShown()
    {
        for (const int closeWith : {7, -1, -2}) { // -1: the script leaves the form open; -2: there is no script
            ScriptedDialogs dialogs;
            QDialog form;
            form.setObjectName("frmConflict");
            form.setWindowTitle("Vexal Pro");
            bool visibleInScript = false;
            if (closeWith != -2)
                dialogs.queueForm([&](QDialog &shown) {
                    visibleInScript = &shown == &form && shown.isVisible();
                    shown.setResult(QDialog::Accepted);
                    if (closeWith >= 0)
                        shown.done(closeWith);
                });
            QCOMPARE(dialogs.showModal(form), closeWith >= 0 ? closeWith : int(QDialog::Rejected));
            QCOMPARE(visibleInScript, closeWith != -2);
            QVERIFY(!form.isVisible());
            QCOMPARE(dialogs.prompts().size(), 1);
            QCOMPARE(dialogs.prompts()[0].kind, ScriptedDialogs::Kind::Modal);
            QCOMPARE(dialogs.prompts()[0].formName, QStringLiteral("frmConflict"));
            QCOMPARE(dialogs.prompts()[0].title, QStringLiteral("Vexal Pro"));
        }
    }

    // --- Connection probe ---------------------------------------------------------------------
    void loopbackServerIsRecognisedByItsAddressAlone()
    {
        const QList<std::pair<QString, bool>> cases
            = {{"http://127.0.0.1:8080/ttdpatch/", true}, {"http://127.5.5.5/", true}, {"http://[::1]:8080/", true},
                {"http://LOCALHOST:81/", true}, {"http://10.0.0.1/", false}, {"http://127.0.0.1.example.org/", false},
                {"http://localhost.example.org/", false}, {"", false}};
        for (const auto &[url, loopback] : cases)
            QVERIFY2(isLoopbackServer(QUrl(url)) == loopback, qPrintable(url));
        // The machine's own name usually resolves to a loopback address (/etc/hosts); a name is never looked up.
        const QString own = QHostInfo::localHostName();
        if (!own.isEmpty() && own.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
            QVERIFY2(!isLoopbackServer(QUrl("http://" + own + '/')), qPrintable(own));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
