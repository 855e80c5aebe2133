// The game's programs under the real Wine and DOSBox: the stand-ins of demo/standins, started
// through the main window as a player starts them.
#include "testsupport.h"
#include "zipbuilder.h"

#include "common/settingkeys.h"
#include "liveupdate/liveupdate.h"
#include "platform/executables.h"
#include "shell/frmmain.h"
#include "shell/mainwindowcontrols.h"

#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

using modMain::state;
using namespace Qt::StringLiterals;

namespace {

const QString StandIns = QStringLiteral(VEXAL_STANDINS_DIR "/");
const QString WindowsPatchVersion = QStringLiteral("TTDPatch 2.6 alpha 0 r1651 (Windows)");
const QString DosPatchVersion = QStringLiteral("TTDPatch V2.0.1 alpha 67");

QString firstLineOf(const QString &path)
{
    return QString::fromLocal8Bit(readBytes(path)).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// Runs a program of the prefix's Wine to its end.
bool runWine(const QString &prefix, const QStringList &arguments, const QString &program = QStringLiteral("wine"))
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), prefix);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(180000) && process.exitCode() == 0;
}

} // namespace

class RunnersTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;

    // A demo game folder with the built stand-in as its patch, inside the test's Wine prefix for
    // the Windows edition.
    void prepare(GameSession &s, const QString &game, const QString &patch, const QString &folder = {})
    {
        const QString target = game == QLatin1String("game") ? QString(m_prefix + QStringLiteral("/drive_c/TTD"))
                                                             : QString(s.t.root() + QStringLiteral("/") + folder);
        QDir(target).removeRecursively();
        s.folder = copyDemoGame(game, target);
        const QString patchName = game == QLatin1String("game") ? "ttdpatchw.exe" : "ttdpatch.exe";
        QFile::remove(s.folder + patchName);
        QVERIFY(QFile::copy(StandIns + patch, s.folder + patchName));
    }

private slots:
    void initTestCase()
    {
        // No window and no sound from Wine or DOSBox, whichever way they are started here, and
        // DOSBox's configuration in the test's folder.
        qunsetenv("DISPLAY");
        qputenv("SDL_VIDEODRIVER", "dummy");
        qputenv("SDL_AUDIODRIVER", "dummy");
        qputenv("WINEDEBUG", "-all");
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
        qputenv("HOME", m_root.filePath(QStringLiteral("home")).toLocal8Bit());
        QDir(m_root.path()).mkpath(QStringLiteral("home"));
        // One prefix for the whole test: setting one up takes seconds.
        m_prefix = m_root.filePath(QStringLiteral("prefix"));
        QVERIFY(runWine(m_prefix, {QStringLiteral("wineboot"), QStringLiteral("--init")}));
        QVERIFY(runWine(m_prefix, {QStringLiteral("-w")}, QStringLiteral("wineserver")));
    }

    void cleanupTestCase() { runWine(m_prefix, {QStringLiteral("-k")}, QStringLiteral("wineserver")); }

    void versionFoundThroughTheRunner_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("list"); // as the runner names it
        QTest::newRow("wine") << u"game"_s << u"ttdpatchw.exe"_s << WindowsPatchVersion << u"swtchlst.txt"_s;
        QTest::newRow("dosbox") << u"dos-game"_s << u"ttdpatch.exe"_s << DosPatchVersion << u"SWTCHLST.TXT"_s;
    }

    void versionFoundThroughTheRunner()
    {
        QFETCH(QString, game);
        QFETCH(QString, patch);
        QFETCH(QString, version);
        QFETCH(QString, list);
        GameSession s(game, true);
        prepare(s, game, patch, QStringLiteral("dos game, it's é"));
        // A list left in the other letter case is not taken for the new one.
        writeBytes(s.path(list == QLatin1String("swtchlst.txt") ? "SWTCHLST.TXT" : "swtchlst.txt"), "old\r\n");
        s.open();
        QCOMPARE(state().DetectedPatchVersion, version);
        QTRY_VERIFY(s.main().windowTitle().endsWith(version + QStringLiteral(" detected.")));
        QVERIFY(QFile::exists(s.path(list)));
        QCOMPARE(entriesOf(s.folder).filter(QStringLiteral("swtchlst"), Qt::CaseInsensitive), QStringList {list});
        QVERIFY(s.t.dialogs.prompts().isEmpty());

        // Asked again from the menu, the patch runs again.
        QFile::remove(s.path(list));
        s.main().controls().mnuVersionGet->trigger();
        QCOMPARE(state().DetectedPatchVersion, version);
        QVERIFY(QFile::exists(s.path(list)));
    }

    void runStartsThePatchInTheGameFolder_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("folder"); // as the patch sees its working folder
        QTest::newRow("wine") << u"game"_s << u"ttdpatchw.exe"_s << u"ttdpatchw-ran.txt"_s << u"C:\\TTD"_s;
        QTest::newRow("dosbox") << u"dos-game"_s << u"ttdpatch.exe"_s << u"RAN.TXT"_s << u"C:\\"_s;
    }

    void runStartsThePatchInTheGameFolder()
    {
        QFETCH(QString, game);
        QFETCH(QString, patch);
        QFETCH(QString, record);
        QFETCH(QString, folder);
        GameSession s(game, true);
        prepare(s, game, patch, QStringLiteral("dos game"));
        s.t.presetSettings({{QStringLiteral("VersionGet"), QStringLiteral("0")}});
        s.open();
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        QVERIFY(!s.main().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.path(record)), 30000);
        // Without arguments: the patch reads the configuration it finds there.
        QTRY_COMPARE(QString::fromLocal8Bit(readBytes(s.path(record))).trimmed(), folder);
    }

    // A release installed from the update server: its text maker, a Windows program, runs through
    // Wine in the game folder's prefix once the archive is unpacked.
    void theTextMakerRunsThroughWineAfterAnInstall()
    {
        UpdateServer server;
        GameSession s(QStringLiteral("game"), true);
        prepare(s, QStringLiteral("game"), QStringLiteral("ttdpatchw.exe"));
        s.t.presetSettings({{QStringLiteral("VersionGet"), QStringLiteral("0")}});
        s.open();
        const QByteArray program = readBytes(StandIns + QStringLiteral("ttdpatchw.exe"));
        QTemporaryDir served;
        QVERIFY(buildZip(served.filePath(QStringLiteral("ttdpw.zip")),
            {{"ttdpatchw.exe", program, ZIP_EM_NONE, 0100644}, {"MKPTTXT.EXE", program, ZIP_EM_NONE, 0100644}}));
        server.serveFolder(QStringLiteral("/patch/"), served.path());
        server.serve(QStringLiteral("/patch/_versions.txt"),
            {.body = "[TTDP Stable]\nversion=TTDPatch 2.6\ndate=May 13, 2012\nwinfilename=ttdpw.zip\n"
                     "[TTDP Alpha-Beta]\nversion=2.6 alpha 1\n"});
        state().LatestAlpha = QStringLiteral("2.6 alpha 1");
        s.main().liveUpdate().cmdLU_Click();
        s.main().liveUpdate().cmdGetStable_Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.path(QStringLiteral("mkpttxt-ran.txt"))), 30000);
        QTRY_COMPARE(firstLineOf(s.path(QStringLiteral("mkpttxt-ran.txt"))), QStringLiteral("C:\\TTD"));
        QVERIFY(state().ControlsEnabled);
    }

    // What cannot start is told, nothing is lost, and the program stays open.
    void whatCannotStartIsTold_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("runner"); // stored for the edition; default when empty
        QTest::addColumn<QString>("message"); // its start, "" for none
        const auto row = [](const char *tag, const char *game, const char *patch, const char *folder,
                             const char *runner, const char *message) {
            QTest::newRow(tag) << QString::fromUtf8(game) << QString::fromUtf8(patch) << QString::fromUtf8(folder)
                               << QString::fromUtf8(runner) << QString::fromUtf8(message);
        };
        const char *noMount
            = "DOSBox cannot use the folder @: its path contains a character that a DOS command line cannot";
        row("runner missing", "game", "ttdpatchw.exe", "", "/nonexistent/wine",
            "@ttdpatchw.exe cannot be started: \"/nonexistent/wine\" was not found");
        row("folder DOSBox cannot mount", "dos-game", "ttdpatch.exe", "say \"hi\"", "", noMount);
        row("percent sign in the folder", "dos-game", "ttdpatch.exe", "100%", "", noMount);
        row("32-bit program without 32-bit Wine", "game", "ttdpatchw-i386.exe", "", "",
            "@ttdpatchw.exe is a 32-bit Windows program, and the Wine on this computer runs only 64-bit");
        // Ended at the query's limit: what it would still have done never happens.
        row("hanging", "game", "ttdpatchw.exe", "", "sh -c \"sleep 2; touch ../ended-late\" %exe%", "");
    }

    void whatCannotStartIsTold()
    {
        QFETCH(QString, game);
        QFETCH(QString, patch);
        QFETCH(QString, folder);
        QFETCH(QString, runner);
        QFETCH(QString, message);
        if (patch.contains(QLatin1String("i386"))
            && executables::runs32BitWindowsPrograms(executables::findRunner(QStringLiteral("wine"))))
            QSKIP("This machine runs 32-bit Windows programs.");
        GameSession s(game, true);
        s.t.useRealProcesses(false); // the query's limit passes at once
        prepare(s, game, patch, folder);
        if (!runner.isEmpty())
            s.t.presetSettings({{game == QLatin1String("game") ? "WindowsRunner" : "DosRunner", runner}});
        const QByteArray cfg = readBytes(s.path());
        const QString expected = QString(message).replace(
            QLatin1Char('@'), game == QLatin1String("game") ? s.folder : QDir::cleanPath(s.folder));

        s.open();
        QCOMPARE(state().DetectedPatchVersion, QStringLiteral("(unknown TTDPatch version)"));
        QList<ScriptedDialogs::Prompt> prompts = s.t.dialogs.takePrompts();
        QCOMPARE(prompts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY2(prompts[0].text.startsWith(expected), qPrintable(prompts[0].text));
            QCOMPARE(prompts[0].icon, MessageIcon::Critical);
            QCOMPARE(prompts[0].title, QStringLiteral("Vexal Pro"));
            // Run says so too, and nothing closes.
            QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
            prompts = s.t.dialogs.takePrompts();
            QCOMPARE(prompts.size(), 1);
            QVERIFY(prompts[0].text.startsWith(expected));
            QVERIFY(s.main().isVisible());
        } else {
            QTest::qWait(3000);
            QVERIFY(!QFile::exists(s.folder + QStringLiteral("../ended-late")));
        }
        QVERIFY(state().ControlsEnabled);
        QCOMPARE(readBytes(s.path()), cfg);
    }
};

QTEST_MAIN(RunnersTest)
#include "tst_runners.moc"
