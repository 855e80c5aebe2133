// Start-up: the component check, the language chosen at start, the refusal of network folders.
#include "testsupport.h"

#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmmain.h"
#include "shell/startup.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

using modMain::state;

namespace {
struct Started {
    explicit Started(TestServices &t, const StartupEnvironment &env, const QString &missing = {})
        : form(*t.services, StringResources::builtIn(), env, testComponents(missing))
        , outcome(form.Form_Load())
    { }
    frmComponents form;
    frmComponents::Outcome outcome;
};

bool isDarkRed(const QLabel *label)
{
    return label->styleSheet().contains(QLatin1String("rgb(192, 0, 0)"));
}

QString text(int id)
{
    return StringResources::builtIn().string(id).value();
}
} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void allComponentsPresentOpensMainWindowWithAPrivateCache()
    {
        TestServices t;
        Started s(t, t.environment());
        QCOMPARE(s.outcome, frmComponents::Outcome::MainWindowShown);
        QVERIFY(!s.form.isVisible());
        QVERIFY(s.form.mainWindow() && s.form.mainWindow()->isVisible());
        QVERIFY(state().UnzipAvailable);
        QVERIFY(!state().ComponentsMissing);
        QVERIFY(t.dialogs.prompts().isEmpty());

        const QString cache = t.environment().cacheFolder;
        QVERIFY(QFileInfo(cache).isDir());
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(cache).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
        QCOMPARE(t.stored(QStringLiteral("WinTempPath")), cache);
        QCOMPARE(state().TempPath, cache);
        QCOMPARE(state().NewsTmpPath, cache + QStringLiteral("news.tmp"));
    }

    void missingComponentPageInDarkRedWithItsLinks()
    {
        TestServices t;
        Started s(t, t.environment(), QStringLiteral("XDG-OPEN"));
        QCOMPARE(s.outcome, frmComponents::Outcome::ComponentsMissing);
        QVERIFY(s.form.isVisible() && !s.form.mainWindow());
        QVERIFY(isDarkRed(s.form.findChild<QLabel *>(QStringLiteral("Label2(1)")))); // the file
        QVERIFY(isDarkRed(s.form.findChild<QLabel *>(QStringLiteral("Label3(1)")))); // its description
        QVERIFY(!isDarkRed(s.form.findChild<QLabel *>(QStringLiteral("Label2(0)"))));
        // The page speaks the interface language.
        QCOMPARE(s.form.lblProblem->text(), QStringLiteral("Essential components to run program are missing."));
        QCOMPARE(s.form.lblMainsite->text(), QStringLiteral("Vexal Pro website (Main)"));
        QCOMPARE(s.form.lblMirror1->text(), QStringLiteral("Vexal Pro website (Alternative)"));
        QCOMPARE(s.form.cmdIgnore->text(), QStringLiteral("Ignore"));
        QCOMPARE(s.form.cmdExit->text(), QStringLiteral("Exit"));

        // The info link names the system folder, on a left click only.
        QTest::mouseClick(s.form.lblInfo, Qt::RightButton);
        QVERIFY(t.dialogs.prompts().isEmpty());
        QTest::mouseClick(s.form.lblInfo, Qt::LeftButton);
        QCOMPARE(t.dialogs.prompts().size(), 1);
        const auto prompt = t.dialogs.prompts().first();
        QCOMPARE(prompt.title, QStringLiteral("Vexal Pro"));
        QCOMPARE(prompt.icon, MessageIcon::Information);
        QVERIFY(
            prompt.text.startsWith(QStringLiteral("The mentioned components should be present in the /usr/ folder")));

        // The two site links open the main and the alternative program page.
        QTest::mouseClick(s.form.lblMainsite, Qt::LeftButton);
        QTest::mouseClick(s.form.lblMirror1, Qt::LeftButton);
        QCOMPARE(t.shell.calls.size(), 2);
        QCOMPARE(t.shell.calls.at(0).target, modMain::programPageAddress(true));
        QCOMPARE(t.shell.calls.at(1).target, modMain::programPageAddress(false));
    }

    void ignoreOrExitOnTheComponentPage()
    {
        TestServices t;
        Started s(t, t.environment(), QStringLiteral("LIBSSL.SO.3"));
        QVERIFY(state().ComponentsMissing);
        QTest::mouseClick(s.form.cmdIgnore, Qt::LeftButton);
        QVERIFY(!s.form.isVisible() && s.form.mainWindow() && s.form.mainWindow()->isVisible());
        QVERIFY(!state().ComponentsMissing);

        // Exit instead ends the program at once.
        TestServices u;
        Started other(u, u.environment(), QStringLiteral("LIBSSL.SO.3"));
        QTest::mouseClick(other.form.cmdExit, Qt::LeftButton);
        QCOMPARE(u.endProgramCalls, 1);
        QVERIFY(!other.form.mainWindow());
    }

    void networkFolderIsRefusedInTheStoredLanguage_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<bool>("networkFileSystem");
        QTest::newRow("double slash") << QStringLiteral("//fileserver/games/vexalpro/") << false;
        QTest::newRow("mounted share") << QStringLiteral("/mnt/nfs/vexalpro/") << true;
    }

    void networkFolderIsRefusedInTheStoredLanguage()
    {
        QFETCH(QString, programFolder);
        QFETCH(bool, networkFileSystem);
        TestServices t;
        t.presetSettings({{QStringLiteral("Language"), QStringLiteral("SPANISH")}});
        StartupEnvironment env = t.environment();
        env.programFolder = programFolder;
        env.onNetworkFileSystem = networkFileSystem;
        Started s(t, env);
        QCOMPARE(s.outcome, frmComponents::Outcome::RefusedNetworkFolder);
        QCOMPARE(t.endProgramCalls, 1);
        QVERIFY(!s.form.mainWindow() && !s.form.isVisible());
        QCOMPARE(t.dialogs.prompts().size(), 1);
        const auto prompt = t.dialogs.prompts().first();
        QCOMPARE(prompt.icon, MessageIcon::Critical);
        QCOMPARE(prompt.title, QStringLiteral("Vexal Pro"));
        QCOMPARE(prompt.text, text(1129));
        QVERIFY(prompt.text != text(129));
    }

    void languageFromStoreOrLocaleCharsetFromCodePage_data()
    {
        QTest::addColumn<QString>("stored"); // empty: none stored
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("index"); // of the texts and the language box's row
        QTest::newRow("locale") << QString() << QStringLiteral("SPANISH") << QStringLiteral("SPANISH") << 1;
        QTest::newRow("locale without texts")
            << QString() << QStringLiteral("GERMAN") << QStringLiteral("ENGLISH") << 0;
        QTest::newRow("stored wins") << QStringLiteral("HUNGARIAN") << QStringLiteral("SPANISH")
                                     << QStringLiteral("HUNGARIAN") << 3;
        // Contained in a row's name is enough; the last row that contains it wins.
        QTest::newRow("contained, last row wins")
            << QStringLiteral("ISH") << QStringLiteral("SPANISH") << QStringLiteral("ISH") << 7;
        QTest::newRow("in no row: English texts")
            << QStringLiteral("KLINGON") << QStringLiteral("SPANISH") << QStringLiteral("KLINGON") << 0;
    }

    void languageFromStoreOrLocaleCharsetFromCodePage()
    {
        QFETCH(QString, stored);
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QFETCH(int, index);
        TestServices t;
        if (!stored.isEmpty())
            t.presetSettings({{QStringLiteral("Language"), stored}});
        StartupEnvironment env = t.environment(locale);
        env.ansiCodePage = QStringLiteral("1250");
        Started s(t, env);
        QCOMPARE(state().LanguageName, language);
        QCOMPARE(state().LanguageIndex, index);
        QCOMPARE(state().UiText[5], text(index * 1000 + 5));
        auto &c = s.form.mainWindow()->controls();
        QCOMPARE(c.mnuFile->title(), text(index * 1000 + 1));
        QCOMPARE(c.cboLanguage->currentIndex(), index);
        QCOMPARE(c.imgFlag->property("iconNumber").toInt(), index + 2);
        // Central European, whatever the language.
        QCOMPARE(state().FontCharset, 238);
        QCOMPARE(c.cmdOpen->property("FontCharset").toInt(), 238);
        QCOMPARE(c.lblCap[19]->property("FontCharset").toInt(), 238);
    }

    // The table a Windows version record maps to; the platform layer feeds it what it knows.
    void windowsVersionTable_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("platform");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("win2000OrXp");
        const struct {
            int major, minor, platform;
            const char *name;
            bool win2000OrXp;
        } rows[] = {{4, 0, 1, "Windows 95", false}, {4, 10, 1, "Windows 98", false}, {4, 90, 1, "Windows ME", false},
            {3, 51, 2, "Windows NT 3.51", false}, {4, 0, 2, "Windows NT 4.0", false}, {5, 0, 2, "Windows 2000", true},
            {5, 1, 2, "Windows XP", true}, {5, 2, 2, "", false}, {6, 0, 2, "", false}};
        for (const auto &r : rows) {
            QTest::addRow("%d.%d/%d", r.major, r.minor, r.platform)
                << r.major << r.minor << r.platform << QString::fromLatin1(r.name) << r.win2000OrXp;
        }
    }
    void windowsVersionTable()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, platform);
        QFETCH(bool, win2000OrXp);
        const WindowsVersion v = detectWindowsVersion(major, minor, platform);
        QTEST(v.OSName, "name");
        QCOMPARE(v.IsWin2000OrXP, win2000OrXp);
        QCOMPARE(v.ShellPrefix, win2000OrXp ? QStringLiteral("cmd.exe /c ") : QStringLiteral("command.com /c "));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
