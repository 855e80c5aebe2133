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
    // "@" in a cell stands for the test's folder; runners are small scripts there.
    void commandsForRunners_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("runBit");
        QTest::addColumn<QString>("runner"); // the template of the program's kind
        QTest::addColumn<QString>("folder"); // the program's folder, below "@"
        QTest::addColumn<QString>("output"); // the file its standard output is wanted in
        QTest::addColumn<int>("problem");
        QTest::addColumn<QStringList>("command"); // program and arguments
        QTest::addColumn<QString>("outputFile"); // where the started process's output goes
        QTest::addColumn<QStringList>("environment");
        using P = executables::Problem;
        const QByteArray script("#!/bin/sh\nexit 0\n");
        const QByteArray dos("MZ\x90\0\x03", 5);
        const QStringList dosbox {"@/bin/dosbox", "-c", "mount c \"@/dos game\"", "-c", "c:", "-c",
            "PATCH.EXE -h > SWTCHLST.TXT", "-c", "exit"};
        const QStringList sdl {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
        const QStringList wine {"WINEPREFIX=@/pfx", "WINEDEBUG=-all"};
        QTest::newRow("native") << script << true << ""
                                << "game"
                                << "" << int(P::None) << QStringList {"@/game/patch.exe", "-h"} << "" << QStringList {};
        QTest::newRow("native output") << script << true << ""
                                       << "game"
                                       << "list.txt" << int(P::None) << QStringList {"@/game/patch.exe", "-h"}
                                       << "@/game/list.txt" << QStringList {};
        QTest::newRow("script without run bit") << QByteArray("#!/bin/sh\n") << false << ""
                                                << "game"
                                                << "" << int(P::NotRunnable) << QStringList {} << "" << QStringList {};
        QTest::newRow("text") << QByteArray("hello") << true << ""
                              << "game"
                              << "" << int(P::NotRunnable) << QStringList {} << "" << QStringList {};
        QTest::newRow("windows, runner as stored before")
            << portableExecutable() << false << "@/bin/wine --quiet"
            << "pfx/drive_c/TTD"
            << "" << int(P::None) << QStringList {"@/bin/wine", "--quiet", "@/pfx/drive_c/TTD/patch.exe", "-h"} << ""
            << wine;
        QTest::newRow("windows, template")
            << portableExecutable() << false << "@/bin/wine 100%% %folder% %args% x%args%y"
            << "pfx/drive_c/TTD"
            << "list.txt" << int(P::None) << QStringList {"@/bin/wine", "100%", "@/pfx/drive_c/TTD", "-h", "x-hy"}
            << "@/pfx/drive_c/TTD/list.txt" << wine;
        QTest::newRow("windows 32-bit") << portableExecutable(executables::MachineI386) << false << "@/bin/wine"
                                        << "pfx/drive_c/TTD"
                                        << "" << int(P::None)
                                        << QStringList {"@/bin/wine", "@/pfx/drive_c/TTD/patch.exe", "-h"} << ""
                                        << wine;
        QTest::newRow("windows 32-bit, no 32-bit Wine")
            << portableExecutable(executables::MachineI386) << false << "@/bin/wine64only"
            << "pfx/drive_c/TTD"
            << "" << int(P::No32BitWine) << QStringList {} << "" << QStringList {};
        // Wine's own loaders: a 32-bit one, a 64-bit "wine64" alone or with its 32-bit twin, and a
        // 64-bit "wine" (a WoW64 build, which runs both).
        const QByteArray i386 = portableExecutable(executables::MachineI386);
        QTest::newRow("32-bit loader") << i386 << false << "@/elf32/wine"
                                       << "pfx/drive_c/TTD"
                                       << "" << int(P::None)
                                       << QStringList {"@/elf32/wine", "@/pfx/drive_c/TTD/patch.exe", "-h"} << ""
                                       << wine;
        QTest::newRow("wine64 alone") << i386 << false << "@/elf64/wine64"
                                      << "pfx/drive_c/TTD"
                                      << "" << int(P::No32BitWine) << QStringList {} << "" << QStringList {};
        QTest::newRow("wine64 with its twin")
            << i386 << false << "@/twin/wine64"
            << "pfx/drive_c/TTD"
            << "" << int(P::None) << QStringList {"@/twin/wine64", "@/pfx/drive_c/TTD/patch.exe", "-h"} << "" << wine;
        QTest::newRow("wine64 with a 64-bit twin")
            << i386 << false << "@/twin64/wine64"
            << "pfx/drive_c/TTD"
            << "" << int(P::No32BitWine) << QStringList {} << "" << QStringList {};
        QTest::newRow("WoW64 wine") << i386 << false << "@/wow64/wine"
                                    << "pfx/drive_c/TTD"
                                    << "" << int(P::None)
                                    << QStringList {"@/wow64/wine", "@/pfx/drive_c/TTD/patch.exe", "-h"} << "" << wine;
        QTest::newRow("windows 64-bit, no 32-bit Wine")
            << portableExecutable() << false << "@/bin/wine64only"
            << "pfx/drive_c/TTD"
            << "" << int(P::None) << QStringList {"@/bin/wine64only", "@/pfx/drive_c/TTD/patch.exe", "-h"} << ""
            << wine;
        QTest::newRow("runner missing") << portableExecutable() << false << "@/bin/none"
                                        << "game"
                                        << "" << int(P::RunnerMissing) << QStringList {} << "" << QStringList {};
        QTest::newRow("runner empty") << dos << false << ""
                                      << "game"
                                      << "" << int(P::RunnerMissing) << QStringList {} << "" << QStringList {};
        QTest::newRow("dos") << dos << false << "@/bin/dosbox"
                             << "dos game"
                             << "swtchlst.txt" << int(P::None) << dosbox << "" << sdl;
        QTest::newRow("dos, runner as stored before")
            << dos << false << "@/bin/dosbox -exit"
            << "dos game"
            << "swtchlst.txt" << int(P::None) << QStringList {dosbox.first(), "-exit"} + dosbox.mid(1) << "" << sdl;
        QTest::newRow("dos, template without redirection")
            << dos << false << "@/bin/dosbox -c \"mount d %dosfolder%\" -c \"d:\\%dosexe% %args%\""
            << "dos game"
            << "swtchlst.txt" << int(P::None)
            << QStringList {"@/bin/dosbox", "-c", "mount d \"@/dos game\"", "-c", "d:\\PATCH.EXE -h"}
            << "@/dos game/swtchlst.txt" << sdl;
        QTest::newRow("dos, folder with a double quote")
            << dos << false << "@/bin/dosbox"
            << "say \"hi\""
            << "" << int(P::FolderNotForDos) << QStringList {} << "" << QStringList {};
    }

    void commandsForRunners()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, runBit);
        QFETCH(QString, runner);
        QFETCH(QString, folder);
        QFETCH(QString, output);
        QFETCH(QStringList, command);
        QFETCH(QString, outputFile);
        QFETCH(QStringList, environment);
        QTemporaryDir dir;
        const auto here = [&](QString text) { return text.replace(QLatin1Char('@'), dir.path()); };
        const auto hereAll = [&](QStringList list) {
            for (QString &item : list)
                item = here(item);
            return list;
        };
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
        if (!result.isValid())
            return;
        QCOMPARE(QStringList {result.start.program} + result.start.arguments, hereAll(command));
        QCOMPARE(result.start.outputFile, here(outputFile));
        QStringList variables;
        for (const auto &[name, value] : result.start.environment)
            variables.append(name + QLatin1Char('=') + value);
        QCOMPARE(variables, hereAll(environment));
    }

    void dosNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dosName");
        QTest::newRow("8.3") << "ttdpatch.exe"
                             << "TTDPATCH.EXE";
        QTest::newRow("no extension") << "readme"
                                      << "README";
        QTest::newRow("long") << "ttdpatchw.exe"
                              << "TTDPAT~1.EXE";
        QTest::newRow("blanks and dots") << "my patch.v2.exe"
                                         << "MYPATC~1.EXE";
        QTest::newRow("long extension") << "patch.html"
                                        << "PATCH~1.HTM";
        QTest::newRow("blank in the extension") << "notes.t xt"
                                                << "NOTES~1.TXT";
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

    void runStartsThePatchInTheGameFolder()
    {
        Session s;
        s.open();
        QTest::mouseClick(s.main().controls().cmdRun, Qt::LeftButton);
        QCOMPARE(s.t.shell.calls.size(), 1);
        const auto call = s.t.shell.calls.first();
        QCOMPARE(call.kind, RecordingShell::Call::Kind::Start);
        QCOMPARE(call.target, s.path(QStringLiteral("ttdpatchw.exe")));
        QVERIFY(call.arguments.isEmpty());
        QCOMPARE(call.workingFolder, s.folder);
        QVERIFY(!s.main().isVisible());
        QCOMPARE(readSetting(*s.t.settings, settingKeys::Language), QStringLiteral("ENGLISH")); // closed the normal way
    }

    void runAsksToSaveFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("started");
        QTest::newRow("cancel") << int(Answer::Cancel) << false << false;
        QTest::newRow("no") << int(Answer::No) << false << true;
        QTest::newRow("yes") << int(Answer::Yes) << true << true;
    }

    void runAsksToSaveFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, started);
        Session s;
        s.open();
        const QString cfg = s.path(QStringLiteral("ttdpatch.cfg"));
        const QByteArray before = readBytes(cfg);
        QTest::keyClick(s.main().controls().rtbPatch, 'x');
        QVERIFY(state().FilesModified);
        s.t.dialogs.takePrompts();
        s.t.dialogs.queueAnswer(Answer(answer));
        s.main().controls().mnuRunTTD->trigger();
        const auto prompts = s.t.dialogs.prompts();
        QCOMPARE(prompts.size(), 1);
        QCOMPARE(prompts.first().text, QStringLiteral("Some file(s) have been modified. Save them before exit?"));
        QCOMPARE(prompts.first().buttons, MessageButtons::YesNoCancel);
        QTEST(readBytes(cfg) != before, "saved");
        QCOMPARE(s.t.shell.calls.size(), started ? 1 : 0);
        QCOMPARE(s.main().isVisible(), !started);
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
