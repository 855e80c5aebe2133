// Which edition a game folder holds, the edition dialog, the removal offers, and starting the game.
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "launch/frmconflict.h"
#include "launch/installation.h"
#include "platform/executables.h"
#include "shell/frmmain.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "common/settingkeys.h"

using modMain::state;

namespace {

struct Session : GameSession {
    using GameSession::GameSession;
    // Opening runs the patch to learn its version; what follows is what these tests look at.
    void open()
    {
        GameSession::open();
        t.shell.calls.clear();
    }
};

QString conflictText(QDialog &form, int line)
{
    return form.findChild<QLabel *>(QStringLiteral("lblMain(%1)").arg(line))->text();
}

} // namespace

class InstallationTest : public QObject {
    Q_OBJECT

private slots:
    // How each kind of program is started, with the runner templates as a user may store them.
    // "@" in a cell stands for the test's folder; runners are small scripts there. The command is
    // the program and its arguments joined by "|".
    void commandsForRunners_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("runBit");
        QTest::addColumn<QString>("runner"); // the template of the program's kind
        QTest::addColumn<QString>("folder"); // the program's folder, below "@"
        QTest::addColumn<QString>("output"); // the file its standard output is wanted in
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("outputFile"); // where the started process's output goes
        QTest::addColumn<QString>("environment");
        using P = executables::Problem;
        const auto row = [](const char *tag, const QByteArray &head, bool runBit, const char *runner,
                             const char *folder, const char *output, P problem, const char *command = "",
                             const char *outputFile = "", const char *environment = "") {
            QTest::newRow(tag) << head << runBit << QString::fromUtf8(runner) << QString::fromUtf8(folder)
                               << QString::fromUtf8(output) << int(problem) << QString::fromUtf8(command)
                               << QString::fromUtf8(outputFile) << QString::fromUtf8(environment);
        };
        const QByteArray script("#!/bin/sh\nexit 0\n");
        const QByteArray dos("MZ\x90\0\x03", 5);
        const QByteArray pe = portableExecutable();
        const QByteArray i386 = portableExecutable(executables::MachineI386);
        const char *wine = "WINEPREFIX=@/pfx|WINEDEBUG=-all";
        const char *sdl = "SDL_VIDEODRIVER=dummy|SDL_AUDIODRIVER=dummy";
        const char *ttd = "pfx/drive_c/TTD";
        row("native", script, true, "", "game", "", P::None, "@/game/patch.exe|-h");
        row("native output", script, true, "", "game", "list.txt", P::None, "@/game/patch.exe|-h", "@/game/list.txt");
        row("script without run bit", "#!/bin/sh\n", false, "", "game", "", P::NotRunnable);
        row("text", "hello", true, "", "game", "", P::NotRunnable);
        row("windows, runner as stored before", pe, false, "@/bin/wine --quiet", ttd, "", P::None,
            "@/bin/wine|--quiet|@/pfx/drive_c/TTD/patch.exe|-h", "", wine);
        row("windows, template", pe, false, "@/bin/wine 100%% %folder% %args% x%args%y", ttd, "list.txt", P::None,
            "@/bin/wine|100%|@/pfx/drive_c/TTD|-h|x-hy", "@/pfx/drive_c/TTD/list.txt", wine);
        row("windows 32-bit", i386, false, "@/bin/wine", ttd, "", P::None, "@/bin/wine|@/pfx/drive_c/TTD/patch.exe|-h",
            "", wine);
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
        row("runner missing", pe, false, "@/bin/none", "game", "", P::RunnerMissing);
        row("runner empty", dos, false, "", "game", "", P::RunnerMissing);
        row("dos", dos, false, "@/bin/dosbox", "dos game", "swtchlst.txt", P::None,
            "@/bin/dosbox|-c|mount c \"@/dos game\"|-c|c:|-c|PATCH.EXE -h > SWTCHLST.TXT|-c|exit", "", sdl);
        row("dos, runner as stored before", dos, false, "@/bin/dosbox -exit", "dos game", "swtchlst.txt", P::None,
            "@/bin/dosbox|-exit|-c|mount c \"@/dos game\"|-c|c:|-c|PATCH.EXE -h > SWTCHLST.TXT|-c|exit", "", sdl);
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
        QFETCH(QString, outputFile);
        QFETCH(QString, environment);
        QTemporaryDir dir;
        const auto here = [&](QString text) { return text.replace(QLatin1Char('@'), dir.path()); };
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
        const QString loader = dir.filePath(QStringLiteral("bin/wine32-loader"));
        writeProgram(loader, "#!/bin/sh\n", 0755);
        // As Debian's wrapper names the 32-bit loader it needs.
        writeProgram(dir.filePath(QStringLiteral("bin/wine")), "#!/bin/sh -e\nwine32=" + loader.toUtf8() + "\n", 0755);
        writeProgram(dir.filePath(QStringLiteral("bin/wine64only")), "#!/bin/sh -e\nwine32=/nonexistent/wine\n", 0755);
        writeProgram(dir.filePath(QStringLiteral("bin/dosbox")), "#!/bin/sh\n", 0755);
        const QByteArray elf32("\x7f"
                               "ELF\x01\x01\x01",
            7);
        const QByteArray elf64("\x7f"
                               "ELF\x02\x01\x01",
            7);
        for (const auto &[loader, bytes] :
            {std::pair {"elf32/wine", elf32}, {"elf64/wine64", elf64}, {"twin/wine64", elf64}, {"twin/wine", elf32},
                {"twin64/wine64", elf64}, {"twin64/wine", elf64}, {"wow64/wine", elf64}}) {
            QVERIFY(QDir(dir.path()).mkpath(QFileInfo(QString::fromLatin1(loader)).path()));
            writeProgram(dir.filePath(QString::fromLatin1(loader)), bytes, 0755);
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
        QCOMPARE(result.isValid() ? started.join(u'|') : QString(), here(command));
        QCOMPARE(result.isValid() ? result.start.outputFile : QString(), here(outputFile));
        QCOMPARE(result.isValid() ? variables.join(u'|') : QString(), here(environment));
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
        QTest::addColumn<QString>("page"); // "" none, "game" or "patch"
        QTest::addColumn<bool>("chooseDos");
        QTest::addColumn<int>("edition");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("removalOffer"); // the file whose removal is offered
        QTest::newRow("windows, both patches") << QStringList {"GameGFX.exe", "ttdpatchw.exe", "ttdpatch.exe"}
                                               << QString() << false << 1 << "ttdpatchw.exe"
                                               << "ttdpatch.exe (DOS TTDPatch)";
        QTest::newRow("no game") << QStringList {"ttdpatchw.exe"} << "game" << false << 0 << "ttdpatch.exe"
                                 << "ttdpatchw.exe";
        QTest::newRow("windows game, DOS patch only, DOS chosen")
            << QStringList {"GameGFX.exe", "ttdpatch.exe"} << "patch" << true << 2 << "ttdpatch.exe" << QString();
        QTest::newRow("upper-case names")
            << QStringList {"TTDX.EXE", "TTDPATCH.EXE"} << QString() << false << 2 << "TTDPATCH.EXE" << QString();
    }

    void editionDialogAndRemovalOffers()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, page);
        QFETCH(bool, chooseDos);
        QFETCH(int, edition);
        QFETCH(QString, patch);
        QFETCH(QString, removalOffer);
        Session s;
        for (const char *name : {"GameGFX.exe", "ttdpatchw.exe"})
            QFile::remove(s.path(QLatin1String(name)));
        for (const QString &file : files)
            writeBytes(s.folder + file, "MZ");
        QStringList pageText;
        if (!page.isEmpty()) {
            s.t.dialogs.queueForm([&](QDialog &form) {
                pageText = {conflictText(form, 0), conflictText(form, 2)};
                QCOMPARE(form.windowTitle(), QStringLiteral("Warning"));
                QCOMPARE(form.findChild<QRadioButton *>(QStringLiteral("optDos"))->isVisible(),
                    page == QLatin1String("patch"));
                QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("cmdGetttd"))->isVisible(),
                    page == QLatin1String("game"));
                if (chooseDos)
                    form.findChild<QRadioButton *>(QStringLiteral("optDos"))->click();
                form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
            });
        }
        if (!removalOffer.isEmpty())
            s.t.dialogs.queueAnswer(Answer::No);
        s.open();

        QCOMPARE(int(state().PatchEdition), edition);
        QCOMPARE(state().PatchExecutable, s.folder + patch);
        QCOMPARE(s.main().controls().mnuRegedit->isEnabled(), edition == 1);
        QList<ScriptedDialogs::Prompt> questions;
        for (const auto &prompt : s.t.dialogs.prompts()) {
            if (prompt.kind == ScriptedDialogs::Kind::Message)
                questions.append(prompt);
        }
        if (page == QLatin1String("game"))
            QCOMPARE(pageText,
                (QStringList {"Transport Tycoon Deluxe not found.", "The current TTD folder is:\r\n\r\n" + s.folder}));
        if (page == QLatin1String("patch"))
            QCOMPARE(pageText.value(0), QStringLiteral("No TTDPatch version was found."));
        QCOMPARE(questions.size(), removalOffer.isEmpty() ? 0 : 1);
        if (!removalOffer.isEmpty()) {
            QVERIFY(questions.first().text.endsWith(QStringLiteral("\r\n\r\n") + s.folder + removalOffer));
            QCOMPARE(questions.first().buttons, MessageButtons::YesNo);
            QVERIFY(QFile::exists(s.folder + removalOffer.section(QLatin1Char(' '), 0, 0))); // No keeps it
            // Yes removes it at the next opening.
            s.t.dialogs.queueAnswer(Answer::Yes);
            if (!page.isEmpty())
                s.t.dialogs.queueForm(
                    [](QDialog &form) { form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click(); });
            s.open();
            QVERIFY(!QFile::exists(s.folder + removalOffer.section(QLatin1Char(' '), 0, 0)));
        }
    }

    void runStartsThePatchInTheGameFolder_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("answer"); // to the question whether to save first
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("started");
        QTest::newRow("unchanged") << false << int(Answer::None) << false << true;
        QTest::newRow("edited, cancel") << true << int(Answer::Cancel) << false << false;
        QTest::newRow("edited, no") << true << int(Answer::No) << false << true;
        QTest::newRow("edited, yes") << true << int(Answer::Yes) << true << true;
    }
    void runStartsThePatchInTheGameFolder()
    {
        QFETCH(bool, edited);
        QFETCH(int, answer);
        QFETCH(bool, started);
        Session s;
        s.open();
        const QByteArray before = readBytes(s.path());
        if (edited)
            QTest::keyClick(s.main().controls().rtbPatch, 'x');
        s.t.dialogs.takePrompts();
        if (edited)
            s.t.dialogs.queueAnswer(Answer(answer));
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        const auto prompts = s.t.dialogs.prompts();
        QCOMPARE(prompts.size(), edited ? 1 : 0);
        if (edited) {
            QCOMPARE(prompts.first().text, QStringLiteral("Some file(s) have been modified. Save them before exit?"));
            QCOMPARE(prompts.first().buttons, MessageButtons::YesNoCancel);
        }
        QTEST(readBytes(s.path()) != before, "saved");
        QCOMPARE(s.main().isVisible(), !started);
        QCOMPARE(s.t.shell.calls.size(), started ? 1 : 0);
        if (!started)
            return;
        const auto call = s.t.shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
        QCOMPARE(call.target, s.path(QStringLiteral("ttdpatchw.exe")));
        QVERIFY(call.arguments.isEmpty());
        QCOMPARE(call.workingFolder, s.folder);
        QCOMPARE(readSetting(*s.t.settings, settingKeys::Language), QStringLiteral("ENGLISH")); // closed the normal way
    }

    void saveAndRunWithTheEditionDialogStaysOpen()
    {
        Session s;
        s.open();
        QFile::remove(s.path(QStringLiteral("ttdpatchw.exe")));
        s.t.dialogs.queueForm([](QDialog &form) {
            // Neither Escape nor the window's close button ends it.
            QTest::keyClick(&form, Qt::Key_Escape);
            form.close();
            QVERIFY(form.isVisible());
            form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        s.main().controls().mnuSaveAndRun->trigger();
        QVERIFY(state().EditionDialogConfirmed);
        QVERIFY(s.main().isVisible());
        QVERIFY(state().ControlsEnabled);
        QVERIFY(s.t.shell.calls.isEmpty());
        QVERIFY(readBytes(s.path(QStringLiteral("ttdpatch.cfg"))).startsWith("//vexal="));
    }

    // Confirming the edition dialog for a folder without a patch shows that no version is there,
    // not the version of the folder opened before.
    void aFolderWithoutAPatchShowsNoVersion()
    {
        Session s;
        s.t.shell.onCall = [](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), "2.6 r1\r\n");
        };
        s.open();
        const auto &c = s.main().controls();
        QCOMPARE(c.lblCap[6]->text(), QStringLiteral("TTDPatch 2.6 r1 detected."));
        const QString other = copyDemoGame(QStringLiteral("game"), s.t.root() + QStringLiteral("/other"));
        QFile::remove(other + QStringLiteral("ttdpatchw.exe"));
        s.t.dialogs.queueForm([](QDialog &form) { form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click(); });
        s.GameSession::open(other + QStringLiteral("ttdpatch.cfg"));
        const QString none = QStringLiteral("No TTDPatch version was found.");
        QCOMPARE(c.lblCap[6]->text(), none);
        QCOMPARE(c.stbPanels[0]->text(), none);
        QTRY_VERIFY(s.main().windowTitle().endsWith(QStringLiteral(" - ") + none));
    }

    void theStandInPatchReallyStarts()
    {
        GameSession s(QStringLiteral("game"), true);
        const QString folder
            = copyDemoGame(QStringLiteral("game"), s.t.root() + QStringLiteral("/it's a \"game\"; $(x)"));
        s.open(folder + QStringLiteral("ttdpatch.cfg"));
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        QVERIFY(!s.main().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + QStringLiteral("ttdpatch-started.txt")), 10000);
        QVERIFY(readBytes(folder + QStringLiteral("ttdpatch-started.txt")).contains("ttdpatchw.exe"));
    }
};

QTEST_MAIN(InstallationTest)
#include "tst_installation.moc"
