// The main window: options in and out of the store, hints, tabs, title, translucency, blocking
// of controls, closing, recent files and the live language switch.
#include "testsupport.h"

#include "cfg/textsearch.h"
#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmmain.h"
#include "shell/mainwindowrules.h"

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
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QtTest>

using modMain::state;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QApplication::setQuitOnLastWindowClosed(false); }

    void emptyStoreGivesTheDefaults();
    void closingWritesEveryKey_data();
    void closingWritesEveryKey();
    void valuesComeBackUnchanged_data();
    void valuesComeBackUnchanged();
    void autoUpdateModes_data();
    void autoUpdateModes();
    void translucencyFromTheStore_data();
    void translucencyFromTheStore();
    void tabIsStoredAsItsIndex();
    void outOfRangeIndexIsReportedAndTheRestLoads();
    void damagedSettingsFileGivesDefaults();
    void resetRestoresDefaultsAndWritesNothing();
    void controlHints_data();
    void controlHints();
    void comboBoxesHintOnFocusOnly();
    void backgroundHints();
    void tabSwitchShowsOnePanelAndClearsTheSearch();
    void titleTypesItselfTwoCharactersPerTick();
    void versionDisplay_data();
    void versionDisplay();
    void translucencyFollowsBoxAndSlider();
    void statusBarToggleChangesTheHeight();
    void disableAndEnableSwitchExactlyTheirSets();
    void enableHonoursBlocksAndOptions();
    void closingDuringTransferAsks();
    void recentFileEntries_data();
    void recentFileEntries();
    void languageSwitchWithinOneTick();
    void applyingTextsTwiceChangesNothing();
};

namespace {

QString stored(TestServices &t, const QString &key)
{
    QSettings file(t.settingsFile(), QSettings::IniFormat);
    return file.value(QStringLiteral("VexalP/") + key).toString();
}

bool hasKey(TestServices &t, const QString &key)
{
    QSettings file(t.settingsFile(), QSettings::IniFormat);
    return file.contains(QStringLiteral("VexalP/") + key);
}

void hover(QWidget *widget)
{
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(widget, &enter);
}

QString statusTip(frmMain &w)
{
    return w.controls().stbPanels[0]->text();
}

QString text(int id)
{
    return StringResources::builtIn().string(id).value_or(QString());
}

} // namespace

void MainWindowTest::emptyStoreGivesTheDefaults()
{
    TestServices t;
    StartedProgram p(t);
    auto &c = p.main().controls();
    QVERIFY(c.chkUpdatePatch->isChecked());
    QVERIFY(c.chkUpdateVexal->isChecked());
    QCOMPARE(c.cboPatchServer->currentIndex(), 0);
    QCOMPARE(c.cboVexalServer->currentIndex(), 0);
    QCOMPARE(c.cboFont->currentText(), QStringLiteral("Courier New"));
    QCOMPARE(c.cboSize->currentText(), QStringLiteral("10"));
    for (QCheckBox *box : {c.chkColor, c.chkAutoload, c.chkVersionget, c.chkTicker, c.chkStatusbar})
        QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
    QVERIFY(!c.chkBlend->isChecked());
    QVERIFY(!c.sldBlend->isEnabled());
    QCOMPARE(p.main().windowOpacity(), 1.0);
    QCOMPARE(c.rtbPatch->font().family(), QStringLiteral("Courier New"));
    QCOMPARE(state().LatestStable, QStringLiteral("TTDPatch 2.0 rev 1"));
    QCOMPARE(c.lblCap[1]->text(), QStringLiteral("Latest version available: TTDPatch 2.0 rev 1"));
    QCOMPARE(c.lblCap[11]->text(), QStringLiteral("Last check date: May 6, 2004"));
    QVERIFY(!c.TabStrip1->isVisible());
    QVERIFY(c.fraWelcome->isVisible());
    QCOMPARE(c.stbPanels[1]->text(), text(57));
    QVERIFY(t.dialogs.prompts().isEmpty());
}

void MainWindowTest::closingWritesEveryKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QList<std::pair<const char *, const char *>> defaults = {{"Language", "ENGLISH"}, {"AutoLU", "3"},
        {"PatchServer", "0"}, {"VexalServer", "0"}, {"FontName", "1"}, {"FontSize", "2"}, {"AutoLoadLast", "1"},
        {"ColorCoding", "1"}, {"VersionGet", "1"}, {"News", "1"}, {"Statbar", "1"}, {"Blend", "0"}, {"nBlend", "0"},
        {"Tab", "0"}, {"LatestStable", "TTDPatch 2.0 rev 1"}, {"LatestStableDate", "October 24, 2003"},
        {"LatestAlpha", "2.0.1 alpha 29"}, {"LatestAlphaDate", "June 25, 2004"}, {"LatestVersionGot", ""},
        {"LastCheckDate", "May 6, 2004"}, {"LastVexalCheckDate", ""}};
    for (const auto &[key, value] : defaults)
        QTest::newRow(key) << QString::fromLatin1(key) << QString::fromUtf8(value);
}

void MainWindowTest::closingWritesEveryKey()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TestServices t;
    {
        StartedProgram p(t);
        QVERIFY(!hasKey(t, key));
        QVERIFY(p.main().close());
    }
    QVERIFY2(hasKey(t, key), qPrintable(key));
    QCOMPARE(stored(t, key), value);
}

void MainWindowTest::valuesComeBackUnchanged_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("commas") << QStringLiteral("2.0.1 alpha 30, with fixes, again");
    QTest::newRow("backslashes") << QStringLiteral("C:\\TTD\\ttdpatch.cfg \\\\server\\share");
    QTest::newRow("non-ascii") << QStringLiteral("Versão 2.6 – ñandú ÆØÅ 日本");
    QTest::newRow("ini syntax") << QStringLiteral("[VexalP] key=value ; comment # too @Variant(x)");
}

void MainWindowTest::valuesComeBackUnchanged()
{
    QFETCH(QString, value);
    TestServices t;
    {
        StartedProgram p(t);
        state().LatestAlpha = value;
        state().LastVexalCheckDate = value;
        state().LanguageName = value;
        QVERIFY(p.main().close());
    }
    t.reopenSettings();
    StartedProgram again(t);
    QCOMPARE(state().LatestAlpha, value);
    QCOMPARE(state().LastVexalCheckDate, value);
    QCOMPARE(state().LanguageName, value);
}

void MainWindowTest::autoUpdateModes_data()
{
    QTest::addColumn<QString>("storedValue");
    QTest::addColumn<bool>("patch");
    QTest::addColumn<bool>("vexal");
    QTest::addColumn<QString>("written");
    QTest::newRow("0") << QStringLiteral("0") << false << false << QStringLiteral("0");
    QTest::newRow("2") << QStringLiteral("2") << false << true << QStringLiteral("2");
    QTest::newRow("3") << QStringLiteral("3") << true << true << QStringLiteral("3");
    QTest::newRow("7") << QStringLiteral("7") << false << false << QStringLiteral("0");
    QTest::newRow("non-numeric") << QStringLiteral("both") << false << false << QStringLiteral("0");
    QTest::newRow("leading number") << QStringLiteral("2 (program only)") << false << true << QStringLiteral("2");
}

void MainWindowTest::autoUpdateModes()
{
    QFETCH(QString, storedValue);
    QFETCH(bool, patch);
    QFETCH(bool, vexal);
    QFETCH(QString, written);
    TestServices t;
    t.presetSettings({{QStringLiteral("AutoLU"), storedValue}});
    {
        StartedProgram p(t);
        QCOMPARE(p.main().controls().chkUpdatePatch->isChecked(), patch);
        QCOMPARE(p.main().controls().chkUpdateVexal->isChecked(), vexal);
        QVERIFY(p.main().close());
        QCOMPARE(state().AutoLUMode, written.toInt());
    }
    QCOMPARE(stored(t, QStringLiteral("AutoLU")), written);
}

void MainWindowTest::translucencyFromTheStore_data()
{
    QTest::addColumn<bool>("desktopTranslucency");
    QTest::addColumn<QString>("blend");
    QTest::addColumn<QString>("level");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<QString>("writtenBlend");
    QTest::addColumn<QString>("writtenLevel");
    QTest::newRow("on at 180") << true << QStringLiteral("1") << QStringLiteral("180") << true << 180 / 255.0
                               << QStringLiteral("1") << QStringLiteral("180");
    QTest::newRow("off: level not read") << true << QStringLiteral("0") << QStringLiteral("180") << false << 1.0
                                         << QStringLiteral("0") << QStringLiteral("0");
    QTest::newRow("no translucent desktop") << false << QStringLiteral("1") << QStringLiteral("180") << false << 1.0
                                            << QStringLiteral("0") << QStringLiteral("0");
}

void MainWindowTest::translucencyFromTheStore()
{
    QFETCH(bool, desktopTranslucency);
    QFETCH(QString, blend);
    QFETCH(QString, level);
    QFETCH(bool, ticked);
    QFETCH(double, opacity);
    QFETCH(QString, writtenBlend);
    QFETCH(QString, writtenLevel);
    TestServices t;
    t.presetSettings({{QStringLiteral("Blend"), blend}, {QStringLiteral("nBlend"), level}});
    StartupEnvironment env = t.environment();
    env.translucency = desktopTranslucency;
    {
        StartedProgram p(t, env);
        auto &c = p.main().controls();
        QCOMPARE(c.chkBlend->isChecked(), ticked);
        QCOMPARE(c.chkBlend->isEnabled(), desktopTranslucency);
        QCOMPARE(c.sldBlend->isEnabled(), ticked);
        QVERIFY(qAbs(p.main().windowOpacity() - opacity) < 0.01);
        QVERIFY(p.main().close());
    }
    QCOMPARE(stored(t, QStringLiteral("Blend")), writtenBlend);
    QCOMPARE(stored(t, QStringLiteral("nBlend")), writtenLevel);
}

void MainWindowTest::tabIsStoredAsItsIndex()
{
    for (int tab : {0, 2, 3}) {
        TestServices t;
        {
            StartedProgram p(t);
            p.main().showTabStrip(tab);
            QVERIFY(p.main().close());
        }
        QCOMPARE(stored(t, QStringLiteral("Tab")), QString::number(tab));
    }
}

void MainWindowTest::outOfRangeIndexIsReportedAndTheRestLoads()
{
    TestServices t;
    t.presetSettings(
        {{QStringLiteral("PatchServer"), QStringLiteral("7")}, {QStringLiteral("FontName"), QStringLiteral("abc")},
            {QStringLiteral("FontSize"), QStringLiteral("4")}, {QStringLiteral("News"), QStringLiteral("0")},
            {QStringLiteral("LatestStable"), QStringLiteral("TTDPatch 2.5")}});
    QString report;
    t.dialogs.queueForm([&report](QDialog &form) {
        report = form.findChild<QPlainTextEdit *>(QStringLiteral("txtReport"))->toPlainText();
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdIgnore")), Qt::LeftButton);
    });
    StartedProgram p(t);
    auto &c = p.main().controls();
    QCOMPARE(report, QStringLiteral("Error code # 380\nInvalid property value\n@ frmMain Load"));
    QCOMPARE(t.dialogs.prompts().size(), 1);
    QCOMPARE(t.dialogs.prompts().first().formName, QStringLiteral("frmError"));
    QCOMPARE(c.cboPatchServer->currentIndex(), 0);
    QCOMPARE(c.cboFont->currentText(), QStringLiteral("Arial")); // non-numeric reads as 0
    QCOMPARE(c.cboSize->currentText(), QStringLiteral("14"));
    QVERIFY(!c.chkTicker->isChecked());
    QCOMPARE(state().LatestStable, QStringLiteral("TTDPatch 2.5"));
    QVERIFY(p.main().isVisible());
}

void MainWindowTest::damagedSettingsFileGivesDefaults()
{
    TestServices t;
    {
        QFile file(t.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[VexalP\nAutoLU=\"0\nFontName=4\n\x01\x02\xff\xfe garbage \"\n");
    }
    t.reopenSettings();
    {
        StartedProgram p(t);
        QVERIFY(p.main().controls().chkUpdatePatch->isChecked());
        QCOMPARE(p.main().controls().cboFont->currentIndex(), 1);
        QVERIFY(t.dialogs.prompts().isEmpty());
        QVERIFY(p.main().close());
    }
    QVERIFY(QFile::exists(t.settingsFile() + QStringLiteral(".bad")));
    QCOMPARE(stored(t, QStringLiteral("AutoLU")), QStringLiteral("3"));
}

void MainWindowTest::resetRestoresDefaultsAndWritesNothing()
{
    TestServices t;
    t.presetSettings({{QStringLiteral("AutoLU"), QStringLiteral("0")},
        {QStringLiteral("PatchServer"), QStringLiteral("2")}, {QStringLiteral("FontName"), QStringLiteral("4")},
        {QStringLiteral("FontSize"), QStringLiteral("0")}, {QStringLiteral("ColorCoding"), QStringLiteral("0")},
        {QStringLiteral("Statbar"), QStringLiteral("0")}, {QStringLiteral("Blend"), QStringLiteral("1")},
        {QStringLiteral("nBlend"), QStringLiteral("160")}, {QStringLiteral("Language"), QStringLiteral("DUTCH")}});
    StartedProgram p(t);
    auto &c = p.main().controls();
    QFile file(t.settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QTest::mouseClick(c.cmdReset, Qt::LeftButton);
    QVERIFY(c.chkUpdatePatch->isChecked() && c.chkUpdateVexal->isChecked());
    QCOMPARE(c.cboPatchServer->currentIndex(), 0);
    QCOMPARE(c.cboFont->currentIndex(), 1);
    QCOMPARE(c.cboSize->currentIndex(), 2);
    QVERIFY(c.chkColor->isChecked() && c.chkStatusbar->isChecked());
    QVERIFY(!c.chkBlend->isChecked());
    QCOMPARE(c.sldBlend->value(), 160);
    QCOMPARE(state().LanguageName, QStringLiteral("DUTCH"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void MainWindowTest::controlHints_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("hint");
    QTest::newRow("chkColor") << QStringLiteral("chkColor") << QStringLiteral("Enable CFG color coding");
    QTest::newRow("font label") << QStringLiteral("lblCap(26)")
                                << QStringLiteral("This setting will take effect next time you open a CFG file.");
    QTest::newRow("sldBlend") << QStringLiteral("sldBlend") << QStringLiteral("Change the dialogs opacity level.");
    QTest::newRow("cmdOpen") << QStringLiteral("cmdOpen") << QStringLiteral("Open TTDPatch a settings file");
    QTest::newRow("cmdGetStable") << QStringLiteral("cmdGetStable")
                                  << QStringLiteral("Download and install now this TTDPatch version at /games/ttd/.");
    QTest::newRow("cmdGetAlpha") << QStringLiteral("cmdGetAlpha")
                                 << QStringLiteral("Download and install now this TTDPatch version at /games/ttd/.");
    QTest::newRow("cmdInfo") << QStringLiteral("cmdInfo") << QStringLiteral("Show what's new in 2.6 alpha 3.");
    QTest::newRow("picUpdates") << QStringLiteral("picUpdates") << QStringLiteral("No TTDPatch version was found.");
    QTest::newRow("no hint") << QStringLiteral("lblCap(13)") << QStringLiteral("unchanged");
}

void MainWindowTest::controlHints()
{
    QFETCH(QString, control);
    QFETCH(QString, hint);
    TestServices t;
    StartedProgram p(t);
    state().GameFolder = QStringLiteral("/games/ttd/");
    state().LatestAlpha = QStringLiteral("2.6 alpha 3");
    p.main().UpdateVersionDisplay();
    p.main().UpdateStatusBar(QStringLiteral("unchanged"), QStringLiteral("second"));
    auto *widget = p.main().findChild<QWidget *>(control);
    QVERIFY(widget);
    hover(widget);
    QCOMPARE(statusTip(p.main()), hint);
    QCOMPARE(p.main().controls().stbPanels[1]->text(),
        hint == QLatin1String("unchanged") ? QStringLiteral("second") : QString());
}

void MainWindowTest::comboBoxesHintOnFocusOnly()
{
    TestServices t;
    StartedProgram p(t);
    auto &c = p.main().controls();
    p.main().UpdateStatusBar(QStringLiteral("before"), QString());
    hover(c.cboSize);
    QCOMPARE(statusTip(p.main()), QStringLiteral("before"));
    QFocusEvent focusIn(QEvent::FocusIn);
    QApplication::sendEvent(c.cboSize, &focusIn);
    QCOMPARE(statusTip(p.main()), text(152));
}

void MainWindowTest::backgroundHints()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
    auto &c = w.controls();
    QWidget *background = w.centralWidget();

    hover(background); // welcome state
    QCOMPARE(statusTip(w), text(57));

    state().CfgFileName = QStringLiteral("/Games/TTD/TTDPATCH.CFG");
    state().GrfFileName = QStringLiteral("/Games/TTD/NewGrfW.cfg");
    w.showTabStrip(0);
    hover(background);
    QCOMPARE(statusTip(w), QStringLiteral("Editing /games/ttd/ttdpatch.cfg"));
    w.showTabStrip(1);
    hover(c.picOptions[1]);
    QCOMPARE(statusTip(w), QStringLiteral("Editing /games/ttd/newgrfw.cfg"));

    // Tabs 3 and 4: the patch status over a panel or the tab strip, nothing over the background.
    w.showTabStrip(3);
    w.UpdateStatusBar(QStringLiteral("kept"), QString());
    hover(background);
    QCOMPARE(statusTip(w), QStringLiteral("kept"));
    hover(c.TabStrip1);
    QCOMPARE(statusTip(w), c.lblCap[6]->text());

    // The news line waits for the mouse to move over these areas again.
    w.NewsReady = true;
    QVERIFY(!c.tmrNews->isActive());
    hover(c.stbMain);
    QVERIFY(c.tmrNews->isActive());
}

void MainWindowTest::tabSwitchShowsOnePanelAndClearsTheSearch()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
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
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(c.picOptions[std::size_t(i)]->isVisible(), i == 2);
        QCOMPARE(c.picOptions[std::size_t(i)]->isEnabled(), i == 2);
    }
    QVERIFY(!c.fraWelcome->isVisible());
}

void MainWindowTest::titleTypesItselfTwoCharactersPerTick()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
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

    // Without translucency support the caption is set at once.
    TestServices u;
    StartupEnvironment env = u.environment();
    env.translucency = false;
    StartedProgram plain(u, env);
    QCOMPARE(plain.main().windowTitle(), title);
    QVERIFY(!plain.main().controls().tmrTitlebar->isActive());
}

void MainWindowTest::versionDisplay_data()
{
    QTest::addColumn<QString>("detected");
    QTest::addColumn<int>("edition");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("tip2");
    QTest::addColumn<int>("icon");
    QTest::newRow("querying") << QStringLiteral("quering...") << 1 << QStringLiteral("Detecting TTDPatch version...")
                              << QStringLiteral("Please wait...") << 98;
    QTest::newRow("unknown") << QStringLiteral("(unknown TTDPatch version)") << 1
                             << QStringLiteral("Using unknown TTDPatch version.") << QStringLiteral("Done") << 97;
    QTest::newRow("none") << QStringLiteral("none") << 2 << QStringLiteral("No TTDPatch version was found.")
                          << QStringLiteral("Done") << 104;
    QTest::newRow("off, Windows") << QStringLiteral("(version detection off)") << 1
                                  << QStringLiteral("Using TTDPatch for Windows.") << QStringLiteral("Done") << 100;
    QTest::newRow("off, DOS") << QStringLiteral("(version detection off)") << 2
                              << QStringLiteral("Using TTDPatch for DOS.") << QStringLiteral("Done") << 101;
    QTest::newRow("a version, DOS") << QStringLiteral("TTDPatch V2.0.1 alpha 67") << 2
                                    << QStringLiteral("TTDPatch V2.0.1 alpha 67 detected.") << QStringLiteral("Done")
                                    << 101;
}

void MainWindowTest::versionDisplay()
{
    QFETCH(QString, detected);
    QFETCH(int, edition);
    QFETCH(QString, status);
    QFETCH(QString, tip2);
    QFETCH(int, icon);
    TestServices t;
    StartupEnvironment env = t.environment();
    env.translucency = false;
    StartedProgram p(t, env);
    state().DetectedPatchVersion = detected;
    state().PatchEdition = modMain::Edition(edition);
    p.main().UpdateVersionDisplay();
    auto &c = p.main().controls();
    QCOMPARE(c.lblCap[6]->text(), status);
    QCOMPARE(c.stbPanels[0]->text(), status);
    QCOMPARE(c.stbPanels[1]->text(), tip2);
    QCOMPARE(c.imgPatchVersion->property("iconNumber").toInt(), icon);
    QCOMPARE(p.main().windowTitle(), QStringLiteral("Vexal Pro %1 - %2").arg(state().ProgramVersion, status));
}

void MainWindowTest::translucencyFollowsBoxAndSlider()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
    auto &c = w.controls();
    c.sldBlend->setValue(170);
    c.chkBlend->setChecked(true);
    QVERIFY(c.sldBlend->isEnabled());
    QVERIFY(c.lblCap[14]->isEnabled());
    QVERIFY(state().BlendEnabled);
    QCOMPARE(state().BlendLevel, 170);
    QVERIFY(qAbs(w.windowOpacity() - 170 / 255.0) < 0.01);
    c.sldBlend->setValue(220);
    QVERIFY(qAbs(w.windowOpacity() - 220 / 255.0) < 0.01);
    c.chkBlend->setChecked(false);
    QVERIFY(!c.sldBlend->isEnabled());
    QVERIFY(!c.lblCap[14]->isEnabled());
    QVERIFY(!state().BlendEnabled);
    QCOMPARE(w.windowOpacity(), 1.0);
}

void MainWindowTest::statusBarToggleChangesTheHeight()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
    auto &c = w.controls();
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

namespace {
struct Switched {
    QList<QWidget *> widgets;
    QList<QAction *> actions;
};

Switched disabledSet(MainWindowControls &c)
{
    Switched s;
    s.widgets = {c.cboPatchServer, c.cboVexalServer, c.cboFont, c.cboSize, c.cmdOpen, c.cmdSave, c.cmdRun, c.cmdExit,
        c.cmdLU, c.cmdGetStable, c.cmdGetAlpha, c.cmdReset, c.lblCap[15], c.lblCap[16], c.lblCap[20], c.lblCap[26],
        c.lblCap[27]};
    for (QCheckBox *box : c.optionBoxes())
        s.widgets.append(box);
    s.actions = {c.mnuCheckVexal, c.mnuOpen, c.mnuSave, c.mnuSaveAndRun, c.mnuRunTTD, c.mnuRunPloven, c.mnuRunNarwick,
        c.mnuRunAlter, c.mnuRegedit, c.mnuVersionGet};
    return s;
}
} // namespace

void MainWindowTest::disableAndEnableSwitchExactlyTheirSets()
{
    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
    auto &c = w.controls();
    state().PatchEdition = modMain::Edition::Windows;
    const Switched blocked = disabledSet(c);
    // Everything named in the window that the set does not name stays as it is.
    QList<QWidget *> others;
    for (QWidget *widget : w.findChildren<QWidget *>()) {
        if (!widget->objectName().isEmpty() && widget->isEnabled() && !blocked.widgets.contains(widget)
            && widget->objectName() != QLatin1String("chkBlend"))
            others.append(widget);
    }
    QVERIFY(others.contains(c.cmdInfo) && others.contains(c.cboLanguage) && others.contains(c.txtFind));

    w.DisableControls();
    QVERIFY(!state().ControlsEnabled);
    QCOMPARE(
        QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor, Qt::BusyCursor);
    for (QWidget *widget : blocked.widgets)
        QVERIFY2(!widget->isEnabled(), qPrintable(widget->objectName()));
    for (QAction *action : blocked.actions)
        QVERIFY2(!action->isEnabled(), qPrintable(action->objectName()));
    for (QWidget *widget : others)
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));

    c.pgbMain->setVisible(true);
    c.pgbMain->setValue(40);
    c.tmrTimeout->start();
    w.EnableControls();
    QVERIFY(state().ControlsEnabled);
    QVERIFY(!QApplication::overrideCursor());
    for (QWidget *widget : blocked.widgets)
        QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
    for (QAction *action : blocked.actions)
        QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
    QVERIFY(c.pgbMain->isHidden());
    QCOMPARE(c.pgbMain->value(), 0);
    QVERIFY(!c.tmrTimeout->isActive());
}

void MainWindowTest::enableHonoursBlocksAndOptions()
{
    TestServices t;
    StartupEnvironment env = t.environment();
    env.translucency = false;
    StartedProgram p(t, env);
    frmMain &w = p.main();
    auto &c = w.controls();
    c.chkUpdatePatch->setChecked(false);
    state().PatchEdition = modMain::Edition::Dos;
    state().AlphaDescription = QStringLiteral("Fixes and new switches");
    w.StableInstallBlock = true;
    w.SelfCheckBlock = true;
    w.DisableControls();
    w.EnableControls();
    QVERIFY(!c.cboPatchServer->isEnabled());
    QVERIFY(!c.lblCap[16]->isEnabled());
    QVERIFY(c.cboVexalServer->isEnabled());
    QVERIFY(!c.mnuRegedit->isEnabled());
    QVERIFY(!c.mnuCheckVexal->isEnabled());
    QVERIFY(!c.cmdLU->isEnabled());
    QVERIFY(!c.cmdGetStable->isEnabled());
    QVERIFY(c.cmdGetAlpha->isEnabled());
    QVERIFY(!c.chkBlend->isEnabled());
}

void MainWindowTest::closingDuringTransferAsks()
{
    TestServices t;
    {
        StartedProgram p(t);
        frmMain &w = p.main();
        w.DisableControls();
        t.dialogs.queueAnswer(Answer::No);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(t.dialogs.prompts().size(), 1);
        const auto prompt = t.dialogs.prompts().first();
        QCOMPARE(prompt.text, text(130));
        QCOMPARE(prompt.icon, MessageIcon::Exclamation);
        QCOMPARE(prompt.buttons, MessageButtons::YesNo);
        QCOMPARE(prompt.defaultButton, Answer::No);
        QVERIFY(!hasKey(t, QStringLiteral("Language")));

        t.dialogs.queueAnswer(Answer::Yes);
        QVERIFY(w.close());
    }
    QCOMPARE(stored(t, QStringLiteral("Language")), QStringLiteral("ENGLISH"));
}

void MainWindowTest::recentFileEntries_data()
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

void MainWindowTest::recentFileEntries()
{
    QFETCH(QString, recent1);
    QFETCH(QString, recent2);
    QFETCH(bool, ql1);
    QFETCH(bool, ql2);
    TestServices t;
    for (const char *name : {"a.cfg", "b.cfg"}) {
        QFile file(t.root() + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    auto path = [&t](const QString &name) {
        return name == QLatin1String("---") ? name : t.root() + QLatin1Char('/') + name;
    };
    t.presetSettings({{QStringLiteral("Recent1"), path(recent1)}, {QStringLiteral("Recent2"), path(recent2)}});
    StartedProgram p(t);
    auto &c = p.main().controls();
    QCOMPARE(c.QL1->isVisible(), ql1);
    QCOMPARE(c.QL2->isVisible(), ql2);
    QCOMPARE(c.brk00->isVisible(), ql1 || ql2);
    if (ql2) {
        QCOMPARE(c.QL2->text(), path(recent2));
        c.QL2->trigger();
        QCOMPARE(state().CfgFileName, path(recent2));
    }
}

void MainWindowTest::languageSwitchWithinOneTick()
{
    TestServices spanishRun;
    StartedProgram spanish(spanishRun, spanishRun.environment(QStringLiteral("SPANISH")));
    const QMap<QString, QString> expected = captionsOf(spanish.main());
    spanish.main().hide();

    TestServices t;
    StartedProgram p(t);
    frmMain &w = p.main();
    auto &c = w.controls();
    const QMap<QString, QString> english = captionsOf(w);

    QFocusEvent focusIn(QEvent::FocusIn);
    QApplication::sendEvent(c.cboLanguage, &focusIn);
    QVERIFY(c.tmrLanguage->isActive());
    c.cboLanguage->setCurrentIndex(1);
    QSignalSpy ticks(c.tmrLanguage, &QTimer::timeout);
    QVERIFY(ticks.wait(200));
    QCOMPARE(state().LanguageName, QStringLiteral("SPANISH"));
    QCOMPARE(c.imgFlag->property("iconNumber").toInt(), 3);
    QCOMPARE(c.mnuRunAlter->text(), QStringLiteral("Ejecutar TTD Alter"));
    QCOMPARE(c.stbPanels[1]->text(), text(1057));

    // Switching live gives the captions of a start in Spanish, and every text caption moved.
    const QMap<QString, QString> switched = captionsOf(w);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (it.key() == QLatin1String("#title") || it.key().startsWith(QLatin1String("Label")))
            continue;
        QCOMPARE(switched.value(it.key()), it.value());
    }
    int changed = 0;
    for (auto it = english.cbegin(); it != english.cend(); ++it)
        changed += switched.value(it.key()) != it.value();
    QVERIFY2(changed > 60, qPrintable(QString::number(changed)));

    QFocusEvent focusOut(QEvent::FocusOut);
    QApplication::sendEvent(c.cboLanguage, &focusOut);
    QVERIFY(!c.tmrLanguage->isActive());
    QVERIFY(w.close());
    QCOMPARE(stored(t, QStringLiteral("Language")), QStringLiteral("SPANISH"));
}

void MainWindowTest::applyingTextsTwiceChangesNothing()
{
    TestServices t;
    StartedProgram p(t, t.environment(QStringLiteral("HUNGARIAN")));
    frmMain &w = p.main();
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

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
