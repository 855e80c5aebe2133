// The program's shell: start-up (the component check, the refusal of network folders), the error
// report (its text, its two modes, Send Report, Restart and Ignore), the main window (options in and
// out of the store, tabs, title, translucency, blocking of controls, closing, recent files, the
// live language switch, the read-me) and the About box.
#include "testsupport.h"

#include "cfg/textsearch.h"
#include "common/errortrap.h"
#include "controlpanel/frmcontrolpanel.h"
#include "info/frmabout.h"
#include "info/frmwhatsnew.h"
#include "lang/stringresources.h"
#include "launch/frmconflict.h"
#include "news/newsticker.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

#include <optional>

using modMain::state;
using namespace Qt::StringLiterals;

class MainWindowTest : public QObject {
    Q_OBJECT

    // Fresh services for every test (and every row); start() runs the program over them.
    std::optional<TestServices> t;
    std::optional<StartedProgram> program;

    frmMain &start(bool translucency = true, const QString &localeLanguage = QStringLiteral("ENGLISH"))
    {
        StartupEnvironment env = t->environment(localeLanguage);
        env.translucency = translucency;
        return program.emplace(*t, env).main();
    }
    // Closes the main window and ends the program, so that the store holds all it wrote.
    void closeProgram()
    {
        QVERIFY(program->main().close());
        program.reset();
    }
    static void send(QWidget *widget, QEvent &&event) { QApplication::sendEvent(widget, &event); }
    static QString text(int id) { return StringResources::builtIn().string(id).value_or(QString()); }
    QString stored(const QString &key) const { return t->stored(key).toString(); }
    // Reports error `number` at `tag` through the program's dialog, on which `script` acts meanwhile.
    void reportError(int number, const QString &tag, const std::function<void(frmError &)> &script)
    {
        t->dialogs.queueForm([script](QDialog &form) { script(static_cast<frmError &>(form)); });
        ErrorTrap trap(&program->startup().errorReporter());
        trap.raise(RuntimeError::of(number));
        trap.report(tag);
    }
    static bool reportShown(const frmError &error)
    {
        return error.txtReport->isVisible() && error.cmdReport->isVisible() && error.cmdRestart->isVisible();
    }
    // The controls as an empty store leaves them.
    static void verifyDefaultControls(const MainWindowControls &c)
    {
        QVERIFY(c.chkUpdatePatch->isChecked() && c.chkUpdateVexal->isChecked());
        QCOMPARE(c.cboPatchServer->currentIndex(), 0);
        QCOMPARE(c.cboFont->currentText(), QStringLiteral("Courier New"));
        QCOMPARE(c.cboSize->currentText(), QStringLiteral("10"));
        for (QCheckBox *box : {c.chkColor, c.chkAutoload, c.chkVersionget, c.chkTicker, c.chkStatusbar})
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        QVERIFY(!c.chkBlend->isChecked());
    }

private slots:
    void init() { t.emplace(); }
    void cleanup() { program.reset(); }

    // The character set follows the code page, whatever the language.
    void allComponentsPresentOpensMainWindowWithAPrivateCache()
    {
        StartupEnvironment env = t->environment();
        env.ansiCodePage = QStringLiteral("1250");
        StartedProgram &s = program.emplace(*t, env);
        QCOMPARE(s.outcome, frmComponents::Outcome::MainWindowShown);
        QVERIFY(!s.startup().isVisible() && s.main().isVisible());
        QVERIFY(state().UnzipAvailable && !state().ComponentsMissing);
        QVERIFY(t->dialogs.prompts().isEmpty());
        QCOMPARE(QFile::permissions(env.cacheFolder), QFileDevice::Permissions(0x7700)); // the owner's alone
        QCOMPARE(stored(QStringLiteral("WinTempPath")), env.cacheFolder);
        QCOMPARE(state().TempPath, env.cacheFolder);
        QCOMPARE(state().NewsTmpPath, env.cacheFolder + QStringLiteral("news.tmp"));
        QCOMPARE(s.main().controls().cmdOpen->property("FontCharset").toInt(), 238);
    }

    // The missing one's row in dark red, the page's links, and Ignore goes on, without installing
    // updates when the zip library is missing; Exit ends at once.
    void missingComponentPage()
    {
        frmComponents &form = program.emplace(*t, std::nullopt, ZipLibraryComponent).startup();
        QCOMPARE(program->outcome, frmComponents::Outcome::ComponentsMissing);
        QVERIFY(form.isVisible() && !form.mainWindow() && state().ComponentsMissing);
        const auto darkRed = [&form](const char *name) {
            return form.findChild<QLabel *>(name)->styleSheet().contains(QLatin1String("rgb(192, 0, 0)"));
        };
        QVERIFY(darkRed("Label2(0)") && darkRed("Label3(0)") && !darkRed("Label2(1)")); // the file, its description
        // The info link names the system folder.
        QTest::mouseClick(form.lblInfo, Qt::LeftButton);
        QCOMPARE(t->dialogs.prompts().size(), 1);
        QVERIFY(t->dialogs.prompts().first().text.startsWith(
            QStringLiteral("The mentioned components should be present in the /usr/ folder")));
        // The two site links open the main and the alternative program page.
        QTest::mouseClick(form.lblMainsite, Qt::LeftButton);
        QTest::mouseClick(form.lblMirror1, Qt::LeftButton);
        QCOMPARE(t->shell.calls.size(), 2);
        QCOMPARE(t->shell.calls.at(0).target, modMain::programPageAddress(true));
        QCOMPARE(t->shell.calls.at(1).target, modMain::programPageAddress(false));
        QTest::mouseClick(form.cmdIgnore, Qt::LeftButton);
        QVERIFY(!form.isVisible() && form.mainWindow() && form.mainWindow()->isVisible());
        QVERIFY(!state().ComponentsMissing && !state().UnzipAvailable);

        program.reset();
        t.emplace();
        QTest::mouseClick(
            program.emplace(*t, std::nullopt, QStringLiteral("LIBSSL.SO.3")).startup().cmdExit, Qt::LeftButton);
        QVERIFY(state().UnzipAvailable);
        QCOMPARE(t->endProgramCalls, 1);
        QVERIFY(!program->startup().mainWindow());
    }

    void networkFolderIsRefusedInTheStoredLanguage_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<bool>("networkFileSystem");
        QTest::newRow("double slash") << QStringLiteral("//fileserver/games/vexalpro/") << false;
        QTest::newRow("mounted share") << QStringLiteral("/mnt/nfs/vexalpro/") << true;
    }
    // The stored language wins over the locale's, and it is read before the folder is judged.
    void networkFolderIsRefusedInTheStoredLanguage()
    {
        t->presetSettings({{QStringLiteral("Language"), QStringLiteral("SPANISH")}});
        StartupEnvironment env = t->environment();
        QFETCH(QString, programFolder);
        env.programFolder = programFolder;
        QFETCH(bool, networkFileSystem);
        env.onNetworkFileSystem = networkFileSystem;
        StartedProgram &s = program.emplace(*t, env);
        QCOMPARE(s.outcome, frmComponents::Outcome::RefusedNetworkFolder);
        QCOMPARE(t->endProgramCalls, 1);
        QVERIFY(!s.startup().mainWindow() && !s.startup().isVisible());
        QCOMPARE(t->dialogs.prompts().size(), 1);
        QCOMPARE(t->dialogs.prompts().first().icon, MessageIcon::Critical);
        QCOMPARE(t->dialogs.prompts().first().text, text(1129)); // Spanish
    }

    // One form serves every report; its mode follows the open window (the control panel's registry
    // trouble), not the tag.
    void reportModes()
    {
        start();
        QString shownText;
        bool visible = false;
        reportError(errorNumber::PathNotFound, QStringLiteral("@ ReadSettings"), [&](frmError &error) {
            shownText = error.txtReport->toPlainText();
            visible = reportShown(error) && error.cmdIgnore->text() == QLatin1String("Ignore");
            error.cmdIgnore->click();
        });
        frmError *form = program->startup().errorReporter().form();
        QCOMPARE(shownText, QStringLiteral("Error code # 76\nPath not found\n@ ReadSettings"));
        QVERIFY(visible && !form->isVisible());
        QCOMPARE(titlesOf(t->dialogs.prompts()), QStringList {"frmError"});
        QCOMPARE(t->dialogs.prompts().first().title, QStringLiteral("Vexal Pro"));

        QDialog controlPanel;
        controlPanel.setObjectName(QStringLiteral("frmControlPanel"));
        controlPanel.show();
        reportError(errorNumber::UnsupportedValueType, QStringLiteral("@ ReadSettings"), [](frmError &error) {
            QCOMPARE(error.lblTop->text(),
                QStringLiteral("Error while accessing the registry. TTD may not be correctly installed."));
            QCOMPARE(error.cmdIgnore->text(), QStringLiteral("OK"));
            QVERIFY(error.cmdIgnore->isVisible());
            QVERIFY(!error.cmdReport->isVisible() && !error.cmdRestart->isVisible() && !error.txtReport->isVisible());
            error.cmdIgnore->click();
        });
        QVERIFY(form->registryMode());
        controlPanel.hide();
        reportError(errorNumber::DiskFull, QStringLiteral("@: frmControlPanel Activate"), [&](frmError &error) {
            visible = reportShown(error);
            error.cmdIgnore->click();
        });
        QCOMPARE(program->startup().errorReporter().form(), form);
        QVERIFY(visible && !form->registryMode());
        QCOMPARE(form->report(), QStringLiteral("Error code # 61\r\nDisk full\r\n@: frmControlPanel Activate"));
    }

    void sendReportMailsTheMakerOnceThenStaysDisabled()
    {
        start();
        bool enabled = true;
        const auto sendThenIgnore = [&enabled](frmError &error) {
            enabled = error.cmdReport->isEnabled();
            error.cmdReport->click();
            QVERIFY(!error.cmdReport->isEnabled());
            error.cmdIgnore->click();
        };
        reportError(errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QCOMPARE(t->shell.calls.size(), 1);
        QCOMPARE(t->shell.calls.first().kind, RecordingShell::Call::Kind::Open);
        // The report text is not put into the message, and there is no notice box.
        QCOMPARE(t->shell.calls.first().target,
            "mailto:vexalpro@brakemoor.example?subject=vexal%20" + state().ProgramVersion
                + "%20Debian%20GNU/Linux%2012%20(bookworm)%20report");
        QCOMPARE(t->dialogs.prompts().size(), 1);
        // The next report finds the button still disabled, and clicking it mails nothing.
        reportError(errorNumber::PermissionDenied, QStringLiteral("@ SaveSettings"), sendThenIgnore);
        QVERIFY(!enabled);
        QCOMPARE(t->shell.calls.size(), 1);
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
        const QStringList arguments {QStringLiteral("--settings-dir"), t->settingsFolder(), QStringLiteral("a b.cfg")};
        state().ProgramArguments = arguments;
        bool mainVisible = true;
        const auto restart = [&mainVisible](frmError &form) {
            mainVisible = false;
            for (QWidget *window : QApplication::topLevelWidgets())
                mainVisible |= window->objectName() == QLatin1String("frmMain") && window->isVisible();
            form.cmdRestart->click();
        };
        if (duringLoad) {
            t->presetSettings({{QStringLiteral("FontSize"), QStringLiteral("99")}});
            t->dialogs.queueForm([&restart](QDialog &form) { restart(static_cast<frmError &>(form)); });
        }
        program.emplace(*t);
        if (!duringLoad)
            reportError(errorNumber::DeviceIoError, QStringLiteral("@ ReadSettings"), restart);
        QCOMPARE(mainVisible, !duringLoad);
        QCOMPARE(t->endProgramCalls, 1);
        QCOMPARE(t->shell.calls.size(), 1);
        const auto call = t->shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
        const QString programFolder = t->environment().programFolder;
        QCOMPARE(call.target, programFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(call.workingFolder, programFolder);
        QCOMPARE(call.arguments, arguments);
        QVERIFY(!t->stored(QStringLiteral("News")).isValid() && !t->stored(QStringLiteral("Language")).isValid());
    }

    // Closing during a transfer asks first; it writes every option, the shown tab's index too.
    void emptyStoreGivesTheDefaultsAndClosingWritesThemAll()
    {
        // The mirror choices are not among them: the tests give both servers, and a given server
        // leaves the stored choice alone.
        const QList<std::pair<const char *, const char *>> defaults = {{"Language", "ENGLISH"}, {"AutoLU", "3"},
            {"FontName", "1"}, {"FontSize", "2"}, {"AutoLoadLast", "1"}, {"ColorCoding", "1"}, {"VersionGet", "1"},
            {"News", "1"}, {"Statbar", "1"}, {"Blend", "0"}, {"nBlend", "0"}, {"Tab", "3"},
            {"LatestStable", "TTDPatch 2.0 rev 1"}, {"LatestStableDate", "October 24, 2003"},
            {"LatestAlpha", "2.0.1 alpha 29"}, {"LatestAlphaDate", "June 25, 2004"}, {"LatestVersionGot", ""},
            {"LastCheckDate", "May 6, 2004"}, {"LastVexalCheckDate", ""}};
        frmMain &w = start();
        auto &c = w.controls();
        verifyDefaultControls(c);
        QCOMPARE(c.rtbPatch->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(c.lblCap[1]->text(), QStringLiteral("Latest version available: TTDPatch 2.0 rev 1"));
        QVERIFY(!c.TabStrip1->isVisible() && c.fraWelcome->isVisible() && t->dialogs.prompts().isEmpty());
        for (const auto &[key, value] : defaults)
            QVERIFY2(!t->stored(key).isValid(), key);
        w.showTabStrip(3);
        w.DisableControls();
        t->dialogs.queueAnswer(Answer::No);
        QVERIFY(!w.close() && w.isVisible());
        QCOMPARE(t->dialogs.prompts().size(), 1);
        QCOMPARE(t->dialogs.prompts().first().text, text(130));
        QCOMPARE(t->dialogs.prompts().first().defaultButton, Answer::No);
        QVERIFY(!t->stored(QStringLiteral("Tab")).isValid());
        t->dialogs.queueAnswer(Answer::Yes);
        closeProgram();
        for (const auto &[key, value] : defaults)
            QVERIFY2(t->stored(key).isValid() && stored(key) == QString::fromUtf8(value), key);
        QVERIFY(!t->stored(QStringLiteral("PatchServer")).isValid());
    }

    void autoUpdateModes()
    {
        // stored value, mode (3: patch and program, 2: program only, 0: neither)
        for (auto [value, mode] : {std::pair {"0", 0}, {"2", 2}, {"3", 3}, {"7", 0}, {"both", 0}, {"2 (program)", 2}}) {
            t.emplace();
            t->presetSettings({{QStringLiteral("AutoLU"), QString::fromLatin1(value)}});
            auto &c = start().controls();
            QCOMPARE(c.chkUpdatePatch->isChecked(), mode == 3);
            QCOMPARE(c.chkUpdateVexal->isChecked(), mode >= 2);
            closeProgram();
            QCOMPARE(state().AutoLUMode, mode);
            QCOMPARE(stored(QStringLiteral("AutoLU")), QString::number(mode));
        }
    }

    void outOfRangeIndexIsReportedAndTheRestLoads()
    {
        // The mirror index beyond the list of the one server given for this run is no error, and it
        // is kept for a start without that server; a font size beyond its list is.
        t->presetSettings({{"PatchServer", "7"}, {"FontName", "abc"}, {"FontSize", "99"}, {"News", "0"},
            {"LatestStable", "TTDPatch 2.5"}});
        QString report;
        catchReport(t->dialogs, report);
        frmMain &w = start();
        auto &c = w.controls();
        QCOMPARE(report, QStringLiteral("Error code # 380\nInvalid property value\n@ frmMain Load"));
        QCOMPARE(t->dialogs.prompts().size(), 1);
        QCOMPARE(c.cboFont->currentText(), QStringLiteral("Arial")); // non-numeric reads as 0
        QVERIFY(!c.chkTicker->isChecked());
        QCOMPARE(state().LatestStable, QStringLiteral("TTDPatch 2.5"));
        QVERIFY(w.isVisible());
        closeProgram();
        QCOMPARE(stored(QStringLiteral("PatchServer")), QStringLiteral("7"));
    }

    void resetRestoresDefaultsAndWritesNothing()
    {
        t->presetSettings({{"AutoLU", "0"}, {"PatchServer", "2"}, {"FontName", "4"}, {"FontSize", "0"},
            {"ColorCoding", "0"}, {"Statbar", "0"}, {"Blend", "1"}, {"nBlend", "160"}, {"Language", "DUTCH"}});
        auto &c = start().controls();
        const QByteArray before = readBytes(t->settingsFile());
        QTest::mouseClick(c.cmdReset, Qt::LeftButton);
        verifyDefaultControls(c);
        QCOMPARE(c.sldBlend->value(), 160);
        QCOMPARE(state().LanguageName, QStringLiteral("DUTCH"));
        QCOMPARE(readBytes(t->settingsFile()), before);
    }

    void tabSwitchShowsOnePanelAndClearsTheSearch()
    {
        frmMain &w = start();
        auto &c = w.controls();
        w.showTabStrip(0);
        c.txtFind->setText(QStringLiteral("multihead"));
        c.rtbPatch->setPlainText(QStringLiteral("multihead 4\nmultihead 5"));
        w.search().SearchString();
        QVERIFY(w.search().SearchPos() > 0);
        c.TabStrip1->setCurrentIndex(2);
        QVERIFY(c.txtFind->text().isEmpty());
        QCOMPARE(w.search().SearchPos(), 0);
        for (std::size_t i = 0; i < 4; ++i)
            QCOMPARE(c.picOptions[i]->isVisible() && c.picOptions[i]->isEnabled(), i == 2);
        QVERIFY(!c.fraWelcome->isVisible());
        // The page's pictures are read when it is first drawn.
        QTRY_VERIFY(!c.imgPatchIco->pixmap().isNull() && !c.imgPatchVersion->pixmap().isNull());
        QVERIFY(c.imgSettings->pixmap().isNull());
    }

    // Without translucency support the caption is set at once. (A detected version and none are the
    // launch tests'.)
    void versionDisplay()
    {
        // detected version, edition, status, icon
        const QList<std::tuple<QString, int, QString, int>> rows
            = {{"quering...", 1, "Detecting TTDPatch version...", 98},
                {"(unknown TTDPatch version)", 1, "Using unknown TTDPatch version.", 97},
                {"(version detection off)", 1, "Using TTDPatch for Windows.", 100},
                {"(version detection off)", 2, "Using TTDPatch for DOS.", 101}};
        frmMain &w = start(false);
        auto &c = w.controls();
        for (const auto &[detected, edition, status, icon] : rows) {
            state().DetectedPatchVersion = detected;
            state().PatchEdition = modMain::Edition(edition);
            w.UpdateVersionDisplay();
            QCOMPARE(c.lblCap[6]->text(), status);
            QCOMPARE(c.stbPanels[0]->text(), status);
            // Only while the detection runs is there more to wait for.
            QCOMPARE(c.stbPanels[1]->text(), icon == 98 ? QStringLiteral("Please wait...") : QStringLiteral("Done"));
            QCOMPARE(c.imgPatchVersion->property("iconNumber").toInt(), icon);
            QCOMPARE(w.windowTitle(), QStringLiteral("Vexal Pro %1 - %2").arg(state().ProgramVersion, status));
        }
    }

    // While busy, the controls that would start something are off; afterwards the
    // blocks, the options and the desktop decide.
    void disableAndEnableSwitchExactlyTheirSets()
    {
        frmMain &w = start();
        auto &c = w.controls();
        state().PatchEdition = modMain::Edition::Windows;
        QList<QObject *> blocked = {c.cboPatchServer, c.cboVexalServer, c.cboFont, c.cboSize, c.cmdOpen, c.cmdSave,
            c.cmdRun, c.cmdExit, c.cmdLU, c.cmdGetStable, c.cmdGetAlpha, c.cmdReset, c.lblCap[15], c.lblCap[16],
            c.lblCap[20], c.lblCap[26], c.lblCap[27], c.mnuCheckVexal, c.mnuOpen, c.mnuSave, c.mnuSaveAndRun,
            c.mnuRunTTD, c.mnuRunPloven, c.mnuRunNarwick, c.mnuRunAlter, c.mnuRegedit, c.mnuVersionGet};
        for (QCheckBox *box : c.optionBoxes())
            blocked.append(box);
        const auto allEnabled = [&](bool enabled) {
            for (QObject *control : blocked)
                QVERIFY2(control->property("enabled").toBool() == enabled, qPrintable(control->objectName()));
        };
        w.DisableControls();
        QVERIFY(!state().ControlsEnabled);
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor);
        allEnabled(false);
        // What only shows or finds stays usable.
        QVERIFY(c.lstLiveupdate->isEnabled() && c.cboLanguage->isEnabled() && c.txtFind->isEnabled());

        c.pgbMain->setVisible(true);
        c.pgbMain->setValue(40);
        c.tmrTimeout->start();
        w.Blocks = {false, false, false};
        w.EnableControls();
        QVERIFY(state().ControlsEnabled && !QApplication::overrideCursor());
        allEnabled(true);
        QVERIFY(c.pgbMain->isHidden() && c.pgbMain->value() == 0 && !c.tmrTimeout->isActive());

        program.reset();
        t.emplace();
        auto &d = start(false).controls();
        d.chkUpdatePatch->setChecked(false);
        state().PatchEdition = modMain::Edition::Dos;
        state().AlphaDescription = QStringLiteral("Fixes and new switches");
        program->main().Blocks = {true, false, true};
        program->main().DisableControls();
        program->main().EnableControls();
        for (QObject *off : std::initializer_list<QObject *> {
                 d.cboPatchServer, d.lblCap[16], d.mnuRegedit, d.mnuCheckVexal, d.cmdLU, d.cmdGetStable, d.chkBlend})
            QVERIFY2(!off->property("enabled").toBool(), qPrintable(off->objectName()));
        QVERIFY(d.cboVexalServer->isEnabled() && d.cmdGetAlpha->isEnabled());
    }

    // An entry shows for a file that is there; the second opens its file.
    void recentFileEntries()
    {
        const auto path = [this](const QString &name) {
            return name == QLatin1String("---") ? name : t->root() + QLatin1Char('/') + name;
        };
        // Recent1, Recent2, whether each shows
        const QList<std::tuple<QString, QString, bool, bool>> rows = {{"a.cfg", "b.cfg", true, true},
            {"---", "b.cfg", false, true}, {"gone.cfg", "---", false, false}, {".", "a.cfg", false, true}};
        for (const auto &[recent1, recent2, ql1, ql2] : rows) {
            program.reset();
            t.emplace();
            writeBytes(t->root() + QStringLiteral("/a.cfg"), {});
            writeBytes(t->root() + QStringLiteral("/b.cfg"), {});
            t->presetSettings({{QStringLiteral("Recent1"), path(recent1)}, {QStringLiteral("Recent2"), path(recent2)}});
            auto &c = start().controls();
            QCOMPARE(c.QL1->isVisible(), ql1);
            QCOMPARE(c.QL2->isVisible(), ql2);
            QCOMPARE(c.brk00->isVisible(), ql1 || ql2);
            if (ql2) {
                QCOMPARE(c.QL2->text(), path(recent2));
                c.QL2->trigger();
                QCOMPARE(state().CfgFileName, path(recent2));
            }
        }
    }

    void everyLanguageSwitchesLiveWithinOneTick_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 1; row < 8; ++row)
            QTest::newRow(qPrintable(QString::number(row))) << row;
    }

    // A live switch gives the captions of a start in that language, and reaches the next showing
    // of each dialog; applying the texts again changes nothing.
    void everyLanguageSwitchesLiveWithinOneTick()
    {
        QFETCH(int, row);
        const QString language = text(600 + row);
        const QMap<QString, QString> startedIn = captionsOf(start(true, language));
        QCOMPARE(program->main().controls().cboLanguage->currentIndex(), row);
        program.reset();
        t.emplace();
        frmMain &w = start();
        auto &c = w.controls();
        const QMap<QString, QString> english = captionsOf(w);
        send(c.cboLanguage, QFocusEvent(QEvent::FocusIn));
        c.cboLanguage->setCurrentIndex(row);
        QSignalSpy ticks(c.tmrLanguage, &QTimer::timeout);
        QVERIFY(ticks.wait(200));
        QCOMPARE(state().LanguageName, language);
        QCOMPARE(c.imgFlag->property("iconNumber").toInt(), row + 2);
        QCOMPARE(c.stbPanels[1]->text(), text(row * 1000 + 57));
        const QMap<QString, QString> switched = captionsOf(w);
        int changed = 0;
        for (auto it = startedIn.cbegin(); it != startedIn.cend(); ++it) {
            if (it.key() != QLatin1String("#title") && !it.key().startsWith(QLatin1String("Label")))
                QCOMPARE(switched.value(it.key()), it.value());
            changed += switched.value(it.key()) != english.value(it.key());
        }
        QVERIFY2(changed > 60, qPrintable(QString::number(changed)));
        send(c.cboLanguage, QFocusEvent(QEvent::FocusOut));
        QVERIFY(!c.tmrLanguage->isActive());
        w.ApplyInterfaceTexts();
        QTRY_VERIFY(!c.tmrTitlebar->isActive());
        const QMap<QString, QString> once = captionsOf(w);
        w.ApplyInterfaceTexts();
        QTRY_VERIFY(!c.tmrTitlebar->isActive());
        QCOMPARE(captionsOf(w), once);

        // Each dialog as it shows next: its title and its first button (the error report: its
        // heading, as the control panel's registry trouble words it).
        QMap<QString, QString> shown;
        const auto read = [&shown](QDialog &dialog) {
            const bool report = dialog.objectName() == QLatin1String("frmError");
            const QString detail = report ? dialog.findChild<QLabel *>("lblTop")->text()
                                          : dialog.findChild<QPushButton *>("cmdOK")->text();
            shown.insert(dialog.objectName(), (report ? QString() : dialog.windowTitle()) + '|' + detail);
        };
        for (int i = 0; i < 5; ++i)
            t->dialogs.queueForm(read);
        c.mnuAbout->trigger();
        {
            frmWhatsNew whatsNew(&w);
            t->dialogs.showModal(whatsNew);
            frmConflict conflict(*t->services, &w);
            t->dialogs.showModal(conflict);
            // A prefix without a registry: the panel reports it, in its own words, and closes.
            frmControlPanel panel(*t->services, w.errorReporter(), t->root() + "/no-prefix/", t->root(), &w);
            t->dialogs.showModal(panel);
        }
        const auto in = [row](int id) { return text(row * 1000 + id); };
        const QMap<QString, QString> expected {{"frmAbout", in(24) + '|' + in(50)},
            {"frmWhatsNew", in(26) + '|' + in(68)}, {"frmConflict", in(49) + '|' + in(50)},
            {"frmControlPanel", in(81) + '|' + in(50)}, {"frmError", '|' + in(100)}};
        QCOMPARE(shown, expected);
        closeProgram();
        QCOMPARE(stored(QStringLiteral("Language")), language);
    }

    void readmeOpensTheGuideOrSaysItIsMissing()
    {
        auto &c = start().controls();
        c.mnuReadme->trigger();
        QCOMPARE(t->dialogs.takePrompts().value(0).text,
            QStringLiteral("The file VexalPro.txt was not found in the program's folder."));
        writeBytes(state().AppFolder + "VexalPro.txt", "Vexal Pro\n");
        c.mnuReadme->trigger();
        QCOMPARE(t->shell.calls.last().target, state().AppFolder + "VexalPro.txt");
        QVERIFY(t->dialogs.prompts().isEmpty());
    }

    // Left clicks on the labels: the program page, the zip library's credit (a message only), the
    // author's notice and then the mail.
    void aboutBox()
    {
        useEnglishTexts();
        frmAbout about(*t->services);
        about.show();
        QTest::mouseClick(about.lblVexalsite, Qt::LeftButton);
        QTest::mouseClick(about.lblInfoZip, Qt::LeftButton);
        QCOMPARE(t->dialogs.prompts().size(), 1);
        const QString credit = t->dialogs.prompts().first().text;
        QVERIFY2(credit.contains(QRegularExpression(u"libzip 1\\.[0-9]+"_s)) && credit.contains(u"BSD"_s),
            qPrintable(credit));
        qsizetype promptsWhenMailed = -1;
        t->shell.onCall = [&](const RecordingShell::Call &) { promptsWhenMailed = t->dialogs.prompts().size(); };
        QTest::mouseClick(about.lblBrakemoor, Qt::LeftButton);
        QCOMPARE(t->dialogs.prompts().last().title, u"Email Notice"_s);
        QCOMPARE(promptsWhenMailed, 2);
        QCOMPARE(t->shell.calls.size(), 2);
        QCOMPARE(t->shell.calls[0].target, modMain::programPageAddress(true));
        QCOMPARE(t->shell.calls[1].target, modMain::mailReportAddress("Vexal Pro " + state().ProgramVersion));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
