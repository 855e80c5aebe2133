// Start-up: the component check, the language chosen at start, the refusal of network folders.
#include "testsupport.h"

#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

using modMain::state;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QApplication::setQuitOnLastWindowClosed(false); }

    void allComponentsPresentOpensMainWindowDirectly();
    void missingComponentShowsPageInDarkRed();
    void ignoreOnTheComponentPageOpensMainWindow();
    void infoLinkNamesTheSystemFolder();
    void siteLinksOpenTheProgramPage();
    void networkFolderIsRefusedInTheStoredLanguage_data();
    void networkFolderIsRefusedInTheStoredLanguage();
    void cacheFolderIsCreatedPrivateAndRecorded();
    void defaultLanguageComesFromTheLocale_data();
    void defaultLanguageComesFromTheLocale();
    void storedLanguageWinsOverLocale_data();
    void storedLanguageWinsOverLocale();
    void characterSetFollowsTheCodePageNotTheLanguage();
    void windowsVersionTable_data();
    void windowsVersionTable();
};

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
} // namespace

void StartupTest::allComponentsPresentOpensMainWindowDirectly()
{
    TestServices t;
    Started s(t, t.environment());
    QCOMPARE(s.outcome, frmComponents::Outcome::MainWindowShown);
    QVERIFY(!s.form.isVisible());
    QVERIFY(s.form.mainWindow());
    QVERIFY(s.form.mainWindow()->isVisible());
    QVERIFY(state().UnzipAvailable);
    QVERIFY(!state().ComponentsMissing);
    QVERIFY(t.dialogs.prompts().isEmpty());
}

void StartupTest::missingComponentShowsPageInDarkRed()
{
    TestServices t;
    Started s(t, t.environment(), QStringLiteral("XDG-OPEN"));
    QCOMPARE(s.outcome, frmComponents::Outcome::ComponentsMissing);
    QVERIFY(s.form.isVisible());
    QVERIFY(!s.form.mainWindow());
    auto *file = s.form.findChild<QLabel *>(QStringLiteral("Label2(1)"));
    auto *description = s.form.findChild<QLabel *>(QStringLiteral("Label3(1)"));
    QVERIFY(file && description);
    QVERIFY(isDarkRed(file));
    QVERIFY(isDarkRed(description));
    QVERIFY(!isDarkRed(s.form.findChild<QLabel *>(QStringLiteral("Label2(0)"))));
    // The page speaks the interface language.
    QCOMPARE(s.form.lblProblem->text(), QStringLiteral("Essential components to run program are missing."));
    QCOMPARE(s.form.lblMainsite->text(), QStringLiteral("Vexal Pro website (Main)"));
    QCOMPARE(s.form.lblMirror1->text(), QStringLiteral("Vexal Pro website (Alternative)"));
    QCOMPARE(s.form.cmdIgnore->text(), QStringLiteral("Ignore"));
    QCOMPARE(s.form.cmdExit->text(), QStringLiteral("Exit"));
}

void StartupTest::ignoreOnTheComponentPageOpensMainWindow()
{
    TestServices t;
    Started s(t, t.environment(), QStringLiteral("LIBSSL.SO.3"));
    QVERIFY(state().ComponentsMissing);
    QTest::mouseClick(s.form.cmdIgnore, Qt::LeftButton);
    QVERIFY(!s.form.isVisible());
    QVERIFY(s.form.mainWindow() && s.form.mainWindow()->isVisible());
    QVERIFY(!state().ComponentsMissing);

    // Exit instead ends the program at once, and nothing of the options is written.
    TestServices u;
    Started other(u, u.environment(), QStringLiteral("LIBSSL.SO.3"));
    QTest::mouseClick(other.form.cmdExit, Qt::LeftButton);
    QCOMPARE(u.endProgramCalls, 1);
    QVERIFY(!other.form.mainWindow());
}

void StartupTest::infoLinkNamesTheSystemFolder()
{
    TestServices t;
    Started s(t, t.environment(), QStringLiteral("XDG-OPEN"));
    QTest::mouseClick(s.form.lblInfo, Qt::RightButton);
    QVERIFY(t.dialogs.prompts().isEmpty());
    QTest::mouseClick(s.form.lblInfo, Qt::LeftButton);
    QCOMPARE(t.dialogs.prompts().size(), 1);
    const auto prompt = t.dialogs.prompts().first();
    QCOMPARE(prompt.title, QStringLiteral("Vexal Pro"));
    QCOMPARE(prompt.icon, MessageIcon::Information);
    QVERIFY(prompt.text.startsWith(QStringLiteral("The mentioned components should be present in the /usr/ folder")));
}

void StartupTest::siteLinksOpenTheProgramPage()
{
    TestServices t;
    Started s(t, t.environment(), QStringLiteral("XDG-OPEN"));
    QTest::mouseClick(s.form.lblMainsite, Qt::LeftButton);
    QTest::mouseClick(s.form.lblMirror1, Qt::LeftButton);
    QCOMPARE(t.shell.calls.size(), 2);
    QCOMPARE(t.shell.calls.at(0).target, modMain::programPageAddress(true));
    QCOMPARE(t.shell.calls.at(1).target, modMain::programPageAddress(false));
    QVERIFY(t.shell.calls.at(0).target != t.shell.calls.at(1).target);
}

void StartupTest::networkFolderIsRefusedInTheStoredLanguage_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<bool>("networkFileSystem");
    QTest::newRow("double slash") << QStringLiteral("//fileserver/games/vexalpro/") << false;
    QTest::newRow("mounted share") << QStringLiteral("/mnt/nfs/vexalpro/") << true;
}

void StartupTest::networkFolderIsRefusedInTheStoredLanguage()
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
    QVERIFY(!s.form.mainWindow());
    QVERIFY(!s.form.isVisible());
    QCOMPARE(t.dialogs.prompts().size(), 1);
    const auto prompt = t.dialogs.prompts().first();
    QCOMPARE(prompt.icon, MessageIcon::Critical);
    QCOMPARE(prompt.title, QStringLiteral("Vexal Pro"));
    QCOMPARE(prompt.text, StringResources::builtIn().string(1129).value());
    QVERIFY(prompt.text != StringResources::builtIn().string(129).value());
}

void StartupTest::cacheFolderIsCreatedPrivateAndRecorded()
{
    TestServices t;
    Started s(t, t.environment());
    const QString cache = t.environment().cacheFolder;
    QVERIFY(QFileInfo(cache).isDir());
    struct stat info { };
    QCOMPARE(::stat(QFile::encodeName(cache).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
    QSettings file(t.settingsFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("VexalP/WinTempPath")).toString(), cache);
    QCOMPARE(state().TempPath, cache);
    QCOMPARE(state().NewsTmpPath, cache + QStringLiteral("news.tmp"));
}

void StartupTest::defaultLanguageComesFromTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("menuCaption");
    QTest::newRow("spanish") << QStringLiteral("SPANISH") << QStringLiteral("SPANISH") << 1
                             << StringResources::builtIn().string(1001).value();
    QTest::newRow("swedish") << QStringLiteral("SWEDISH") << QStringLiteral("SWEDISH") << 7
                             << StringResources::builtIn().string(7001).value();
    QTest::newRow("german") << QStringLiteral("GERMAN") << QStringLiteral("ENGLISH") << 0 << QStringLiteral("&File");
}

void StartupTest::defaultLanguageComesFromTheLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, language);
    QFETCH(int, index);
    QFETCH(QString, menuCaption);
    TestServices t;
    Started s(t, t.environment(locale));
    QCOMPARE(state().LanguageName, language);
    QCOMPARE(state().LanguageIndex, index);
    auto &c = s.form.mainWindow()->controls();
    QCOMPARE(c.mnuFile->title(), menuCaption);
    QCOMPARE(c.cboLanguage->currentIndex(), index);
    QCOMPARE(c.imgFlag->property("iconNumber").toInt(), index + 2);
}

void StartupTest::storedLanguageWinsOverLocale_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("index");
    QTest::newRow("exact") << QStringLiteral("HUNGARIAN") << QStringLiteral("HUNGARIAN") << 3;
    // Contained in a row's name is enough; the last row that contains it wins.
    QTest::newRow("contained, last row wins") << QStringLiteral("ISH") << QStringLiteral("ISH") << 7;
    QTest::newRow("in no row: English texts") << QStringLiteral("KLINGON") << QStringLiteral("KLINGON") << 0;
}

void StartupTest::storedLanguageWinsOverLocale()
{
    QFETCH(QString, stored);
    QFETCH(QString, language);
    QFETCH(int, index);
    TestServices t;
    t.presetSettings({{QStringLiteral("Language"), stored}});
    Started s(t, t.environment(QStringLiteral("SPANISH")));
    QCOMPARE(state().LanguageName, language);
    QCOMPARE(state().LanguageIndex, index);
    const QString expected = language == QLatin1String("KLINGON")
        ? QStringLiteral("Exit")
        : StringResources::builtIn().string(index * 1000 + 5).value();
    QCOMPARE(state().UiText[5], expected);
}

void StartupTest::characterSetFollowsTheCodePageNotTheLanguage()
{
    TestServices t;
    StartupEnvironment env = t.environment(QStringLiteral("SPANISH"));
    env.ansiCodePage = QStringLiteral("1250");
    Started s(t, env);
    QCOMPARE(state().FontCharset, 238);
    auto &c = s.form.mainWindow()->controls();
    QCOMPARE(c.cmdOpen->property("FontCharset").toInt(), 238);
    QCOMPARE(c.lblCap[19]->property("FontCharset").toInt(), 238);
}

void StartupTest::windowsVersionTable_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("platform");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("win2000OrXp");
    QTest::newRow("95") << 4 << 0 << 1 << QStringLiteral("Windows 95") << false;
    QTest::newRow("98") << 4 << 10 << 1 << QStringLiteral("Windows 98") << false;
    QTest::newRow("ME") << 4 << 90 << 1 << QStringLiteral("Windows ME") << false;
    QTest::newRow("NT 3.51") << 3 << 51 << 2 << QStringLiteral("Windows NT 3.51") << false;
    QTest::newRow("NT 4") << 4 << 0 << 2 << QStringLiteral("Windows NT 4.0") << false;
    QTest::newRow("2000") << 5 << 0 << 2 << QStringLiteral("Windows 2000") << true;
    QTest::newRow("XP") << 5 << 1 << 2 << QStringLiteral("Windows XP") << true;
    QTest::newRow("Server 2003") << 5 << 2 << 2 << QString() << false;
    QTest::newRow("Vista") << 6 << 0 << 2 << QString() << false;
}

void StartupTest::windowsVersionTable()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, platform);
    QFETCH(QString, name);
    QFETCH(bool, win2000OrXp);
    const WindowsVersion v = detectWindowsVersion(major, minor, platform);
    QCOMPARE(v.OSName, name);
    QCOMPARE(v.IsWin2000OrXP, win2000OrXp);
    QCOMPARE(v.ShellPrefix, win2000OrXp ? QStringLiteral("cmd.exe /c ") : QStringLiteral("command.com /c "));
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
