// Which edition a game folder holds, how each kind of program is started, and the companion tools;
// the game's programs under the real Wine and DOSBox: the stand-ins of demo/standins, started
// through the main window as a player starts them.
#include "testsupport.h"

#include "common/settingkeys.h"
#include "launch/companiontools.h"
#include "platform/executables.h"
#include "shell/frmmain.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using modMain::state;
using namespace Qt::StringLiterals;
using Tool = CompanionTools::Tool;

namespace {

const QString StandIns = QStringLiteral(VEXAL_STANDINS_DIR "/");

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

// What was started, as "program arguments @ working folder".
QStringList startsOf(const RecordingShell &shell)
{
    QStringList list;
    for (const auto &call : shell.calls)
        list << call.target + ' ' + call.arguments.join(' ') + " @ " + call.workingFolder;
    return list;
}

} // namespace

class LaunchTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;

    // A demo game folder with the built stand-in as its patch, inside the test's Wine prefix for
    // the Windows edition.
    void prepare(GameSession &s, const QString &game, const QString &folder = {}, QString patch = {})
    {
        const bool windows = game == QLatin1String("game");
        const QString target = windows ? m_prefix + u"/drive_c/TTD"_s : QString(s.t.root() + u'/' + folder);
        QDir(target).removeRecursively();
        s.folder = copyDemoGame(game, target);
        const QString patchName = windows ? u"ttdpatchw.exe"_s : u"ttdpatch.exe"_s;
        QFile::remove(s.folder + patchName);
        QVERIFY(QFile::copy(StandIns + (patch.isEmpty() ? patchName : patch), s.folder + patchName));
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

    // Through its runner the patch's version is found, and Run starts it in the game folder, where
    // it reads the configuration it finds; or what cannot start is told, also by Run, nothing is
    // lost, and the program stays open.
    void thePatchThroughItsRunner_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("patch"); // the stand-in
        QTest::addColumn<QString>("folder"); // of the DOS game
        QTest::addColumn<QString>("runner"); // stored for the edition; default when empty
        QTest::addColumn<QString>("version"); // empty: the start of the message follows
        QTest::addColumn<QString>("message"); // "@" for the game folder
        const auto row = [](const char *tag, const char *game, const char *patch, const char *folder,
                             const char *runner, const char *version, const char *message = "") {
            QTest::newRow(tag) << QString::fromUtf8(game) << QString::fromUtf8(patch) << QString::fromUtf8(folder)
                               << QString::fromUtf8(runner) << QString::fromUtf8(version) << QString::fromUtf8(message);
        };
        row("wine", "game", "ttdpatchw.exe", "", "", "TTDPatch 2.6 alpha 0 r1651 (Windows)");
        row("dosbox", "dos-game", "ttdpatch.exe", "dos game, it's é", "", "TTDPatch V2.0.1 alpha 67");
        row("runner missing", "game", "ttdpatchw.exe", "", "/nonexistent/wine", "",
            "@ttdpatchw.exe cannot be started: \"/nonexistent/wine\" was not found");
        row("percent sign in the folder", "dos-game", "ttdpatch.exe", "100%", "", "",
            "DOSBox cannot use the folder @: its path contains a character that a DOS command line cannot");
        row("32-bit program without 32-bit Wine", "game", "ttdpatchw-i386.exe", "", "", "",
            "@ttdpatchw.exe is a 32-bit Windows program, and the Wine on this computer runs only 64-bit");
    }

    void thePatchThroughItsRunner()
    {
        QFETCH(QString, game);
        QFETCH(QString, patch);
        QFETCH(QString, folder);
        QFETCH(QString, runner);
        QFETCH(QString, version);
        QFETCH(QString, message);
        if (patch.contains(QLatin1String("i386"))
            && executables::runs32BitWindowsPrograms(executables::findRunner(QStringLiteral("wine"))))
            QSKIP("This machine runs 32-bit Windows programs.");
        const bool windows = game == QLatin1String("game");
        GameSession s(game, true);
        prepare(s, game, folder, patch);
        if (!runner.isEmpty())
            s.t.presetSettings({{windows ? "WindowsRunner" : "DosRunner", runner}});
        const QByteArray cfg = readBytes(s.path());
        // DOSBox writes new names in capitals; a list left in the other letter case is not taken
        // for the new one.
        const QString list = windows ? u"swtchlst.txt"_s : u"SWTCHLST.TXT"_s;
        writeBytes(s.path(windows ? u"SWTCHLST.TXT"_s : u"swtchlst.txt"_s), "old\r\n");
        s.open();
        if (version.isEmpty()) {
            const QString expected = message.replace(u'@', windows ? s.folder : QDir::cleanPath(s.folder));
            QCOMPARE(state().DetectedPatchVersion, QStringLiteral("(unknown TTDPatch version)"));
            const auto prompts = s.t.dialogs.takePrompts();
            QVERIFY2(prompts.size() == 1 && prompts[0].text.startsWith(expected), qPrintable(prompts.value(0).text));
            QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
            QVERIFY(s.t.dialogs.takePrompts().value(0).text.startsWith(expected));
            QVERIFY(s.main().isVisible());
            QVERIFY(state().ControlsEnabled);
            QCOMPARE(readBytes(s.path()), cfg);
            return;
        }
        QCOMPARE(state().DetectedPatchVersion, version);
        QCOMPARE(
            readSettingNumber(*s.t.settings, settingKeys::PatchVersionSize), QFileInfo(state().PatchExecutable).size());
        QCOMPARE(entriesOf(s.folder).filter(QStringLiteral("swtchlst"), Qt::CaseInsensitive), QStringList {list});
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        QVERIFY(s.t.dialogs.prompts().isEmpty()); // nothing changed, nothing asked
        QVERIFY(!s.main().isVisible());
        const QString record = windows ? u"ttdpatchw-ran.txt"_s : u"RAN.TXT"_s;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.path(record)), 30000);
        QTRY_COMPARE(QString::fromLocal8Bit(readBytes(s.path(record))).trimmed(), windows ? u"C:\\TTD"_s : u"C:\\"_s);
    }

    // How each kind of program is started, with the runner templates as a user may store them.
    // "@" in a cell stands for the test's folder; runners are small scripts there. The command is
    // the program and its arguments joined by "|", then where its output goes and its environment.
    void commandsForRunners_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("runBit");
        QTest::addColumn<QString>("runner"); // the template of the program's kind
        QTest::addColumn<QString>("folder"); // the program's folder, below "@"
        QTest::addColumn<QString>("output"); // the file its standard output is wanted in
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("command");
        using P = executables::Problem;
        const auto row = [](const char *tag, const QByteArray &head, bool runBit, const char *runner,
                             const char *folder, const char *output, P problem, const char *command = "",
                             const char *outputFile = "", const char *environment = "") {
            QTest::newRow(tag) << head << runBit << QString::fromUtf8(runner) << QString::fromUtf8(folder)
                               << QString::fromUtf8(output) << int(problem)
                               << (*command ? QStringList {command, outputFile, environment}.join(u" ; ") : QString());
        };
        const QByteArray script("#!/bin/sh\nexit 0\n");
        const QByteArray dos("MZ\x90\0\x03", 5);
        const QByteArray pe = portableExecutable();
        const QByteArray i386 = portableExecutable(executables::MachineI386);
        const char *wine = "WINEPREFIX=@/pfx|WINEDEBUG=-all";
        const char *sdl = "SDL_VIDEODRIVER=dummy|SDL_AUDIODRIVER=dummy";
        const char *ttd = "pfx/drive_c/TTD";
        row("native output", script, true, "", "game", "list.txt", P::None, "@/game/patch.exe|-h", "@/game/list.txt");
        row("script without run bit", "#!/bin/sh\n", false, "", "game", "", P::NotRunnable);
        row("windows, template", pe, false, "@/bin/wine 100%% %folder% %args% x%args%y", ttd, "list.txt", P::None,
            "@/bin/wine|100%|@/pfx/drive_c/TTD|-h|x-hy", "@/pfx/drive_c/TTD/list.txt", wine);
        // A runner as stored before templates: the program's words follow it.
        row("windows 32-bit", i386, false, "@/bin/wine --quiet", ttd, "", P::None,
            "@/bin/wine|--quiet|@/pfx/drive_c/TTD/patch.exe|-h", "", wine);
        row("windows 32-bit, no 32-bit Wine", i386, false, "@/bin/wine64only", ttd, "", P::No32BitWine);
        // Wine's own loaders: a 32-bit one, a 64-bit "wine64" alone or with its 32-bit twin, and a
        // 64-bit "wine" (a WoW64 build, which runs both).
        row("32-bit loader", i386, false, "@/elf32/wine", ttd, "", P::None,
            "@/elf32/wine|@/pfx/drive_c/TTD/patch.exe|-h", "", wine);
        row("wine64 alone", i386, false, "@/elf64/wine64", ttd, "", P::No32BitWine);
        row("wine64 with its twin", i386, false, "@/twin/wine64", ttd, "", P::None,
            "@/twin/wine64|@/pfx/drive_c/TTD/patch.exe|-h", "", wine);
        row("wine64 with a 64-bit twin", i386, false, "@/twin64/wine64", ttd, "", P::No32BitWine);
        row("WoW64 wine", i386, false, "@/wow64/wine", ttd, "", P::None, "@/wow64/wine|@/pfx/drive_c/TTD/patch.exe|-h",
            "", wine);
        row("windows 64-bit, no 32-bit Wine", pe, false, "@/bin/wine64only", ttd, "", P::None,
            "@/bin/wine64only|@/pfx/drive_c/TTD/patch.exe|-h", "", wine);
        row("runner empty", dos, false, "", "game", "", P::RunnerMissing);
        row("dos", dos, false, "@/bin/dosbox", "dos game", "swtchlst.txt", P::None,
            "@/bin/dosbox|-c|mount c \"@/dos game\"|-c|c:|-c|PATCH.EXE -h > SWTCHLST.TXT|-c|exit", "", sdl);
        row("dos, template without redirection", dos, false,
            "@/bin/dosbox -c \"mount d %dosfolder%\" -c \"d:\\%dosexe% %args%\"", "dos game", "swtchlst.txt", P::None,
            "@/bin/dosbox|-c|mount d \"@/dos game\"|-c|d:\\PATCH.EXE -h", "@/dos game/swtchlst.txt", sdl);
        row("dos, folder with a double quote", dos, false, "@/bin/dosbox", "say \"hi\"", "", P::FolderNotForDos);
    }

    void commandsForRunners()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, runBit);
        QFETCH(QString, runner);
        QFETCH(QString, folder);
        QFETCH(QString, output);
        QFETCH(QString, command);
        QTemporaryDir dir;
        const auto here = [&](QString text) { return text.replace(QLatin1Char('@'), dir.path()); };
        // Runners as scripts (Debian's wrapper names the 32-bit loader it needs) and Wine's own
        // loaders, of which only the ELF class counts.
        const QString loader = dir.filePath(QStringLiteral("bin/wine32-loader"));
        const QByteArray elf32 = QByteArray::fromHex("7f454c4601"), elf64 = QByteArray::fromHex("7f454c4602");
        for (const auto &[name, bytes] : {std::pair {"bin/wine32-loader", QByteArray("#!/bin/sh\n")},
                 {"bin/wine", "#!/bin/sh -e\nwine32=" + loader.toUtf8() + "\n"},
                 {"bin/wine64only", "#!/bin/sh -e\nwine32=/nonexistent/wine\n"}, {"bin/dosbox", "#!/bin/sh\n"},
                 {"elf32/wine", elf32}, {"elf64/wine64", elf64}, {"twin/wine64", elf64}, {"twin/wine", elf32},
                 {"twin64/wine64", elf64}, {"twin64/wine", elf64}, {"wow64/wine", elf64}}) {
            QVERIFY(QDir(dir.path()).mkpath(QFileInfo(QString::fromLatin1(name)).path()));
            writeProgram(dir.filePath(QString::fromLatin1(name)), bytes, 0755);
        }
        QVERIFY(QDir(dir.path()).mkpath(folder));
        const QString path = dir.filePath(folder + QStringLiteral("/patch.exe"));
        writeProgram(path, head, runBit ? 0755 : 0644);

        const executables::Launch launch {
            path, {QStringLiteral("-h")}, dir.filePath(folder), WindowMode::Hidden, dir.filePath(folder), output};
        const auto result = executables::commandFor(launch, {here(runner), here(runner)});
        QTEST(int(result.problem), "problem");
        QStringList variables;
        for (const auto &[name, value] : result.start.environment)
            variables.append(name + QLatin1Char('=') + value);
        const QStringList started = QStringList {result.start.program} + result.start.arguments;
        const QStringList parts {started.join(u'|'), result.start.outputFile, variables.join(u'|')};
        QCOMPARE(result.isValid() ? parts.join(u" ; ") : QString(), here(command));
    }

    void dosNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dosName");
        for (const auto &[name, dosName] :
            {std::pair {"ttdpatch.exe", "TTDPATCH.EXE"}, {"readme", "README"}, {"ttdpatchw.exe", "TTDPAT~1.EXE"},
                {"my patch.v2.exe", "MYPATC~1.EXE"}, {"patch.html", "PATCH~1.HTM"}, {"notes.t xt", "NOTES~1.TXT"}})
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(dosName);
    }

    void dosNames()
    {
        QFETCH(QString, name);
        QTEST(executables::dosNameOf(name), "dosName");
    }

    void editionDialogAndRemovalOffers_data()
    {
        QTest::addColumn<QStringList>("files"); // executables in the folder
        QTest::addColumn<QString>("page"); // "" none, "game" or "patch" (where the DOS edition is chosen)
        QTest::addColumn<int>("edition");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("removalOffer"); // the file whose removal is offered
        QTest::newRow("windows, both patches")
            << QStringList {"GameGFX.exe", "ttdpatchw.exe", "ttdpatch.exe"} << QString() << 1 << "ttdpatchw.exe"
            << "ttdpatch.exe (DOS TTDPatch)";
        QTest::newRow("no game") << QStringList {"ttdpatchw.exe"} << "game" << 0 << "ttdpatch.exe"
                                 << "ttdpatchw.exe";
        QTest::newRow("windows game, DOS patch only, DOS chosen")
            << QStringList {"GameGFX.exe", "ttdpatch.exe"} << "patch" << 2 << "ttdpatch.exe" << QString();
        // Both games: the DOS one's, whose patch is missing, so the person confirms the DOS edition.
        QTest::newRow("both games") << QStringList {"GameGFX.exe", "TTDX.EXE", "ttdpatchw.exe"} << "patch" << 2
                                    << "ttdpatch.exe"
                                    << "ttdpatchw.exe";
        QTest::newRow("upper-case names")
            << QStringList {"TTDX.EXE", "TTDPATCH.EXE"} << QString() << 2 << "TTDPATCH.EXE" << QString();
    }

    void editionDialogAndRemovalOffers()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, page);
        QFETCH(int, edition);
        QFETCH(QString, patch);
        QFETCH(QString, removalOffer);
        GameSession s;
        for (const char *name : {"GameGFX.exe", "ttdpatchw.exe"})
            QFile::remove(s.path(QLatin1String(name)));
        for (const QString &file : files)
            writeBytes(s.folder + file, "MZ");
        // Opened twice: No to the removal offer keeps the file, Yes removes it.
        for (const Answer answer : {Answer::No, Answer::Yes}) {
            if (!page.isEmpty()) {
                s.t.dialogs.queueForm([&](QDialog &form) {
                    // Which page: the edition choice on the patch's, the link to the game on the game's.
                    QCOMPARE(form.findChild<QRadioButton *>(QStringLiteral("optDos"))->isVisible(),
                        page == QLatin1String("patch"));
                    QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("cmdGetttd"))->isVisible(),
                        page == QLatin1String("game"));
                    if (page == QLatin1String("patch"))
                        form.findChild<QRadioButton *>(QStringLiteral("optDos"))->click();
                    form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
                });
            }
            s.t.dialogs.queueAnswer(answer);
            s.open();
            QCOMPARE(int(state().PatchEdition), edition);
            QCOMPARE(state().PatchExecutable, s.folder + patch);
            QCOMPARE(s.main().controls().mnuRegedit->isEnabled(), edition == 1);
            QStringList offers; // the file of each removal offer
            for (const auto &prompt : s.t.dialogs.takePrompts()) {
                if (prompt.kind == ScriptedDialogs::Kind::Message)
                    offers << prompt.text.section(u"\r\n\r\n"_s, 1);
            }
            QCOMPARE(offers, removalOffer.isEmpty() ? QStringList() : QStringList {s.folder + removalOffer});
            if (!removalOffer.isEmpty())
                QCOMPARE(QFile::exists(s.folder + removalOffer.section(u' ', 0, 0)), answer == Answer::No);
        }
    }

    void runAsksToSaveAnEditedConfiguration_data()
    {
        QTest::addColumn<int>("answer"); // to the question whether to save first
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("started");
        QTest::newRow("cancel") << int(Answer::Cancel) << false << false;
        QTest::newRow("no") << int(Answer::No) << false << true;
        QTest::newRow("yes") << int(Answer::Yes) << true << true;
    }
    void runAsksToSaveAnEditedConfiguration()
    {
        QFETCH(int, answer);
        QFETCH(bool, started);
        GameSession s;
        s.open();
        s.t.shell.calls.clear(); // the version query
        const QByteArray before = readBytes(s.path());
        s.t.dialogs.takePrompts();
        QTest::keyClick(s.main().controls().rtbPatch, 'x');
        s.t.dialogs.queueAnswer(Answer(answer));
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        const auto prompts = s.t.dialogs.prompts();
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(prompts.first().text, QStringLiteral("Some file(s) have been modified. Save them before exit?"));
        QCOMPARE(prompts.first().buttons, MessageButtons::YesNoCancel);
        QTEST(readBytes(s.path()) != before, "saved");
        QCOMPARE(s.main().isVisible(), !started);
        // Without arguments, in the game folder.
        QCOMPARE(startsOf(s.t.shell),
            started ? QStringList {s.path(u"ttdpatchw.exe"_s) + u"  @ "_s + s.folder} : QStringList());
        if (started) // closed the normal way
            QCOMPARE(readSetting(*s.t.settings, settingKeys::Language), QStringLiteral("ENGLISH"));
    }

    // A folder without a patch: the edition dialog cannot be escaped, and once confirmed the folder
    // shows that no version is there, not the version of the folder opened before. Save and run then
    // saves, starts nothing and stays open.
    void aFolderWithoutAPatchShowsNoVersionAndRunsNothing()
    {
        GameSession s;
        s.t.shell.onCall = [](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), "2.6 r1\r\n");
        };
        s.open();
        const auto &c = s.main().controls();
        QCOMPARE(c.lblCap[6]->text(), QStringLiteral("TTDPatch 2.6 r1 detected."));
        const QString other = copyDemoGame(QStringLiteral("game"), s.t.root() + QStringLiteral("/other"));
        QFile::remove(other + QStringLiteral("ttdpatchw.exe"));
        for (int i = 0; i < 2; ++i) {
            s.t.dialogs.queueForm([](QDialog &form) {
                QTest::keyClick(&form, Qt::Key_Escape);
                form.close();
                QVERIFY(form.isVisible());
                form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            });
        }
        s.open(other + QStringLiteral("ttdpatch.cfg"));
        const QString none = QStringLiteral("No TTDPatch version was found.");
        QCOMPARE(c.lblCap[6]->text(), none);
        QTRY_VERIFY(s.main().windowTitle().endsWith(QStringLiteral(" - ") + none));
        s.t.shell.calls.clear();
        c.mnuSaveAndRun->trigger();
        QVERIFY(state().EditionDialogConfirmed);
        QVERIFY(s.main().isVisible());
        QVERIFY(state().ControlsEnabled);
        QVERIFY(s.t.shell.calls.isEmpty());
        QVERIFY(readBytes(other + QStringLiteral("ttdpatch.cfg")).startsWith("//vexal="));
    }

    // TTD Alter, Ploven and Narwick start from their remembered place, beside the program, or from
    // the folder the person picks. "<root>" stands for the test's folder, "<lower>" for it lower-cased,
    // "<program>/" for the program folder; "|" separates the prompts.
    void companionTools_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("stored"); // the remembered place before
        QTest::addColumn<QString>("file"); // the file made there
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("chosen"); // the folder browser's answer; empty: cancelled
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("remembered"); // afterwards
        QTest::addColumn<QString>("prompts");
        const auto row = [](const char *tag, Tool tool, const char *stored, const char *file, const char *chosen,
                             const char *started, const char *remembered, const char *prompts,
                             const QByteArray &bytes = portableExecutable()) {
            QTest::newRow(tag) << int(tool) << QString::fromUtf8(stored) << QString::fromUtf8(file) << bytes
                               << QString::fromUtf8(chosen) << QString::fromUtf8(started)
                               << QString::fromUtf8(remembered) << QString::fromUtf8(prompts);
        };
        const char *elsewhere = "<root>/Elsewhere/tool.exe";
        row("Ploven beside", Tool::Ploven, "", "<program>/Ploven.exe", "", "<program>/Ploven.exe", "", "");
        row("Narwick not runnable", Tool::Narwick, "", "<program>/Narwick.exe", "", "", "",
            "critical Vexal Pro: <program>/Narwick.exe cannot be started: it is neither a program of this computer nor "
            "a Windows or DOS program.",
            "text");
        row("TTD Alter stored", Tool::TTDAlter, elsewhere, elsewhere, "", elsewhere, elsewhere, "");
        row("Narwick stored, gone", Tool::Narwick, elsewhere, "", "", "", elsewhere, "browse: Where is the Narwick?");
        row("capitals in the folder", Tool::TTDAlter, "", "<root>/Games/Alter/TTDAlter.exe", "<root>/Games/Alter",
            "<root>/Games/Alter/TTDAlter.exe", "<root>/Games/Alter/TTDAlter.exe", "browse: Where is the TTD Alter?");
        row("wrong folder", Tool::TTDAlter, "", "<root>/Games/Alter/TTDAlter.exe", "<root>/Games", "", "",
            "browse: Where is the TTD Alter?|critical Vexal Pro: <lower>/games/TTDAlter.exe not found.");
    }

    void companionTools()
    {
        QFETCH(int, tool);
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, chosen);
        QFETCH(QString, started);
        QFETCH(QString, remembered);
        QFETCH(QString, prompts);
        TestServices t;
        state().AppFolder = t.root() + "/program/";
        useEnglishTexts();
        const auto expand = [&t](QString text) {
            return text.replace("<program>/", state().AppFolder)
                .replace("<root>", t.root())
                .replace("<lower>", t.root().toLower());
        };
        const std::pair<QString, QString> places[]
            = {{"VexalP", "TTDAlter"}, {"PLVN", "Location"}, {"NRWK", "Location"}};
        const auto [section, key] = places[tool];
        writeProgram(t.root() + "/wine", "#!/bin/sh\n", 0755);
        t.settings->write("Brakemoor Solutions", "VexalP", "WindowsRunner", t.root() + "/wine --quiet");
        if (!stored.isEmpty())
            t.settings->write("Brakemoor Solutions", section, key, expand(stored));
        if (!file.isEmpty()) {
            QDir().mkpath(QFileInfo(expand(file)).path());
            writeBytes(expand(file), bytes);
        }
        t.dialogs.queueText(chosen.isEmpty() ? std::nullopt : std::optional(expand(chosen)));
        CompanionTools(*t.services, nullptr).run(Tool(tool));
        const QString start = t.root() + "/wine --quiet " + expand(started) + " @ " + state().AppFolder;
        QCOMPARE(startsOf(t.shell), started.isEmpty() ? QStringList() : QStringList {start});
        QStringList shown;
        for (const auto &p : t.dialogs.prompts()) {
            if (p.kind == ScriptedDialogs::Kind::BrowseFolder)
                shown << "browse: " + p.title;
            else
                shown << (p.icon == MessageIcon::Critical ? "critical " : "other ") + p.title + ": " + p.text;
        }
        QCOMPARE(shown, expand(prompts).split(u'|', Qt::SkipEmptyParts));
        // A folder picked is on disk at once, not only in this process's settings cache.
        if (!chosen.isEmpty())
            QCOMPARE(readBytes(t.settingsFile()).contains(expand(file).toUtf8()), !remembered.isEmpty());
        QCOMPARE(SettingsStore(t.settingsFolder()).read("Brakemoor Solutions", section, key, "-"),
            remembered.isEmpty() ? "-" : expand(remembered));
    }
};

QTEST_MAIN(LaunchTest)
#include "tst_launch.moc"
