// The patch release check and the installation of a release, against a loopback patch server.
#include "cfg/editortext.h"
#include "common/basictext.h"
#include "info/frmwhatsnew.h"
#include "liveupdate/liveupdaterules.h"
#include "updatefixture.h"
#include "zipbuilder.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using modMain::state;
using Prompt = ScriptedDialogs::Prompt;
using Response = LoopbackServer::Response;
Q_DECLARE_METATYPE(Response)

namespace {

const QString Alpha = QStringLiteral("2.6 alpha 1 r2402");
const QString StableVersion = QStringLiteral("TTDPatch 2.5 beta 10");

// A patch server's version file; `newest` names the release the newest switch block belongs to.
QByteArray versionFile(const QString &alpha = Alpha, const QString &newest = Alpha)
{
    QString text = QStringLiteral("[TTDP Stable]\n"
                                  "version=TTDPatch 2.5 beta 10\n"
                                  "date=December 24, 2006\n"
                                  "winfilename=ttdpw_25b10.zip\n"
                                  "dosfilename=ttdpd_25b10.zip\n"
                                  "\n"
                                  "[TTDP Alpha-Beta]\n"
                                  "version=%ALPHA%\n"
                                  "date=May 13, 2012\n"
                                  "winfilename=nightly/ttdpatchw-r2402.zip\n"
                                  "dosfilename=nightly/ttdpatch-r2402.zip\n"
                                  "\n"
                                  "[Latest Versions Switches]\n"
                                  "newest=%NEWEST%\n"
                                  "newer=2.6 alpha 0 r2386\n"
                                  "new=2.6 alpha 0 r2290\n"
                                  "\n"
                                  "[%NEWEST%]\n"
                                  "// restrict signals per train\n"
                                  "  tracerestrict = on\n"
                                  "[2.6 alpha 0 r2386]\n"
                                  "autoslope = on\n"
                                  "[2.6 alpha 0 r2290]\n"
                                  "trams = on\n"
                                  "[Switches]\n"
                                  "[Alpha/Beta Description]\n"
                                  "  Back up your saved games.\n"
                                  "- New switch tracerestrict.\n"
                                  "[End]\n");
    if (alpha.isEmpty())
        text.remove(QStringLiteral("version=%ALPHA%\n"));
    return text.replace(QLatin1String("%ALPHA%"), alpha).replace(QLatin1String("%NEWEST%"), newest).toLatin1();
}

} // namespace

class ReleaseCheckTest : public QObject, UpdateFixture {
    Q_OBJECT

private slots:
    void init() { m_server.emplace(); }
    void cleanup() { reset(); }

    void versionFiles_data()
    {
        QTest::addColumn<Response>("answer");
        QTest::addColumn<QString>("storedAlpha");
        QTest::addColumn<QString>("prompt"); // the title of the one box shown, if any
        QTest::addColumn<QString>("latestAlpha");
        QTest::addColumn<QString>("latestStable");
        QTest::addColumn<QString>("description"); // known when the check went through
        const auto row = [](const char *tag, const QByteArray &file, const QString &stored, const char *prompt,
                             const QString &alpha, const QString &stable, const QString &description,
                             const Response &answer = {}) {
            QTest::newRow(tag) << (answer.body.isEmpty() ? Response {.body = file} : answer) << stored
                               << QString::fromUtf8(prompt) << alpha << stable << description;
        };
        const QString description = QStringLiteral("  Back up your saved games.\r\n- New switch tracerestrict.\r\n");
        const QString older = QStringLiteral("2.6 alpha 0 r2290");
        row("same alpha: no question", versionFile(), Alpha, "", Alpha, StableVersion, description);
        row("older alpha announced too", versionFile(older), Alpha, "AutoUpdate: TTDPatch", older, StableVersion,
            description);
        row("CR LF line ends gain empty lines", QByteArray(versionFile()).replace("\n", "\r\n"), Alpha, "", Alpha,
            StableVersion,
            QStringLiteral("\r\n  Back up your saved games.\r\n\r\n- New switch tracerestrict.\r\n\r\n"));
        row("missing alpha version: stop box", versionFile(QString()), Alpha, "Vexal Pro", Alpha, StableVersion, {});
        row("an error page saved as the file", {}, Alpha, "Vexal Pro", Alpha, "---", {},
            {.status = "404 Not Found", .body = "404 Not Found\n"});
    }

    void versionFiles()
    {
        QFETCH(Response, answer);
        QFETCH(QString, storedAlpha);
        QFETCH(QString, prompt);
        QFETCH(QString, latestAlpha);
        QFETCH(QString, description);
        const bool checked = !description.isEmpty();
        start({});
        m_server->serve(QStringLiteral("/patch/_versions.txt"), answer);
        state().LatestAlpha = storedAlpha;
        const QString earlierCheck = state().LastCheckDate;
        dialogs().queueAnswer(Answer::No);

        live().cmdLU_Click();
        const auto asked = dialogs().takePrompts();
        QCOMPARE(titlesOf(asked).join(u','), prompt);
        QCOMPARE(state().LatestAlpha, latestAlpha);
        QTEST(state().LatestStable, "latestStable");
        QCOMPARE(state().AlphaDescription, description);
        QCOMPARE(m_server->requestedPaths(), QStringList {"/patch/_versions.txt"});
        QVERIFY(state().ControlsEnabled);
        const bool announced = prompt == QLatin1String("AutoUpdate: TTDPatch");
        QCOMPARE(c().imgNew->isVisibleTo(&window()), announced);
        if (announced) {
            QCOMPARE(asked.first().text,
                "There is a new version available!\r\n\r\nNew version: TTDPatch " + latestAlpha
                    + "\r\nRelease date:  May 13, 2012\r\n\r\nWould you like to download it now?");
            QCOMPARE(asked.first().buttons, MessageButtons::YesNo);
        }
        if (checked) {
            QCOMPARE(state().LastCheckDate, m_session->t.clock.shortDate());
            QCOMPARE(c().lblCap[1]->text(), "Latest version available: " + StableVersion);
            QCOMPARE(c().lblCap[2]->text(), QStringLiteral("Release date: December 24, 2006"));
            QCOMPARE(c().lblCap[4]->text(), "Latest version available: " + latestAlpha);
            QCOMPARE(c().lblCap[11]->text(), "Last check date: " + state().LastCheckDate);
            QCOMPARE(lastLogLine(), QStringLiteral("Done."));
            QCOMPARE(c().lblCap[8]->text(), QStringLiteral("Updates list downloaded successfully."));
            QVERIFY(c().cmdGetStable->isEnabled() && c().cmdGetAlpha->isEnabled() && c().cmdInfo->isEnabled());
            QString shown;
            dialogs().queueForm([&shown](QDialog &form) {
                auto &whatsNew = static_cast<frmWhatsNew &>(form);
                shown = QStringList({form.windowTitle(), whatsNew.lblMain->text(), whatsNew.txtMain->toPlainText(),
                                        whatsNew.cmdOK->text()})
                            .join('|');
            });
            c().cmdInfo->click();
            QCOMPARE(shown,
                QStringList({"TTDPatch alpha/beta", " What's new in " + latestAlpha + " ",
                                QString(description).replace("\r\n", "\n"), "Done"})
                    .join('|'));
            // One check a run: the button stays off once a description is known.
            QVERIFY(!c().cmdLU->isEnabled());
        } else {
            QCOMPARE(asked.first().text, QStringLiteral("Unable to download list of updates."));
            QCOMPARE(asked.first().icon, MessageIcon::Critical);
            QCOMPARE(state().LastCheckDate, earlierCheck);
            QVERIFY(c().cmdLU->isEnabled());
            QVERIFY(!c().cmdGetStable->isEnabled() && !c().cmdGetAlpha->isEnabled());
            QCOMPARE(lastLogLine(), QStringLiteral("Error while contacting server."));
        }
    }

    void noConnectionContactsNothing()
    {
        start(versionFile());
        m_session->t.probe.connected = false;
        live().cmdLU_Click();
        QVERIFY(m_server->requestedPaths().isEmpty());
        QCOMPARE(lastLogLine(), QStringLiteral("Error while contacting server."));
        QVERIFY(state().ControlsEnabled);

        // Without the extraction there is nothing to install with: the program's page is offered.
        state().UnzipAvailable = false;
        dialogs().queueAnswer(Answer::Yes);
        live().cmdGetAlpha_Click();
        QVERIFY(dialogs().takePrompts().first().text.startsWith(QStringLiteral("This function requires the file")));
        QCOMPARE(m_session->t.shell.calls.last().target, modMain::programPageAddress(true));
        QVERIFY(m_server->requestedPaths().isEmpty());

        // While a transfer runs, the buttons only say so.
        window().DisableControls();
        for (auto click : {&LiveUpdate::cmdLU_Click, &LiveUpdate::cmdGetStable_Click, &LiveUpdate::cmdGetAlpha_Click})
            (live().*click)();
        const auto asked = dialogs().takePrompts();
        QCOMPARE(asked.size(), 3);
        for (const Prompt &p : asked)
            QVERIFY(p.text.startsWith(QStringLiteral("This action is currently blocked")));
    }

    void installation_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("newest");
        QTest::addColumn<Answer>("takeSwitches");
        QTest::addColumn<QByteArray>("textMaker"); // none when empty
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("appended");
        const QString stable = QStringLiteral("ttdpw_25b10.zip"), alpha = QStringLiteral("nightly/ttdpatchw-r2402.zip");
        QTest::newRow("alpha, switches taken")
            << int(LiveUpdate::AlphaBeta) << Alpha << Answer::Yes << portableExecutable() << alpha << true;
        // A program of this machine out of a downloaded archive is never run.
        QTest::newRow("stable while the newest block is the alpha's, native text maker")
            << int(LiveUpdate::Stable) << Alpha << Answer::None << QByteArray("#!/bin/sh\n") << stable << false;
        QTest::newRow("stable that is the newest")
            << int(LiveUpdate::Stable) << StableVersion << Answer::Yes << QByteArray() << stable << true;
    }

    void installation()
    {
        QFETCH(int, kind);
        QFETCH(QString, newest);
        QFETCH(Answer, takeSwitches);
        QFETCH(QByteArray, textMaker);
        QFETCH(QString, remote);
        QFETCH(bool, appended);
        const QString local = kind == LiveUpdate::Stable ? remote : QStringLiteral("latestw.zip");
        start(versionFile(Alpha, newest));
        state().LatestAlpha = Alpha;
        live().cmdLU_Click();
        QVERIFY(dialogs().takePrompts().isEmpty());

        QTemporaryDir scratch;
        // A Windows patch, as releases hold: a program of this machine out of an archive never runs.
        const QByteArray patch = portableExecutable() + QByteArray(160000, 'p');
        Entries entries {{"ttdpatchw.exe", patch, 0, 0755}, {"docs/readme.txt", "new release"}};
        if (!textMaker.isEmpty())
            entries.append({"MKPTTXT.EXE", textMaker, 0, 0755});
        QDir(scratch.path()).mkpath("nightly");
        QVERIFY(buildZip(scratch.filePath(remote), entries));
        m_server->serveFolder(QStringLiteral("/patch/"), scratch.path());

        EditorText editor(*c().rtbPatch);
        const QString before = editor.text();
        if (takeSwitches != Answer::None)
            dialogs().queueAnswer(takeSwitches);
        if (kind == LiveUpdate::Stable)
            live().cmdGetStable_Click();
        else
            live().cmdGetAlpha_Click();

        const QString game = m_session->folder;
        const auto asked = dialogs().takePrompts();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].text.left(20),
            (newest == (kind == LiveUpdate::Stable ? StableVersion : Alpha) ? QStringLiteral("There are new switch")
                                                                            : QStringLiteral("New TTDPatch version"))
                .left(20));
        QCOMPARE(asked[1].text, "The new TTDPatch version has been installed successfully to:\r\n" + game);
        QCOMPARE(readBytes(game + "ttdpatchw.exe"), patch);
        QVERIFY(!QFileInfo(game + "ttdpatchw.exe").isExecutable());
        // Members' folders are dropped, as the installation asks the extraction to.
        QCOMPARE(readBytes(game + "readme.txt"), QByteArray("new release"));
        QVERIFY(QFile::exists(game + local));
        QVERIFY(!QFile::exists(state().TempPath + local));
        const QString got = kind == LiveUpdate::Stable ? StableVersion : Alpha;
        QCOMPARE(state().LatestVersionGot, got);
        QCOMPARE(c().lblCap[10]->text(), "Last version downloaded: " + got);
        QCOMPARE(lastLogLine(), QStringLiteral("Done."));

        // The newest block, trimmed, below a heading line.
        QCOMPARE(editor.text(),
            before
                + (appended ? "\r\n// --- " + newest
                            + " switches ---\r\n// restrict signals per train\r\ntracerestrict = on\r\n\r\n"
                            : QString()));
        QCOMPARE(state().FilesModified, appended);

        // Through Wine, in the game folder: the text maker is a Windows program.
        QStringList started;
        for (const auto &call : m_session->t.shell.calls)
            started += QFileInfo(call.target).fileName() + u' ' + call.arguments.join(u' ') + u'@' + call.workingFolder;
        QCOMPARE(started.filter("MKPTTXT"),
            textMaker.startsWith("MZ") ? QStringList {"wine " + game + "MKPTTXT.EXE@" + game} : QStringList {});
        // An installed release is not offered again in this run.
        QCOMPARE(c().cmdGetStable->isEnabled(), kind != LiveUpdate::Stable);
        QCOMPARE(c().cmdGetAlpha->isEnabled(), kind != LiveUpdate::AlphaBeta);
    }

    void aReleaseNameCannotLeaveItsFolder()
    {
        QByteArray file = versionFile();
        file.replace("winfilename=ttdpw_25b10.zip", "winfilename=../..");
        start(file);
        state().LatestAlpha = Alpha;
        live().cmdLU_Click();
        QString report;
        catchReport(dialogs(), report);
        live().cmdGetStable_Click();
        QCOMPARE(m_server->requestedPaths(), QStringList {"/patch/_versions.txt"});
        QVERIFY2(report.contains("Bad file name") && report.contains("@ LiveUpdateNow"), qPrintable(report));
        QCOMPARE(titlesOf(dialogs().takePrompts()).count(QStringLiteral("frmError")), 1);
        QVERIFY(state().ControlsEnabled);

        // A failed archive download unpacks nothing.
        m_server->serve(
            QStringLiteral("/patch/nightly/ttdpatchw-r2402.zip"), {.body = "PK\3\4 and more", .lengthText = "9000"});
        live().cmdGetAlpha_Click();
        QVERIFY(live().DownloadFailed);
        QVERIFY(!QFile::exists(m_session->folder + "latestw.zip"));
        QCOMPARE(titlesOf(dialogs().takePrompts()), QStringList());
    }

    void theSampleServerInstallsItsAlpha()
    {
        // The whole way with the sample server that the demo serves: its version file, and its archive
        // with a stand-in patch of the announced release and the Windows programs beside it.
        QTemporaryDir served;
        QProcess build;
        build.start(QStringLiteral("bash"), {QStringLiteral(VEXAL_DEMO_DIR "/../server/build"), served.path()});
        QVERIFY(build.waitForFinished(60000));
        QCOMPARE(build.exitCode(), 0);
        m_server->serveFolder(QStringLiteral("/patch/"), served.filePath("patch"));
        start({});
        state().LatestAlpha = QStringLiteral("2.6 alpha 0 r2386");
        dialogs().queueAnswer(Answer::Yes); // install the announced release
        dialogs().queueAnswer(Answer::No); // without its switches

        live().cmdLU_Click();
        QCOMPARE(titlesOf(dialogs().takePrompts()), QStringList({"AutoUpdate: TTDPatch", "Vexal Pro", "Vexal Pro"}));
        // The announced release's own patch, and its text maker goes to Wine.
        QVERIFY(readBytes(m_session->folder + "ttdpatchw.exe").contains((Alpha + " (Windows)").toLatin1()));
        const auto &calls = m_session->t.shell.calls;
        QVERIFY(std::any_of(calls.cbegin(), calls.cend(),
            [&](const auto &call) { return call.arguments.contains(m_session->folder + "mkpttxt.exe"); }));
        QCOMPARE(state().LatestVersionGot, Alpha);
        QCOMPARE(c().lblCap[5]->text(), QStringLiteral("Release date: May 13, 2012"));
    }

    void rules_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        namespace r = liveUpdateRules;
        const auto length = [](const char *header) { return QString::number(r::contentLength(header).value_or(-1)); };
        QTest::newRow("line ends") << basicText::lineInputLines("a\r\nb\rc\nd\r\r\ne").join('|') << "a|b|c|d||e";
        QTest::newRow("no newer block") << r::newestSwitchBlock({"[x]", " a = 1 ", "", "[y]"}, "x", "missing")
                                        << "a = 1\r\n\r\n[y]\r\n";
        QTest::newRow("no newest block") << r::newestSwitchBlock({"a = 1", "[y]"}, "x", "y") << "";
        QTest::newRow("description to the end")
            << r::alphaDescription({"[Alpha/Beta Description]", " one", ""}) << " one\r\n\r\n";
        QTest::newRow("archive in a folder") << r::localArchiveName("nightly\\a.zip") << "a.zip";
        QTest::newRow("3 GB progress") << r::progressText(3221225472LL - 1024, 3221225472LL)
                                       << "3145727 KB downloaded, 3145728 KB total  (99% done)";
        QTest::newRow("length with blanks") << length(" 42 ") << "42";
        QTest::newRow("length 12.5") << length("12.5") << "-1";
        QTest::newRow("length of 18 digits") << length("999999999999999999") << "999999999999999999";
        QTest::newRow("length of 19 digits") << length("1000000000000000000") << "-1";
    }

    void rules()
    {
        QFETCH(QString, actual);
        QTEST(actual, "expected");
    }

private:
    // On the AutoUpdate tab, with `file` served as the version file unless it is null.
    void start(const QByteArray &file)
    {
        UpdateFixture::start();
        QCOMPARE(state().PatchEdition, modMain::Edition::Windows);
        window().showTabStrip(2);
        if (!file.isNull())
            m_server->serve(QStringLiteral("/patch/_versions.txt"), {.body = file});
    }
};

QTEST_MAIN(ReleaseCheckTest)
#include "tst_releasecheck.moc"
