// The main window: options in and out of the store, hints, tabs, title, translucency, blocking
// of controls, closing, recent files and the live language switch.
#include "testsupport.h"

#include "cfg/textsearch.h"
#include "common/links.h"
#include "controlpanel/frmcontrolpanel.h"
#include "info/frmwhatsnew.h"
#include "lang/stringresources.h"
#include "launch/frmconflict.h"
#include "news/newsticker.h"
#include "shell/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

#include <optional>

using modMain::state;

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
    static void hover(QWidget *widget) { send(widget, QEvent(QEvent::Enter)); }
    static QString text(int id) { return StringResources::builtIn().string(id).value_or(QString()); }
    QVariant stored(const QString &key) const { return t->stored(key); }
    // The controls as an empty store leaves them.
    static void verifyDefaultControls(const MainWindowControls &c)
    {
        QVERIFY(c.chkUpdatePatch->isChecked() && c.chkUpdateVexal->isChecked());
        QCOMPARE(c.cboPatchServer->currentIndex(), 0);
        QCOMPARE(c.cboVexalServer->currentIndex(), 0);
        QCOMPARE(c.cboFont->currentText(), QStringLiteral("Courier New"));
        QCOMPARE(c.cboSize->currentText(), QStringLiteral("10"));
        for (QCheckBox *box : {c.chkColor, c.chkAutoload, c.chkVersionget, c.chkTicker, c.chkStatusbar})
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
        QVERIFY(!c.chkBlend->isChecked());
    }

private slots:
    void init() { t.emplace(); }
    void cleanup() { program.reset(); }

    void emptyStoreGivesTheDefaultsAndClosingWritesThemAll()
    {
        // The mirror choices are not among them: the tests give both servers, and a given server
        // leaves the stored choice alone.
        const QList<std::pair<const char *, const char *>> defaults = {{"Language", "ENGLISH"}, {"AutoLU", "3"},
            {"FontName", "1"}, {"FontSize", "2"}, {"AutoLoadLast", "1"}, {"ColorCoding", "1"}, {"VersionGet", "1"},
            {"News", "1"}, {"Statbar", "1"}, {"Blend", "0"}, {"nBlend", "0"}, {"Tab", "0"},
            {"LatestStable", "TTDPatch 2.0 rev 1"}, {"LatestStableDate", "October 24, 2003"},
            {"LatestAlpha", "2.0.1 alpha 29"}, {"LatestAlphaDate", "June 25, 2004"}, {"LatestVersionGot", ""},
            {"LastCheckDate", "May 6, 2004"}, {"LastVexalCheckDate", ""}};
        frmMain &w = start();
        auto &c = w.controls();
        verifyDefaultControls(c);
        QVERIFY(!c.sldBlend->isEnabled());
        QCOMPARE(w.windowOpacity(), 1.0);
        QCOMPARE(c.rtbPatch->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(c.lblCap[1]->text(), QStringLiteral("Latest version available: TTDPatch 2.0 rev 1"));
        QCOMPARE(c.lblCap[11]->text(), QStringLiteral("Last check date: May 6, 2004"));
        QVERIFY(!c.TabStrip1->isVisible() && c.fraWelcome->isVisible());
        QCOMPARE(c.stbPanels[1]->text(), text(57));
        QVERIFY(t->dialogs.prompts().isEmpty());
        for (const auto &[key, value] : defaults)
            QVERIFY2(!stored(key).isValid(), key);
        closeProgram();
        for (const auto &[key, value] : defaults) {
            QVERIFY2(stored(key).isValid(), key);
            QCOMPARE(stored(key).toString(), QString::fromUtf8(value));
        }
        QVERIFY(!stored(QStringLiteral("PatchServer")).isValid() && !stored(QStringLiteral("VexalServer")).isValid());
    }

    void trickyValuesComeBackUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("commas") << QStringLiteral("2.0.1 alpha 30, with fixes, again");
        QTest::newRow("backslashes") << QStringLiteral("C:\\TTD\\ttdpatch.cfg \\\\server\\share");
        QTest::newRow("non-ascii") << QStringLiteral("Versão 2.6 – ñandú ÆØÅ 日本");
        QTest::newRow("ini syntax") << QStringLiteral("[VexalP] key=value ; comment # too @Variant(x)");
    }
    void trickyValuesComeBackUnchanged()
    {
        QFETCH(QString, value);
        start();
        state().LatestAlpha = state().LastVexalCheckDate = state().LanguageName = value;
        closeProgram();
        t->reopenSettings();
        start();
        QCOMPARE(state().LatestAlpha, value);
        QCOMPARE(state().LastVexalCheckDate, value);
        QCOMPARE(state().LanguageName, value);
    }

    void autoUpdateModes_data()
    {
        QTest::addColumn<QString>("storedValue");
        QTest::addColumn<int>("mode"); // 3: patch and program, 2: program only, 0: neither
        for (auto [value, mode] : {std::pair {"0", 0}, {"2", 2}, {"3", 3}, {"7", 0}, {"both", 0}, {"2 (program)", 2}})
            QTest::newRow(value) << QString::fromLatin1(value) << mode;
    }
    void autoUpdateModes()
    {
        QFETCH(QString, storedValue);
        QFETCH(int, mode);
        t->presetSettings({{QStringLiteral("AutoLU"), storedValue}});
        auto &c = start().controls();
        QCOMPARE(c.chkUpdatePatch->isChecked(), mode == 3);
        QCOMPARE(c.chkUpdateVexal->isChecked(), mode >= 2);
        closeProgram();
        QCOMPARE(state().AutoLUMode, mode);
        QCOMPARE(stored(QStringLiteral("AutoLU")).toString(), QString::number(mode));
    }

    void translucencyFromTheStore_data()
    {
        QTest::addColumn<bool>("desktopTranslucency");
        QTest::addColumn<QString>("blend");
        QTest::addColumn<bool>("ticked");
        QTest::newRow("on") << true << QStringLiteral("1") << true;
        QTest::newRow("off: level not read") << true << QStringLiteral("0") << false;
        QTest::newRow("no translucent desktop") << false << QStringLiteral("1") << false;
    }
    void translucencyFromTheStore()
    {
        QFETCH(bool, desktopTranslucency);
        QFETCH(QString, blend);
        QFETCH(bool, ticked);
        t->presetSettings({{QStringLiteral("Blend"), blend}, {QStringLiteral("nBlend"), QStringLiteral("180")}});
        frmMain &w = start(desktopTranslucency);
        QCOMPARE(w.controls().chkBlend->isChecked(), ticked);
        QCOMPARE(w.controls().chkBlend->isEnabled(), desktopTranslucency);
        QCOMPARE(w.controls().sldBlend->isEnabled(), ticked);
        QVERIFY(qAbs(w.windowOpacity() - (ticked ? 180 / 255.0 : 1.0)) < 0.01);
        closeProgram();
        QCOMPARE(stored(QStringLiteral("Blend")).toString(), ticked ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("nBlend")).toString(), ticked ? QStringLiteral("180") : QStringLiteral("0"));
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
        QCOMPARE(c.cboPatchServer->currentIndex(), 0);
        QCOMPARE(c.cboFont->currentText(), QStringLiteral("Arial")); // non-numeric reads as 0
        QVERIFY(!c.chkTicker->isChecked());
        QCOMPARE(state().LatestStable, QStringLiteral("TTDPatch 2.5"));
        QVERIFY(w.isVisible());
        closeProgram();
        QCOMPARE(stored(QStringLiteral("PatchServer")).toString(), QStringLiteral("7"));
    }

    void damagedSettingsFileGivesDefaults()
    {
        writeBytes(t->settingsFile(), "[VexalP\nAutoLU=\"0\nFontName=4\n\x01\x02\xff\xfe garbage \"\n");
        t->reopenSettings();
        verifyDefaultControls(start().controls());
        QVERIFY(t->dialogs.prompts().isEmpty());
        closeProgram();
        QVERIFY(QFile::exists(t->settingsFile() + QStringLiteral(".bad")));
        QCOMPARE(stored(QStringLiteral("AutoLU")).toString(), QStringLiteral("3"));
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

    void hints()
    {
        frmMain &w = start();
        auto &c = w.controls();
        QWidget *background = w.centralWidget();
        const auto tip = [&c] { return c.stbPanels[0]->text(); };
        hover(background); // welcome state
        QCOMPARE(tip(), text(57));

        // A control's hint replaces both panels; a control without one changes nothing.
        state().GameFolder = QStringLiteral("/games/ttd/");
        state().LatestAlpha = QStringLiteral("2.6 alpha 3");
        w.UpdateVersionDisplay();
        const QString install = QStringLiteral("Download and install now this TTDPatch version at /games/ttd/.");
        const QList<std::pair<const char *, QString>> controlHints = {{"chkColor", "Enable CFG color coding"},
            {"lblCap(26)", "This setting will take effect next time you open a CFG file."},
            {"sldBlend", "Change the dialogs opacity level."}, {"cmdOpen", "Open TTDPatch a settings file"},
            {"cmdGetStable", install}, {"cmdGetAlpha", install}, {"cmdInfo", "Show what's new in 2.6 alpha 3."},
            {"picUpdates", "No TTDPatch version was found."}, {"lblCap(13)", "unchanged"}};
        for (const auto &[control, hint] : controlHints) {
            w.UpdateStatusBar(QStringLiteral("unchanged"), QStringLiteral("second"));
            auto *widget = w.findChild<QWidget *>(QLatin1String(control));
            QVERIFY2(widget, control);
            hover(widget);
            QCOMPARE(tip(), hint);
            QCOMPARE(c.stbPanels[1]->text(), hint == QLatin1String("unchanged") ? QStringLiteral("second") : QString());
        }

        // Combo boxes hint when they take the focus, not under the mouse.
        w.UpdateStatusBar(QStringLiteral("before"), QString());
        hover(c.cboSize);
        QCOMPARE(tip(), QStringLiteral("before"));
        send(c.cboSize, QFocusEvent(QEvent::FocusIn));
        QCOMPARE(tip(), text(152));

        // Tabs 1 and 2: the file being edited, over the background or a panel.
        state().CfgFileName = QStringLiteral("/Games/TTD/TTDPATCH.CFG");
        state().GrfFileName = QStringLiteral("/Games/TTD/NewGrfW.cfg");
        w.showTabStrip(0);
        hover(background);
        QCOMPARE(tip(), QStringLiteral("Editing /games/ttd/ttdpatch.cfg"));
        w.showTabStrip(1);
        hover(c.picOptions[1]);
        QCOMPARE(tip(), QStringLiteral("Editing /games/ttd/newgrfw.cfg"));

        // Tabs 3 and 4: the patch status over a panel or the tab strip, nothing over the background.
        w.showTabStrip(3);
        w.UpdateStatusBar(QStringLiteral("kept"), QString());
        hover(background);
        QCOMPARE(tip(), QStringLiteral("kept"));
        hover(c.TabStrip1);
        QCOMPARE(tip(), c.lblCap[6]->text());

        // The news line waits for the mouse to move over these areas again.
        writeBytes(state().NewsTmpPath, "Headline\nnodesc\nnolink\n---\n");
        w.news().UpdateNewsTicker();
        QVERIFY(w.news().NewsRunning());
        c.tmrNews->stop();
        hover(c.stbMain);
        QVERIFY(c.tmrNews->isActive());
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
        QCOMPARE(c.lblCap[25]->text(), QStringLiteral("Find"));
        QCOMPARE(w.search().SearchPos(), 0);
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(c.picOptions[i]->isVisible(), i == 2);
            QCOMPARE(c.picOptions[i]->isEnabled(), i == 2);
        }
        QVERIFY(!c.fraWelcome->isVisible());
    }

    // Without translucency support (versionDisplay) the caption is set at once instead.
    void titleTypesItselfTwoCharactersPerTick()
    {
        frmMain &w = start();
        const QString title = state().ProgramTitle;
        QCOMPARE(title, QStringLiteral("Vexal Pro ") + QStringLiteral(VEXAL_VERSION));
        QTRY_COMPARE(w.windowTitle(), title);

        QSignalSpy titles(&w, &QWidget::windowTitleChanged);
        state().DetectedPatchVersion = QStringLiteral("TTDPatch 2.6 alpha 0 r1651 (Windows)");
        state().PatchEdition = modMain::Edition::Windows;
        w.UpdateVersionDisplay();
        const QString full = state().ProgramTitle;
        QCOMPARE(full, title + QStringLiteral(" - TTDPatch 2.6 alpha 0 r1651 (Windows) detected."));
        QTRY_COMPARE(w.windowTitle(), full);
        QVERIFY(!w.controls().tmrTitlebar->isActive());
        // Only the text after "Vexal Pro <version>" is typed again, two characters a tick.
        QVERIFY(titles.size() >= 2);
        QCOMPARE(titles.first().first().toString(), full.left(state().ProgramVersion.size() + 13));
        for (qsizetype i = 1; i < titles.size(); ++i) {
            const auto previous = titles.at(i - 1).first().toString().size();
            const auto current = titles.at(i).first().toString().size();
            QVERIFY(current - previous == 2 || (current == full.size() && current - previous == 1));
        }
    }

    void versionDisplay_data()
    {
        QTest::addColumn<QString>("detected");
        QTest::addColumn<int>("edition");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("icon");
        const QString off = QStringLiteral("(version detection off)");
        QTest::newRow("querying") << QStringLiteral("quering...") << 1
                                  << QStringLiteral("Detecting TTDPatch version...") << 98;
        QTest::newRow("unknown") << QStringLiteral("(unknown TTDPatch version)") << 1
                                 << QStringLiteral("Using unknown TTDPatch version.") << 97;
        QTest::newRow("none") << QStringLiteral("none") << 2 << QStringLiteral("No TTDPatch version was found.") << 104;
        QTest::newRow("off, Windows") << off << 1 << QStringLiteral("Using TTDPatch for Windows.") << 100;
        QTest::newRow("off, DOS") << off << 2 << QStringLiteral("Using TTDPatch for DOS.") << 101;
        QTest::newRow("a version, DOS") << QStringLiteral("TTDPatch V2.0.1 alpha 67") << 2
                                        << QStringLiteral("TTDPatch V2.0.1 alpha 67 detected.") << 101;
    }
    void versionDisplay()
    {
        QFETCH(QString, detected);
        QFETCH(int, edition);
        QFETCH(QString, status);
        QFETCH(int, icon);
        frmMain &w = start(false);
        auto &c = w.controls();
        state().DetectedPatchVersion = detected;
        state().PatchEdition = modMain::Edition(edition);
        w.UpdateVersionDisplay();
        QCOMPARE(c.lblCap[6]->text(), status);
        QCOMPARE(c.stbPanels[0]->text(), status);
        // Only while the detection runs is there more to wait for.
        QCOMPARE(c.stbPanels[1]->text(), icon == 98 ? QStringLiteral("Please wait...") : QStringLiteral("Done"));
        QCOMPARE(c.imgPatchVersion->property("iconNumber").toInt(), icon);
        QCOMPARE(w.windowTitle(), QStringLiteral("Vexal Pro %1 - %2").arg(state().ProgramVersion, status));
        QVERIFY(!c.tmrTitlebar->isActive());
    }

    void translucencyAndStatusBarFollowTheirBoxes()
    {
        frmMain &w = start();
        auto &c = w.controls();
        c.sldBlend->setValue(170);
        c.chkBlend->setChecked(true);
        QVERIFY(c.sldBlend->isEnabled() && c.lblCap[14]->isEnabled());
        QVERIFY(state().BlendEnabled);
        QCOMPARE(state().BlendLevel, 170);
        QVERIFY(qAbs(w.windowOpacity() - 170 / 255.0) < 0.01);
        c.sldBlend->setValue(220);
        QVERIFY(qAbs(w.windowOpacity() - 220 / 255.0) < 0.01);
        c.chkBlend->setChecked(false);
        QVERIFY(!c.sldBlend->isEnabled() && !c.lblCap[14]->isEnabled());
        QVERIFY(!state().BlendEnabled);
        QCOMPARE(w.windowOpacity(), 1.0);

        const int height = w.height();
        const int bar = c.stbMain->sizeHint().height();
        QVERIFY(bar > 0);
        c.chkStatusbar->setChecked(false);
        QVERIFY(c.stbMain->isHidden());
        QTRY_COMPARE(w.height(), height - bar);
        c.chkStatusbar->setChecked(true);
        QVERIFY(!c.stbMain->isHidden());
        QTRY_COMPARE(w.height(), height);
    }

    void disableAndEnableSwitchExactlyTheirSets()
    {
        frmMain &w = start();
        auto &c = w.controls();
        state().PatchEdition = modMain::Edition::Windows;
        QList<QWidget *> blocked = {c.cboPatchServer, c.cboVexalServer, c.cboFont, c.cboSize, c.cmdOpen, c.cmdSave,
            c.cmdRun, c.cmdExit, c.cmdLU, c.cmdGetStable, c.cmdGetAlpha, c.cmdReset, c.lblCap[15], c.lblCap[16],
            c.lblCap[20], c.lblCap[26], c.lblCap[27]};
        for (QCheckBox *box : c.optionBoxes())
            blocked.append(box);
        const QList<QAction *> actions = {c.mnuCheckVexal, c.mnuOpen, c.mnuSave, c.mnuSaveAndRun, c.mnuRunTTD,
            c.mnuRunPloven, c.mnuRunNarwick, c.mnuRunAlter, c.mnuRegedit, c.mnuVersionGet};
        const auto allEnabled = [&](bool enabled) {
            for (QWidget *widget : blocked)
                QVERIFY2(widget->isEnabled() == enabled, qPrintable(widget->objectName()));
            for (QAction *action : actions)
                QVERIFY2(action->isEnabled() == enabled, qPrintable(action->objectName()));
        };
        // Everything named in the window that the set does not name or hold stays as it is.
        QList<QWidget *> others;
        const auto held = [&](QWidget *widget) {
            while ((widget = widget->parentWidget()) && !blocked.contains(widget)) { }
            return widget != nullptr;
        };
        for (QWidget *widget : w.findChildren<QWidget *>()) {
            if (!widget->objectName().isEmpty() && widget->isEnabled() && !blocked.contains(widget) && !held(widget)
                && widget->objectName() != QLatin1String("chkBlend"))
                others.append(widget);
        }
        QVERIFY(others.contains(c.lstLiveupdate) && others.contains(c.cboLanguage) && others.contains(c.txtFind));

        w.DisableControls();
        QVERIFY(!state().ControlsEnabled);
        QCOMPARE(
            QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor, Qt::BusyCursor);
        allEnabled(false);
        for (QWidget *widget : others)
            QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));

        c.pgbMain->setVisible(true);
        c.pgbMain->setValue(40);
        c.tmrTimeout->start();
        w.Blocks = {false, false, false};
        w.EnableControls();
        QVERIFY(state().ControlsEnabled);
        QVERIFY(!QApplication::overrideCursor());
        allEnabled(true);
        QVERIFY(c.pgbMain->isHidden());
        QCOMPARE(c.pgbMain->value(), 0);
        QVERIFY(!c.tmrTimeout->isActive());
    }

    void enableHonoursBlocksOptionsAndTheDesktop()
    {
        frmMain &w = start(false);
        auto &c = w.controls();
        c.chkUpdatePatch->setChecked(false);
        state().PatchEdition = modMain::Edition::Dos;
        state().AlphaDescription = QStringLiteral("Fixes and new switches");
        w.Blocks = {true, false, true};
        w.DisableControls();
        w.EnableControls();
        for (QObject *off : std::initializer_list<QObject *> {
                 c.cboPatchServer, c.lblCap[16], c.mnuRegedit, c.mnuCheckVexal, c.cmdLU, c.cmdGetStable, c.chkBlend})
            QVERIFY2(!off->property("enabled").toBool(), qPrintable(off->objectName()));
        QVERIFY(c.cboVexalServer->isEnabled() && c.cmdGetAlpha->isEnabled());
    }

    void closingDuringTransferAsksThenWritesTheShownTab()
    {
        frmMain &w = start();
        w.showTabStrip(3);
        w.DisableControls();
        t->dialogs.queueAnswer(Answer::No);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(t->dialogs.prompts().size(), 1);
        const auto prompt = t->dialogs.prompts().first();
        QCOMPARE(prompt.text, text(130));
        QCOMPARE(prompt.icon, MessageIcon::Exclamation);
        QCOMPARE(prompt.buttons, MessageButtons::YesNo);
        QCOMPARE(prompt.defaultButton, Answer::No);
        QVERIFY(!stored(QStringLiteral("Tab")).isValid());
        t->dialogs.queueAnswer(Answer::Yes);
        closeProgram();
        QCOMPARE(stored(QStringLiteral("Tab")).toString(), QStringLiteral("3")); // its index
    }

    void recentFileEntries_data()
    {
        QTest::addColumn<QString>("recent1");
        QTest::addColumn<QString>("recent2");
        QTest::addColumn<bool>("ql1");
        QTest::addColumn<bool>("ql2");
        QTest::newRow("both") << QStringLiteral("a.cfg") << QStringLiteral("b.cfg") << true << true;
        QTest::newRow("first unset") << QStringLiteral("---") << QStringLiteral("b.cfg") << false << true;
        QTest::newRow("first gone") << QStringLiteral("gone.cfg") << QStringLiteral("---") << false << false;
        QTest::newRow("a folder") << QStringLiteral(".") << QStringLiteral("a.cfg") << false << true;
    }
    void recentFileEntries()
    {
        QFETCH(QString, recent1);
        QFETCH(QString, recent2);
        QFETCH(bool, ql1);
        QFETCH(bool, ql2);
        writeBytes(t->root() + QStringLiteral("/a.cfg"), {});
        writeBytes(t->root() + QStringLiteral("/b.cfg"), {});
        auto path = [this](const QString &name) {
            return name == QLatin1String("---") ? name : t->root() + QLatin1Char('/') + name;
        };
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

    void everyLanguageSwitchesLiveWithinOneTick_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 1; row < 8; ++row)
            QTest::newRow(qPrintable(QString::number(row))) << row;
    }

    // A live switch gives the captions of a start in that language, moves every text caption, and
    // reaches the next showing of each dialog.
    void everyLanguageSwitchesLiveWithinOneTick()
    {
        QFETCH(int, row);
        const QString language = text(600 + row);
        const QMap<QString, QString> startedIn = captionsOf(start(true, language));
        program.reset();
        t.emplace();
        frmMain &w = start();
        auto &c = w.controls();
        const QMap<QString, QString> english = captionsOf(w);

        send(c.cboLanguage, QFocusEvent(QEvent::FocusIn));
        QVERIFY(c.tmrLanguage->isActive());
        c.cboLanguage->setCurrentIndex(row);
        QSignalSpy ticks(c.tmrLanguage, &QTimer::timeout);
        QVERIFY(ticks.wait(200));
        QCOMPARE(state().LanguageName, language);
        QCOMPARE(c.imgFlag->property("iconNumber").toInt(), row + 2);
        QCOMPARE(c.stbPanels[1]->text(), text(row * 1000 + 57));
        if (row == 1)
            QCOMPARE(c.mnuRunAlter->text(), QStringLiteral("Ejecutar TTD Alter"));
        const QMap<QString, QString> switched = captionsOf(w);
        for (auto it = startedIn.cbegin(); it != startedIn.cend(); ++it) {
            if (it.key() != QLatin1String("#title") && !it.key().startsWith(QLatin1String("Label")))
                QCOMPARE(switched.value(it.key()), it.value());
        }
        int changed = 0;
        for (auto it = english.cbegin(); it != english.cend(); ++it)
            changed += switched.value(it.key()) != it.value();
        QVERIFY2(changed > 60, qPrintable(QString::number(changed)));
        send(c.cboLanguage, QFocusEvent(QEvent::FocusOut));
        QVERIFY(!c.tmrLanguage->isActive());

        // Each dialog as it shows next, in the language chosen: its title and its first button (the
        // error report: its heading, as the control panel's registry trouble words it).
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

        using modMain::uiText;
        const QMap<QString, QString> expected {{"frmAbout", uiText(24) + '|' + uiText(50)},
            {"frmWhatsNew", uiText(26) + '|' + uiText(68)}, {"frmConflict", uiText(49) + '|' + uiText(50)},
            {"frmControlPanel", uiText(81) + '|' + uiText(50)}, {"frmError", '|' + uiText(100)}};
        QCOMPARE(shown, expected);
        for (auto [name, id] : {std::pair {"frmAbout", 24}, {"frmWhatsNew", 26}, {"frmControlPanel", 81}})
            QVERIFY2(!shown.value(name).startsWith(text(id) + '|'), name);
        closeProgram();
        QCOMPARE(stored(QStringLiteral("Language")).toString(), language);
    }

    void helpMenuOpensItsPagesAndTheGuide()
    {
        frmMain &w = start();
        auto &c = w.controls();
        // The entries in menu order, separators as "-".
        QStringList order;
        for (QAction *entry : c.mnuHelp->actions())
            order.append(entry->isSeparator() ? QStringLiteral("-")
                    : entry->menu()           ? entry->menu()->objectName()
                                              : entry->objectName());
        QCOMPARE(order,
            QStringList({"mnuReadme", "mnuForums", "mnuDownloadTTD", "-", "mnuLinksTTD", "mnuLinksTools",
                "mnuLinksGraphics", "-", "mnuCheckVexal", "-", "mnuWebsite", "mnuAbout"}));
        QCOMPARE(c.mnuLinksTTD->actions().size(), 7);
        QCOMPARE(c.mnuLinksTools->actions().size(), 4);
        QCOMPARE(c.mnuLinksGraphics->actions().size(), 4);
        // Every page entry opens its own address; no two entries share one.
        QSet<QString> opened;
        for (const links::Link &link : links::table()) {
            auto *entry = w.findChild<QAction *>(QString::fromLatin1(link.entry));
            if (!entry)
                continue;
            entry->trigger();
            QCOMPARE(t->shell.calls.last().target, QString::fromLatin1(link.address));
            opened.insert(t->shell.calls.last().target);
        }
        QCOMPARE(opened.size(), 19);

        c.mnuReadme->trigger();
        QCOMPARE(t->dialogs.takePrompts().value(0).text,
            QStringLiteral("The file VexalPro.txt was not found in the program's folder."));
        writeBytes(state().AppFolder + "VexalPro.txt", "Vexal Pro\n");
        c.mnuReadme->trigger();
        QCOMPARE(t->shell.calls.last().target, state().AppFolder + "VexalPro.txt");
        QVERIFY(t->dialogs.prompts().isEmpty());
    }

    void applyingTextsTwiceChangesNothing()
    {
        frmMain &w = start(true, QStringLiteral("HUNGARIAN"));
        w.showTabStrip(2);
        state().LatestVersionGot = QStringLiteral("2.6 alpha 1");
        w.ApplyInterfaceTexts();
        QTRY_VERIFY(!w.controls().tmrTitlebar->isActive());
        const auto once = captionsOf(w);
        w.ApplyInterfaceTexts();
        QTRY_VERIFY(!w.controls().tmrTitlebar->isActive());
        QCOMPARE(captionsOf(w), once);
        QCOMPARE(w.controls().lblCap[10]->text(), text(3080) + QStringLiteral("2.6 alpha 1"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
