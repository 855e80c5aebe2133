// The error report: its exact text, its two modes, Send Report, Restart and Ignore.
#include "testsupport.h"

#include "common/errortrap.h"
#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using modMain::state;

class ErrorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QApplication::setQuitOnLastWindowClosed(false); }

    void reportShowsTheLaterOfTwoErrors();
    void registryModeWhileTheControlPanelIsShown();
    void sendReportMailsTheMakerOnceThenStaysDisabled_data();
    void sendReportMailsTheMakerOnceThenStaysDisabled();
    void restartStartsAnotherInstanceAndSavesNothing();
    void errorDuringLoadAppearsBeforeTheMainWindow();
    void dialogTakesTheWindowOpacity();
    void mailNoticeComesFirstWhenAsked();
};

namespace {
void click(QDialog &form, const char *button)
{
    QTest::mouseClick(form.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

void failTwice(ErrorTrap &trap)
{
    trap.step([] { throw RuntimeError::of(errorNumber::FileNotFound); });
    trap.step([] {});
    trap.step([] { throw RuntimeError::of(errorNumber::PathNotFound); });
    trap.report(QStringLiteral("@ ReadSettings"));
}
} // namespace

void ErrorDialogTest::reportShowsTheLaterOfTwoErrors()
{
    TestServices t;
    StartedProgram p(t);
    ErrorDialogReporter &reporter = p.startup().errorReporter();
    QString shownText;
    bool reportVisible = false;
    t.dialogs.queueForm([&](QDialog &form) {
        auto &error = static_cast<frmError &>(form);
        shownText = error.txtReport->toPlainText();
        reportVisible = error.txtReport->isVisible() && error.cmdReport->isVisible() && error.cmdRestart->isVisible();
        QCOMPARE(error.lblTop->text(), QStringLiteral("Vexal Pro has encountered an internal error."));
        QCOMPARE(error.lblMain->text(),
            QStringLiteral("If this problem persists, try to run the Vexal Components installer."));
        QVERIFY(
            error.lblSecond->text().startsWith(QStringLiteral("Vexal Pro has created a small error report below.")));
        QCOMPARE(error.cmdIgnore->text(), QStringLiteral("Ignore"));
        QCOMPARE(error.cmdReport->text(), QStringLiteral("Send Report"));
        QCOMPARE(error.cmdRestart->text(), QStringLiteral("Restart Program"));
        click(form, "cmdIgnore");
    });
    ErrorTrap trap(&reporter);
    failTwice(trap);
    QVERIFY(!trap.hasError());
    QVERIFY(reporter.form());
    QCOMPARE(reporter.form()->report(), QStringLiteral("Error code # 76\r\nPath not found\r\n@ ReadSettings"));
    QCOMPARE(shownText, QStringLiteral("Error code # 76\nPath not found\n@ ReadSettings"));
    QVERIFY(reportVisible);
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

void ErrorDialogTest::registryModeWhileTheControlPanelIsShown()
{
    TestServices t;
    StartedProgram p(t);
    ErrorDialogReporter &reporter = p.startup().errorReporter();
    QDialog controlPanel;
    controlPanel.setObjectName(QStringLiteral("frmControlPanel"));
    controlPanel.show();

    t.dialogs.queueForm([](QDialog &form) {
        auto &error = static_cast<frmError &>(form);
        QVERIFY(error.registryMode());
        QCOMPARE(error.lblTop->text(),
            QStringLiteral("Error while accessing the registry. TTD may not be correctly installed."));
        QCOMPARE(
            error.lblMain->text(), QStringLiteral("Vexal Pro will attemp to create the TTD registry entries now."));
        QVERIFY(error.lblSecond->text().startsWith(QStringLiteral("If you keep getting this error in the future")));
        QCOMPARE(error.cmdIgnore->text(), QStringLiteral("OK"));
        QVERIFY(error.cmdIgnore->isVisible());
        QVERIFY(!error.cmdReport->isVisible());
        QVERIFY(!error.cmdRestart->isVisible());
        QVERIFY(!error.txtReport->isVisible());
        click(form, "cmdIgnore");
    });
    ErrorTrap trap(&reporter);
    trap.raise(RuntimeError::of(errorNumber::UnsupportedValueType));
    trap.report(QStringLiteral("@ ReadSettings")); // the mode follows the open window, not the tag
    QVERIFY(reporter.form()->registryMode());

    controlPanel.hide();
    t.dialogs.queueForm([](QDialog &form) {
        QVERIFY(!static_cast<frmError &>(form).registryMode());
        QVERIFY(static_cast<frmError &>(form).txtReport->isVisible());
        click(form, "cmdIgnore");
    });
    trap.raise(RuntimeError::of(errorNumber::UnsupportedValueType));
    trap.report(QStringLiteral("@: frmControlPanel Activate"));
    QVERIFY(!reporter.form()->registryMode());
}

void ErrorDialogTest::sendReportMailsTheMakerOnceThenStaysDisabled_data()
{
    QTest::addColumn<QString>("osName");
    QTest::addColumn<QString>("subject");
    QTest::newRow("distribution") << QStringLiteral("Debian GNU/Linux 12 (bookworm)")
                                  << QStringLiteral(
                                         "subject=vexal%201.0.0%20Debian%20GNU/Linux%2012%20(bookworm)%20report");
    QTest::newRow("no name: two blanks") << QString() << QStringLiteral("subject=vexal%201.0.0%20%20report");
}

void ErrorDialogTest::sendReportMailsTheMakerOnceThenStaysDisabled()
{
    QFETCH(QString, osName);
    QFETCH(QString, subject);
    TestServices t;
    StartupEnvironment env = t.environment();
    env.osName = osName;
    StartedProgram p(t, env);
    QCOMPARE(state().ProgramVersion, QStringLiteral("1.0.0"));
    ErrorDialogReporter &reporter = p.startup().errorReporter();
    t.dialogs.queueForm([](QDialog &form) {
        click(form, "cmdReport");
        QVERIFY(!static_cast<frmError &>(form).cmdReport->isEnabled());
        click(form, "cmdIgnore");
    });
    ErrorTrap trap(&reporter);
    trap.raise(RuntimeError::of(errorNumber::PermissionDenied));
    trap.report(QStringLiteral("@ SaveSettings"));

    QCOMPARE(t.shell.calls.size(), 1);
    const auto call = t.shell.calls.first();
    QCOMPARE(call.kind, RecordingShell::Call::Kind::Open);
    QVERIFY(call.target.startsWith(QStringLiteral("mailto:")));
    QVERIFY2(call.target.endsWith(QStringLiteral("?") + subject), qPrintable(call.target));
    // The report text is not put into the message, and there is no notice box.
    QVERIFY(!call.target.contains(QStringLiteral("Permission")));
    QCOMPARE(t.dialogs.prompts().size(), 1);

    bool enabledLater = true;
    t.dialogs.queueForm([&enabledLater](QDialog &form) {
        enabledLater = static_cast<frmError &>(form).cmdReport->isEnabled();
        click(form, "cmdIgnore");
    });
    trap.raise(RuntimeError::of(errorNumber::PermissionDenied));
    trap.report(QStringLiteral("@ SaveSettings"));
    QVERIFY(!enabledLater);
}

void ErrorDialogTest::restartStartsAnotherInstanceAndSavesNothing()
{
    TestServices t;
    StartedProgram p(t);
    p.main().controls().chkTicker->setChecked(false);
    t.dialogs.queueForm([](QDialog &form) { click(form, "cmdRestart"); });
    ErrorTrap trap(&p.startup().errorReporter());
    trap.raise(RuntimeError::of(errorNumber::DeviceIoError));
    trap.report(QStringLiteral("@ ReadSettings"));

    QCOMPARE(t.endProgramCalls, 1);
    QCOMPARE(t.shell.calls.size(), 1);
    const auto call = t.shell.calls.first();
    QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
    const QString programFolder = t.environment().programFolder;
    QCOMPARE(state().AppFolder, programFolder);
    QCOMPARE(call.target, programFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    QCOMPARE(call.workingFolder, programFolder);
    QVERIFY(call.arguments.isEmpty());
    QSettings file(t.settingsFile(), QSettings::IniFormat);
    QVERIFY(!file.contains(QStringLiteral("VexalP/News")));
    QVERIFY(!file.contains(QStringLiteral("VexalP/Language")));
}

void ErrorDialogTest::errorDuringLoadAppearsBeforeTheMainWindow()
{
    TestServices t;
    t.presetSettings({{QStringLiteral("VexalServer"), QStringLiteral("5")}});
    bool mainVisibleDuringReport = true;
    t.dialogs.queueForm([&](QDialog &form) {
        mainVisibleDuringReport = false;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("frmMain") && window->isVisible())
                mainVisibleDuringReport = true;
        }
        click(form, "cmdIgnore");
    });
    StartedProgram p(t);
    QCOMPARE(t.dialogs.prompts().size(), 1);
    QVERIFY(!mainVisibleDuringReport);
    QVERIFY(p.main().isVisible());
}

void ErrorDialogTest::dialogTakesTheWindowOpacity()
{
    TestServices t;
    t.presetSettings(
        {{QStringLiteral("Blend"), QStringLiteral("1")}, {QStringLiteral("nBlend"), QStringLiteral("153")}});
    StartedProgram p(t);
    double opacity = 0;
    t.dialogs.queueForm([&opacity](QDialog &form) {
        opacity = form.windowOpacity();
        click(form, "cmdIgnore");
    });
    ErrorTrap trap(&p.startup().errorReporter());
    trap.raise(RuntimeError::of(errorNumber::Overflow));
    trap.report(QStringLiteral("@ frmMain Load"));
    QVERIFY(qAbs(opacity - 153 / 255.0) < 0.01);
}

void ErrorDialogTest::mailNoticeComesFirstWhenAsked()
{
    TestServices t;
    const QString notice = StringResources::builtIn().string(501).value();
    modMain::mailReport(*t.services, nullptr, QStringLiteral("Vexal Pro 1.0.0"), notice);
    QCOMPARE(t.dialogs.prompts().size(), 1);
    QCOMPARE(t.dialogs.prompts().first().title, QStringLiteral("Email Notice"));
    QCOMPARE(t.dialogs.prompts().first().text, notice);
    QCOMPARE(t.dialogs.prompts().first().icon, MessageIcon::Information);
    QCOMPARE(t.shell.calls.size(), 1);
    QVERIFY(t.shell.calls.first().target.endsWith(QStringLiteral("?subject=Vexal%20Pro%201.0.0")));
}

QTEST_MAIN(ErrorDialogTest)
#include "tst_errordialog.moc"
