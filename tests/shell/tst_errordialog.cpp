// The error report: its exact text, its two modes, Send Report, Restart and Ignore.
#include "testsupport.h"

#include "common/errortrap.h"
#include "shell/frmcomponents.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using modMain::state;

namespace {
// Reports error `number` at `tag` through the program's dialog, on which `script` acts meanwhile.
void reportError(
    StartedProgram &p, TestServices &t, int number, const QString &tag, const std::function<void(frmError &)> &script)
{
    t.dialogs.queueForm([script](QDialog &form) { script(static_cast<frmError &>(form)); });
    ErrorTrap trap(&p.startup().errorReporter());
    trap.raise(RuntimeError::of(number));
    trap.report(tag);
}
} // namespace

class ErrorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void reportShowsTheLaterOfTwoErrorsAtTheWindowOpacity()
    {
        TestServices t;
        t.presetSettings({{"Blend", "1"}, {"nBlend", "153"}});
        StartedProgram p(t);
        ErrorDialogReporter &reporter = p.startup().errorReporter();
        QString shownText;
        bool reportVisible = false;
        double opacity = 0;
        t.dialogs.queueForm([&](QDialog &form) {
            auto &error = static_cast<frmError &>(form);
            opacity = error.windowOpacity();
            shownText = error.txtReport->toPlainText();
            reportVisible
                = error.txtReport->isVisible() && error.cmdReport->isVisible() && error.cmdRestart->isVisible();
            QCOMPARE(error.lblTop->text(), QStringLiteral("Vexal Pro has encountered an internal error."));
            QCOMPARE(error.lblMain->text(),
                QStringLiteral("If this problem persists, try to run the Vexal Components installer."));
            QVERIFY(error.lblSecond->text().startsWith(
                QStringLiteral("Vexal Pro has created a small error report below.")));
            QCOMPARE(error.cmdIgnore->text(), QStringLiteral("Ignore"));
            QCOMPARE(error.cmdReport->text(), QStringLiteral("Send Report"));
            QCOMPARE(error.cmdRestart->text(), QStringLiteral("Restart Program"));
            error.cmdIgnore->click();
        });
        ErrorTrap trap(&reporter);
        trap.step([] { throw RuntimeError::of(errorNumber::FileNotFound); });
        trap.step([] {});
        trap.step([] { throw RuntimeError::of(errorNumber::PathNotFound); });
        trap.report(QStringLiteral("@ ReadSettings"));
        QVERIFY(!trap.hasError());
        QVERIFY(reporter.form());
        QCOMPARE(reporter.form()->report(), QStringLiteral("Error code # 76\r\nPath not found\r\n@ ReadSettings"));
        QCOMPARE(shownText, QStringLiteral("Error code # 76\nPath not found\n@ ReadSettings"));
        QVERIFY(reportVisible);
        QVERIFY(qAbs(opacity - 153 / 255.0) < 0.01);
        QVERIFY(!reporter.form()->isVisible());
        QCOMPARE(t.dialogs.prompts().size(), 1);
        QCOMPARE(t.dialogs.prompts().first().formName, QStringLiteral("frmError"));
        QCOMPARE(t.dialogs.prompts().first().title, QStringLiteral("Vexal Pro"));

        // The same dialog serves the next report.
        frmError *first = reporter.form();
        trap.raise(RuntimeError::of(errorNumber::DiskFull));
        trap.report(QStringLiteral("@ SaveSettings"));
        QCOMPARE(reporter.form(), first);
        QCOMPARE(first->report(), QStringLiteral("Error code # 61\r\nDisk full\r\n@ SaveSettings"));
    }

    void registryModeWhileTheControlPanelIsShown()
    {
        TestServices t;
        StartedProgram p(t);
        QDialog controlPanel;
        controlPanel.setObjectName(QStringLiteral("frmControlPanel"));
        controlPanel.show();
        // The mode follows the open window, not the tag.
        reportError(p, t, errorNumber::UnsupportedValueType, QStringLiteral("@ ReadSettings"), [](frmError &error) {
            QVERIFY(error.registryMode());
            QCOMPARE(error.lblTop->text(),
                QStringLiteral("Error while accessing the registry. TTD may not be correctly installed."));
            QCOMPARE(
                error.lblMain->text(), QStringLiteral("Vexal Pro will attemp to create the TTD registry entries now."));
            QVERIFY(error.lblSecond->text().startsWith(QStringLiteral("If you keep getting this error in the future")));
            QCOMPARE(error.cmdIgnore->text(), QStringLiteral("OK"));
            QVERIFY(error.cmdIgnore->isVisible());
            QVERIFY(!error.cmdReport->isVisible() && !error.cmdRestart->isVisible() && !error.txtReport->isVisible());
            error.cmdIgnore->click();
        });
        QVERIFY(p.startup().errorReporter().form()->registryMode());

        controlPanel.hide();
        reportError(p, t, errorNumber::UnsupportedValueType, QStringLiteral("@: frmControlPanel Activate"),
            [](frmError &error) {
                QVERIFY(error.txtReport->isVisible());
                error.cmdIgnore->click();
            });
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
        QCOMPARE(state().ProgramVersion, QStringLiteral("1.2.5"));
        bool enabled = true;
        const auto sendThenIgnore = [&enabled](frmError &error) {
            enabled = error.cmdReport->isEnabled();
            error.cmdReport->click();
            QVERIFY(!error.cmdReport->isEnabled());
            error.cmdIgnore->click();
        };
        reportError(p, t, errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QCOMPARE(t.shell.calls.size(), 1);
        const auto call = t.shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Open);
        // The report text is not put into the message, and there is no notice box.
        QCOMPARE(call.target,
            QStringLiteral("mailto:vexalpro@brakemoor.example?subject=vexal%201.2.5%20") + encodedName
                + QStringLiteral("%20report"));
        QCOMPARE(t.dialogs.prompts().size(), 1);

        // The next report finds the button still disabled, and clicking it mails nothing.
        reportError(p, t, errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QVERIFY(!enabled);
        QCOMPARE(t.shell.calls.size(), 1);
    }

    void restartStartsAnotherInstanceAndSavesNothing()
    {
        TestServices t;
        StartedProgram p(t);
        p.main().controls().chkTicker->setChecked(false);
        reportError(p, t, errorNumber::DeviceIoError, QStringLiteral("@ ReadSettings"),
            [](frmError &error) { error.cmdRestart->click(); });
        QCOMPARE(t.endProgramCalls, 1);
        QCOMPARE(t.shell.calls.size(), 1);
        const auto call = t.shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
        const QString programFolder = t.environment().programFolder;
        QCOMPARE(state().AppFolder, programFolder);
        QCOMPARE(call.target, programFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(call.workingFolder, programFolder);
        QVERIFY(call.arguments.isEmpty());
        QVERIFY(!t.stored(QStringLiteral("News")).isValid() && !t.stored(QStringLiteral("Language")).isValid());
    }

    // A report raised while the options load: the program folder and the options it was started
    // with are there already.
    void restartDuringLoadStartsTheProgramWithItsOptions()
    {
        TestServices t;
        t.presetSettings({{QStringLiteral("FontSize"), QStringLiteral("99")}});
        const QStringList arguments {QStringLiteral("--settings-dir"), t.settingsFolder(), QStringLiteral("a b.cfg")};
        state().ProgramArguments = arguments;
        t.dialogs.queueForm([](QDialog &form) { static_cast<frmError &>(form).cmdRestart->click(); });
        StartedProgram p(t);
        QCOMPARE(t.endProgramCalls, 1);
        QCOMPARE(t.shell.calls.size(), 1);
        const QString programFolder = t.environment().programFolder;
        QCOMPARE(
            t.shell.calls[0].target, programFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(t.shell.calls[0].workingFolder, programFolder);
        QCOMPARE(t.shell.calls[0].arguments, arguments);
    }

    void errorDuringLoadAppearsBeforeTheMainWindow()
    {
        TestServices t;
        t.presetSettings({{QStringLiteral("FontSize"), QStringLiteral("99")}});
        bool mainVisibleDuringReport = true;
        t.dialogs.queueForm([&](QDialog &form) {
            mainVisibleDuringReport = false;
            for (QWidget *window : QApplication::topLevelWidgets())
                mainVisibleDuringReport |= window->objectName() == QLatin1String("frmMain") && window->isVisible();
            static_cast<frmError &>(form).cmdIgnore->click();
        });
        StartedProgram p(t);
        QCOMPARE(t.dialogs.prompts().size(), 1);
        QVERIFY(!mainVisibleDuringReport);
        QVERIFY(p.main().isVisible());
    }
};

QTEST_MAIN(ErrorDialogTest)
#include "tst_errordialog.moc"
