// Start-up: the component check, the language chosen at start, the refusal of network folders;
// the error report: its text, its two modes, Send Report, Restart and Ignore.
#include "testsupport.h"

#include "common/errortrap.h"
#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"
#include "shell/startup.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

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
// Reports error `number` at `tag` through the program's dialog, on which `script` acts meanwhile.
void reportError(
    StartedProgram &p, TestServices &t, int number, const QString &tag, const std::function<void(frmError &)> &script)
{
    t.dialogs.queueForm([script](QDialog &form) { script(static_cast<frmError &>(form)); });
    ErrorTrap trap(&p.startup().errorReporter());
    trap.raise(RuntimeError::of(number));
    trap.report(tag);
}
bool reportShown(const frmError &error)
{
    return error.txtReport->isVisible() && error.cmdReport->isVisible() && error.cmdRestart->isVisible();
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
        QVERIFY(!s.form.isVisible() && s.form.mainWindow() && s.form.mainWindow()->isVisible());
        QVERIFY(state().UnzipAvailable && !state().ComponentsMissing);
        QVERIFY(t.dialogs.prompts().isEmpty());
        const QString cache = t.environment().cacheFolder;
        QCOMPARE(QFile::permissions(cache), QFileDevice::Permissions(0x7700)); // the owner's alone
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

        // The info link names the system folder, on a left click only.
        QTest::mouseClick(s.form.lblInfo, Qt::RightButton);
        QVERIFY(t.dialogs.prompts().isEmpty());
        QTest::mouseClick(s.form.lblInfo, Qt::LeftButton);
        QCOMPARE(t.dialogs.prompts().size(), 1);
        QVERIFY(t.dialogs.prompts().first().text.startsWith(
            QStringLiteral("The mentioned components should be present in the /usr/ folder")));

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
        QCOMPARE(t.dialogs.prompts().first().icon, MessageIcon::Critical);
        QCOMPARE(t.dialogs.prompts().first().text, text(1129)); // Spanish
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

    void reportShowsAtTheWindowOpacityAndServesTheNextReport()
    {
        TestServices t;
        t.presetSettings({{"Blend", "1"}, {"nBlend", "153"}});
        StartedProgram p(t);
        QString shownText;
        bool visible = false;
        double opacity = 0;
        reportError(p, t, errorNumber::PathNotFound, QStringLiteral("@ ReadSettings"), [&](frmError &error) {
            opacity = error.windowOpacity();
            shownText = error.txtReport->toPlainText();
            visible = reportShown(error) && error.cmdIgnore->text() == QLatin1String("Ignore");
            error.cmdIgnore->click();
        });
        ErrorDialogReporter &reporter = p.startup().errorReporter();
        QCOMPARE(shownText, QStringLiteral("Error code # 76\nPath not found\n@ ReadSettings"));
        QVERIFY(visible);
        QVERIFY(qAbs(opacity - 153 / 255.0) < 0.01);
        QVERIFY(!reporter.form()->isVisible());
        QCOMPARE(titlesOf(t.dialogs.prompts()), QStringList {"frmError"});
        QCOMPARE(t.dialogs.prompts().first().title, QStringLiteral("Vexal Pro"));
        frmError *first = reporter.form();
        reportError(
            p, t, errorNumber::DiskFull, QStringLiteral("@ SaveSettings"), [](frmError &e) { e.cmdIgnore->click(); });
        QCOMPARE(reporter.form(), first);
        QCOMPARE(first->report(), QStringLiteral("Error code # 61\r\nDisk full\r\n@ SaveSettings"));
    }

    // The mode follows the open window, not the tag.
    void registryModeWhileTheControlPanelIsShown()
    {
        TestServices t;
        StartedProgram p(t);
        QDialog controlPanel;
        controlPanel.setObjectName(QStringLiteral("frmControlPanel"));
        controlPanel.show();
        reportError(p, t, errorNumber::UnsupportedValueType, QStringLiteral("@ ReadSettings"), [](frmError &error) {
            QCOMPARE(error.lblTop->text(),
                QStringLiteral("Error while accessing the registry. TTD may not be correctly installed."));
            QCOMPARE(error.cmdIgnore->text(), QStringLiteral("OK"));
            QVERIFY(error.cmdIgnore->isVisible());
            QVERIFY(!error.cmdReport->isVisible() && !error.cmdRestart->isVisible() && !error.txtReport->isVisible());
            error.cmdIgnore->click();
        });
        QVERIFY(p.startup().errorReporter().form()->registryMode());
        controlPanel.hide();
        bool shown = false;
        reportError(p, t, errorNumber::UnsupportedValueType, QStringLiteral("@: frmControlPanel Activate"),
            [&shown](frmError &error) {
                shown = reportShown(error);
                error.cmdIgnore->click();
            });
        QVERIFY(shown);
        QVERIFY(!p.startup().errorReporter().form()->registryMode());
    }

    void sendReportMailsTheMakerOnceThenStaysDisabled_data()
    {
        QTest::addColumn<QString>("osName");
        QTest::addColumn<QString>("encodedName");
        QTest::newRow("distribution") << QStringLiteral("Debian GNU/Linux 12 (bookworm)")
                                      << QStringLiteral("Debian%20GNU/Linux%2012%20(bookworm)");
        QTest::newRow("no name: two blanks") << QString() << QString();
    }
    void sendReportMailsTheMakerOnceThenStaysDisabled()
    {
        QFETCH(QString, osName);
        QFETCH(QString, encodedName);
        TestServices t;
        StartupEnvironment env = t.environment();
        env.osName = osName;
        StartedProgram p(t, env);
        bool enabled = true;
        const auto sendThenIgnore = [&enabled](frmError &error) {
            enabled = error.cmdReport->isEnabled();
            error.cmdReport->click();
            QVERIFY(!error.cmdReport->isEnabled());
            error.cmdIgnore->click();
        };
        reportError(p, t, errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QCOMPARE(t.shell.calls.size(), 1);
        QCOMPARE(t.shell.calls.first().kind, RecordingShell::Call::Kind::Open);
        // The report text is not put into the message, and there is no notice box.
        QCOMPARE(t.shell.calls.first().target,
            "mailto:vexalpro@brakemoor.example?subject=vexal%20" + state().ProgramVersion + "%20" + encodedName
                + "%20report");
        QCOMPARE(t.dialogs.prompts().size(), 1);
        // The next report finds the button still disabled, and clicking it mails nothing.
        reportError(p, t, errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QVERIFY(!enabled);
        QCOMPARE(t.shell.calls.size(), 1);
    }

    // Restart starts the program again with the options it was started with, and saves nothing;
    // a report raised while the options load comes before the main window.
    void restartStartsAnotherInstanceAndSavesNothing_data()
    {
        QTest::addColumn<bool>("duringLoad");
        QTest::newRow("running") << false;
        QTest::newRow("while the options load") << true;
    }
    void restartStartsAnotherInstanceAndSavesNothing()
    {
        QFETCH(bool, duringLoad);
        TestServices t;
        const QStringList arguments {QStringLiteral("--settings-dir"), t.settingsFolder(), QStringLiteral("a b.cfg")};
        state().ProgramArguments = arguments;
        bool mainVisible = true;
        const auto restart = [&mainVisible](QDialog &form) {
            mainVisible = false;
            for (QWidget *window : QApplication::topLevelWidgets())
                mainVisible |= window->objectName() == QLatin1String("frmMain") && window->isVisible();
            static_cast<frmError &>(form).cmdRestart->click();
        };
        if (duringLoad) {
            t.presetSettings({{QStringLiteral("FontSize"), QStringLiteral("99")}});
            t.dialogs.queueForm(restart);
        }
        StartedProgram p(t);
        if (!duringLoad) {
            t.dialogs.queueForm(restart);
            ErrorTrap trap(&p.startup().errorReporter());
            trap.raise(RuntimeError::of(errorNumber::DeviceIoError));
            trap.report(QStringLiteral("@ ReadSettings"));
        }
        QCOMPARE(mainVisible, !duringLoad);
        QCOMPARE(t.endProgramCalls, 1);
        QCOMPARE(t.shell.calls.size(), 1);
        const auto call = t.shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
        const QString programFolder = t.environment().programFolder;
        QCOMPARE(call.target, programFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(call.workingFolder, programFolder);
        QCOMPARE(call.arguments, arguments);
        QVERIFY(!t.stored(QStringLiteral("News")).isValid() && !t.stored(QStringLiteral("Language")).isValid());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
