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
    void executableKinds_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("runBit");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("command"); // program and arguments before the file
        QTest::newRow("script") << QByteArray("#!/bin/sh\nexit 0\n") << true << int(executables::Kind::Native)
                                << QStringList {};
        QTest::newRow("script without run bit")
            << QByteArray("#!/bin/sh\n") << false << int(executables::Kind::NotRunnable) << QStringList {};
        QTest::newRow("elf") << QByteArray("\x7f"
                                           "ELF\x02\x01\x01",
            7) << true << int(executables::Kind::Native)
                             << QStringList {};
        QTest::newRow("windows") << portableExecutable() << false << int(executables::Kind::Windows)
                                 << QStringList {"/opt/wine/bin/wine", "--quiet"};
        QTest::newRow("dos") << QByteArray("MZ\x90\0\x03", 5) << false << int(executables::Kind::Dos)
                             << QStringList {"dosbox", "-exit"};
        QTest::newRow("text") << QByteArray("hello") << true << int(executables::Kind::NotRunnable) << QStringList {};
    }

    void executableKinds()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, runBit);
        QFETCH(int, kind);
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("patch file.exe"));
        writeBytes(path, head);
        if (runBit)
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        QCOMPARE(int(executables::kindOf(path)), kind);
        const auto run = executables::commandFor(path, {QStringLiteral("-h")},
            {QStringLiteral("/opt/wine/bin/wine --quiet"), QStringLiteral("dosbox -exit")});
        if (kind == int(executables::Kind::NotRunnable)) {
            QVERIFY(!run.isValid());
        } else if (command.isEmpty()) {
            QCOMPARE(run.program, path);
            QCOMPARE(run.arguments, QStringList {QStringLiteral("-h")});
        } else {
            QCOMPARE(run.program, command.first());
            QCOMPARE(run.arguments, command.mid(1) + QStringList({path, QStringLiteral("-h")}));
        }
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
        s.t.dialogs.queueForm([](QDialog &form) { form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click(); });
        s.main().controls().mnuSaveAndRun->trigger();
        QVERIFY(state().EditionDialogConfirmed);
        QVERIFY(s.main().isVisible());
        QVERIFY(state().ControlsEnabled);
        QVERIFY(s.t.shell.calls.isEmpty());
        QVERIFY(readBytes(s.path(QStringLiteral("ttdpatch.cfg"))).startsWith("//vexal="));
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
