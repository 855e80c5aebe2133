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
        StartedProgram s(t);
        QCOMPARE(s.outcome, frmComponents::Outcome::MainWindowShown);
        QVERIFY(!s.startup().isVisible() && s.main().isVisible());
        QVERIFY(state().UnzipAvailable && !state().ComponentsMissing);
        QVERIFY(t.dialogs.prompts().isEmpty());
        const QString cache = t.environment().cacheFolder;
        QCOMPARE(QFile::permissions(cache), QFileDevice::Permissions(0x7700)); // the owner's alone
        QCOMPARE(t.stored(QStringLiteral("WinTempPath")), cache);
        QCOMPARE(state().TempPath, cache);
        QCOMPARE(state().NewsTmpPath, cache + QStringLiteral("news.tmp"));
    }

    // The missing one's row in dark red, the page's links, and Ignore goes on; Exit ends at once.
    void missingComponentPage()
    {
        TestServices t;
        StartedProgram s(t, {}, QStringLiteral("XDG-OPEN"));
        frmComponents &form = s.startup();
        QCOMPARE(s.outcome, frmComponents::Outcome::ComponentsMissing);
        QVERIFY(form.isVisible() && !form.mainWindow() && state().ComponentsMissing);
        const auto darkRed = [&form](const char *name) { return isDarkRed(form.findChild<QLabel *>(name)); };
        QVERIFY(darkRed("Label2(1)") && darkRed("Label3(1)") && !darkRed("Label2(0)")); // the file, its description
        QCOMPARE(form.lblProblem->text(), QStringLiteral("Essential components to run program are missing."));
        // The info link names the system folder, on a left click only.
        QTest::mouseClick(form.lblInfo, Qt::RightButton);
        QVERIFY(t.dialogs.prompts().isEmpty());
        QTest::mouseClick(form.lblInfo, Qt::LeftButton);
        QCOMPARE(t.dialogs.prompts().size(), 1);
        QVERIFY(t.dialogs.prompts().first().text.startsWith(
            QStringLiteral("The mentioned components should be present in the /usr/ folder")));
        // The two site links open the main and the alternative program page.
        QTest::mouseClick(form.lblMainsite, Qt::LeftButton);
        QTest::mouseClick(form.lblMirror1, Qt::LeftButton);
        QCOMPARE(t.shell.calls.size(), 2);
        QCOMPARE(t.shell.calls.at(0).target, modMain::programPageAddress(true));
        QCOMPARE(t.shell.calls.at(1).target, modMain::programPageAddress(false));
        QTest::mouseClick(form.cmdIgnore, Qt::LeftButton);
        QVERIFY(!form.isVisible() && form.mainWindow() && form.mainWindow()->isVisible());
        QVERIFY(!state().ComponentsMissing);

        TestServices u;
        StartedProgram other(u, {}, QStringLiteral("LIBSSL.SO.3"));
        QTest::mouseClick(other.startup().cmdExit, Qt::LeftButton);
        QCOMPARE(u.endProgramCalls, 1);
        QVERIFY(!other.startup().mainWindow());
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
        TestServices t;
        t.presetSettings({{QStringLiteral("Language"), QStringLiteral("SPANISH")}});
        StartupEnvironment env = t.environment();
        QFETCH(QString, programFolder);
        env.programFolder = programFolder;
        QFETCH(bool, networkFileSystem);
        env.onNetworkFileSystem = networkFileSystem;
        StartedProgram s(t, env);
        QCOMPARE(s.outcome, frmComponents::Outcome::RefusedNetworkFolder);
        QCOMPARE(t.endProgramCalls, 1);
        QVERIFY(!s.startup().mainWindow() && !s.startup().isVisible());
        QCOMPARE(t.dialogs.prompts().size(), 1);
        QCOMPARE(t.dialogs.prompts().first().icon, MessageIcon::Critical);
        QCOMPARE(t.dialogs.prompts().first().text, text(1129)); // Spanish
    }

    // The stored language wins over the locale's (the choice among the rows is the language
    // table's); the character set follows the code page, whatever the language.
    void storedLanguageAndTheCodePagesCharacterSet()
    {
        TestServices t;
        t.presetSettings({{QStringLiteral("Language"), QStringLiteral("HUNGARIAN")}});
        StartupEnvironment env = t.environment(QStringLiteral("SPANISH"));
        env.ansiCodePage = QStringLiteral("1250");
        StartedProgram s(t, env);
        QCOMPARE(state().LanguageName, QStringLiteral("HUNGARIAN"));
        QCOMPARE(state().UiText[5], text(3005));
        auto &c = s.startup().mainWindow()->controls();
        QCOMPARE(c.mnuFile->title(), text(3001));
        QCOMPARE(c.cboLanguage->currentIndex(), 3);
        QCOMPARE(c.imgFlag->property("iconNumber").toInt(), 5);
        QCOMPARE(state().FontCharset, 238);
        QCOMPARE(c.cmdOpen->property("FontCharset").toInt(), 238);
        QCOMPARE(c.lblCap[19]->property("FontCharset").toInt(), 238);
    }

    // One form serves every report, at the window's opacity; its mode follows the open window
    // (the control panel's registry trouble), not the tag.
    void reportOpacityAndModes()
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
        frmError *form = p.startup().errorReporter().form();
        QCOMPARE(shownText, QStringLiteral("Error code # 76\nPath not found\n@ ReadSettings"));
        QVERIFY(visible && !form->isVisible());
        QVERIFY(qAbs(opacity - 153 / 255.0) < 0.01);
        QCOMPARE(titlesOf(t.dialogs.prompts()), QStringList {"frmError"});
        QCOMPARE(t.dialogs.prompts().first().title, QStringLiteral("Vexal Pro"));

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
        QVERIFY(form->registryMode());
        controlPanel.hide();
        reportError(p, t, errorNumber::DiskFull, QStringLiteral("@: frmControlPanel Activate"), [&](frmError &error) {
            visible = reportShown(error);
            error.cmdIgnore->click();
        });
        QCOMPARE(p.startup().errorReporter().form(), form);
        QVERIFY(visible && !form->registryMode());
        QCOMPARE(form->report(), QStringLiteral("Error code # 61\r\nDisk full\r\n@: frmControlPanel Activate"));
    }

    void sendReportMailsTheMakerOnceThenStaysDisabled()
    {
        TestServices t;
        StartedProgram p(t);
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
            "mailto:vexalpro@brakemoor.example?subject=vexal%20" + state().ProgramVersion
                + "%20Debian%20GNU/Linux%2012%20(bookworm)%20report");
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
        const auto restart = [&mainVisible](frmError &form) {
            mainVisible = false;
            for (QWidget *window : QApplication::topLevelWidgets())
                mainVisible |= window->objectName() == QLatin1String("frmMain") && window->isVisible();
            form.cmdRestart->click();
        };
        if (duringLoad) {
            t.presetSettings({{QStringLiteral("FontSize"), QStringLiteral("99")}});
            t.dialogs.queueForm([&restart](QDialog &form) { restart(static_cast<frmError &>(form)); });
        }
        StartedProgram p(t);
        if (!duringLoad)
            reportError(p, t, errorNumber::DeviceIoError, QStringLiteral("@ ReadSettings"), restart);
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
