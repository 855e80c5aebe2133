// The program's own release check, its signed replacement by the updater, and the daily schedule.
#include "common/settingkeys.h"
#include "liveupdate/releasesignature.h"
#include "news/newsticker.h"
#include "updatefixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>

using modMain::state;
using Response = LoopbackServer::Response;

namespace {

const QString DemoKey = QStringLiteral(VEXAL_DEMO_DIR "/../server/keys/demo-release");

// A signature by the demo release key, whose private half is published.
QByteArray sign(const QByteArray &data)
{
    QTemporaryFile file;
    QProcess openssl;
    if (file.open() && file.write(data) == data.size() && file.flush())
        openssl.start(QStringLiteral("openssl"),
            {"pkeyutl", "-sign", "-rawin", "-inkey", DemoKey + QStringLiteral(".key"), "-in", file.fileName()});
    openssl.waitForFinished();
    return openssl.readAllStandardOutput().toBase64();
}

// The public half of a key of the test's own, as a release build would have one.
QByteArray otherPublicKey()
{
    QProcess generate, extract;
    generate.setStandardOutputProcess(&extract);
    generate.start(QStringLiteral("openssl"), {"genpkey", "-algorithm", "ed25519"});
    extract.start(QStringLiteral("openssl"), {"pkey", "-pubout"});
    generate.waitForFinished();
    extract.waitForFinished();
    return extract.readAllStandardOutput();
}

QByteArray toolFile(const QByteArray &version, const QByteArray &signatures = {})
{
    QByteArray file = "[VexalP]\n";
    if (!version.isNull())
        file += "version=" + version + "\n";
    return file + "date=June 2, 2012\n" + signatures;
}

const QString Versions = QStringLiteral("/patch/_versions.txt");
const QString ToolFile = QStringLiteral("/tool/1vexalup.txt");
const QStringList Announced {"AutoUpdate: Vexal Pro"};

// Ends whatever still runs from `folder` when the test leaves, passed or failed: an updater that
// fails waits in its window for a person and would outlive the test.
struct ProgramsEndedIn {
    QString folder;
    ~ProgramsEndedIn()
    {
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList({"[1-9]*"}, QDir::Dirs)) {
            if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).startsWith(folder))
                ::kill(pid.toInt(), SIGKILL);
        }
    }
};

} // namespace

class SelfUpdateTest : public QObject, UpdateFixture {
    Q_OBJECT

    void start(bool realProcesses = false)
    {
        UpdateFixture::start(realProcesses);
        live().ReleaseKey = readBytes(DemoKey + QStringLiteral(".pub"));
    }
    // The update files of 1.2.6, signed unless `how` names a fault.
    void serveUpdate(const QByteArray &updater, const QByteArray &program, const QString &how = {})
    {
        // The signed data names the version it is offered as.
        const auto signRelease = [](const QByteArray &file) {
            return sign(releaseSignature::signedMessage(QStringLiteral("1.2.6"), file));
        };
        QByteArray updaterSignature = signRelease(updater), programSignature = signRelease(program);
        QByteArray servedUpdater = updater, servedProgram = program;
        if (how == QLatin1String("tampered updater"))
            servedUpdater[servedUpdater.size() / 2] = char(servedUpdater.at(servedUpdater.size() / 2) ^ 1);
        else if (how == QLatin1String("truncated program"))
            servedProgram.chop(1);
        else if (how == QLatin1String("unsigned program"))
            programSignature.clear();
        else if (how == QLatin1String("garbled signature"))
            programSignature = "not base64 at all!";
        const QByteArray listed
            = how == QLatin1String("an older signed build under a newer version") ? "1.3.0" : "1.2.6";
        m_server->serve(ToolFile,
            {.body = toolFile(listed, "updatersig=" + updaterSignature + "\nexesig=" + programSignature + "\n")});
        m_server->serve(QStringLiteral("/tool/files/updater.exe"), {.body = servedUpdater});
        m_server->serve(QStringLiteral("/tool/files/vexalpro.exe"), {.body = servedProgram});
    }

private slots:
    void init()
    {
        m_server.emplace().serve(
            QStringLiteral("/tool/news.txt"), {.body = "Vexal Pro 1.2.6 is out\nnodesc\nnolink\n---\n"});
    }

    void cleanup() { reset(); }

    void releaseChecks_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<bool>("checked");
        const QStringList latest {"Vexal Pro"};
        QTest::newRow("equal, automatic: no box") << toolFile("1.2.5") << true << QStringList() << true;
        QTest::newRow("blanks around it are equal") << toolFile("  1.2.5  ") << false << latest << true;
        QTest::newRow("older is announced too") << toolFile("1.2.4") << false << Announced << true;
        QTest::newRow("newer, declined") << toolFile("1.3.0") << true << Announced << true;
        QTest::newRow("no version") << toolFile(QByteArray()) << false << QStringList {"AutoUpdate"} + latest << false;
    }

    void releaseChecks()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, automatic);
        QFETCH(QStringList, prompts);
        QFETCH(bool, checked);
        start();
        m_server->serve(ToolFile, {.body = file});
        live().AutomaticCheck = automatic;
        dialogs().queueAnswer(Answer::No);
        dialogs().queueAnswer(Answer::No);

        live().mnuCheckVexal_Click();
        const auto asked = dialogs().takePrompts();
        QCOMPARE(titlesOf(asked), prompts);
        QCOMPARE(window().selectedTab(), 2);
        QVERIFY(state().ControlsEnabled);
        QVERIFY(!m_server->requestedPaths().contains(QStringLiteral("/tool/files/updater.exe")));
        QCOMPARE(state().LastVexalCheckDate.isEmpty(), !checked);
        QCOMPARE(QFile::exists(state().NewsTmpPath), checked);
        if (checked)
            QCOMPARE(window().news().labels().value(0)->text(), QStringLiteral("Vexal Pro 1.2.6 is out"));
        // The menu's check runs once a run; a failed one may be tried again.
        QCOMPARE(c().mnuCheckVexal->isEnabled(), !checked);
        if (prompts == Announced) {
            QVERIFY(asked.first().text.contains(QStringLiteral("New version: Vexal Pro ")));
            QCOMPARE(c().lstLiveupdate->findItems(QStringLiteral(" released!"), Qt::MatchContains).size(), 1);
        }
        if (prompts == QStringList {"Vexal Pro"})
            QCOMPARE(asked.first().text, QStringLiteral("You are using the latest Vexal Pro version."));
    }

    void theLastNewsComeBackWhenTheCheckFails()
    {
        start();
        writeBytes(state().NewsTmpPath, "Yesterday's headline\nnodesc\nnolink\n---\n");
        m_server->serve(ToolFile, {.body = toolFile("1.2.6"), .lengthText = "9000"});
        live().mnuCheckVexal_Click();
        QCOMPARE(m_server->requestedPaths(), QStringList {ToolFile});
        QCOMPARE(window().news().labels().value(0)->text(), QStringLiteral("Yesterday's headline"));
        QVERIFY(QFile::exists(state().NewsTmpPath));
        QVERIFY(window().news().NewsRunning());
    }

    void aSignedUpdateReplacesTheProgram()
    {
        // The real updater replaces a stand-in of this program in the program folder and starts the
        // new one, which leaves a mark. It finds the hand-over and the download where the program keeps them.
        start(true);
        const ProgramsEndedIn ended {QDir(m_session->t.root()).canonicalPath() + u'/'};
        const ScopedEnvironment settings("VEXALP_SETTINGS_DIR", m_session->t.settingsFolder().toUtf8());
        const ScopedEnvironment cache("XDG_CACHE_HOME", QDir(m_session->t.root()).filePath("cache").toUtf8());
        // The default folder holds no hand-over: the updater must read the one the program wrote.
        const ScopedEnvironment config("XDG_CONFIG_HOME", QDir(m_session->t.root()).filePath("config").toUtf8());
        QCOMPARE(state().TempPath, QDir(m_session->t.root()).filePath("cache/vexalp/"));
        const QString folder = state().AppFolder;
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        writeBytes(folder + name, "#!/bin/sh\necho old\n");
        QFile::setPermissions(folder + name, QFile::permissions(folder + name) | QFile::ExeOwner);
        const QByteArray newProgram = "#!/bin/sh\necho started > new-program-started.txt\n";
        serveUpdate(readBytes(QStringLiteral(VEXAL_UPDATER_PATH)), newProgram);
        dialogs().queueAnswer(Answer::Yes);

        live().mnuCheckVexal_Click();
        QCOMPARE(titlesOf(dialogs().takePrompts()), Announced);
        QCOMPARE(readSetting(*m_session->t.settings, settingKeys::AppPath), folder);
        QCOMPARE(readSetting(*m_session->t.settings, settingKeys::AppExeName), name);
        QCOMPARE(readSetting(*m_session->t.settings, settingKeys::msg2), QStringLiteral("Applying product updates"));
        QVERIFY(!window().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "new-program-started.txt"), 20000);
        QCOMPARE(readBytes(folder + name), newProgram);
    }

    // --settings-dir moves the settings, and with them the hand-over, through the variable that the
    // updater reads (the test above starts the updater with it).
    void theSettingsFolderOptionIsPassedOn()
    {
        QTemporaryDir dir;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("VEXALP_SETTINGS_DIR"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath("cache"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VEXAL_PROGRAM), {"--smoke-test", "--settings-dir", dir.filePath("given")});
        QVERIFY(program.waitForFinished(30000));
        QVERIFY(QFile::exists(dir.filePath("given/Brakemoor Solutions.ini")));
        QVERIFY(!QFile::exists(dir.filePath("config")));
    }

    void unsignedFilesRunNothing_data()
    {
        QTest::addColumn<QByteArray>("releaseKey"); // the demo key's public half when null
        QTest::addColumn<QString>("refused"); // the file deleted; none when empty
        QTest::addColumn<QString>("said"); // in the last message
        const QString updater = QStringLiteral("updater2.exe"), program = QStringLiteral("vexalpro.exe.tmp");
        for (const char *how : {"tampered updater", "an older signed build under a newer version"})
            QTest::newRow(how) << QByteArray() << updater << updater;
        for (const char *how : {"truncated program", "unsigned program", "garbled signature"})
            QTest::newRow(how) << QByteArray() << program << program;
        QTest::newRow("a release build refuses the demo key") << otherPublicKey() << updater << updater;
        QTest::newRow("a release build without a key offers nothing") << QByteArray(
            "") << QString() << "Vexal Pro 1.2.6 is available. This copy is updated by your package manager";
    }

    void unsignedFilesRunNothing()
    {
        QFETCH(QByteArray, releaseKey);
        QFETCH(QString, refused);
        QFETCH(QString, said);
        start();
        if (!releaseKey.isNull())
            live().ReleaseKey = releaseKey;
        serveUpdate("\177ELF the updater", "\177ELF the new program", QString::fromLatin1(QTest::currentDataTag()));
        dialogs().queueAnswer(Answer::Yes);
        live().mnuCheckVexal_Click();

        const auto asked = dialogs().takePrompts();
        QCOMPARE(titlesOf(asked), (refused.isEmpty() ? QStringList() : Announced) + QStringList {"Vexal Pro"});
        QVERIFY2(asked.last().text.contains(said), qPrintable(asked.last().text));
        QVERIFY(m_session->t.shell.calls.isEmpty());
        QVERIFY(refused.isEmpty() || !QFile::exists(state().TempPath + refused));
        QVERIFY(window().isVisible() && state().ControlsEnabled);
        // The hand-over is written only once the updater is known to be the release's.
        QCOMPARE(readSetting(*m_session->t.settings, settingKeys::AppPath).isEmpty(), !refused.endsWith(".tmp"));
        if (refused.isEmpty())
            QVERIFY(!m_server->requestedPaths().contains(QStringLiteral("/tool/files/updater.exe")));
    }

    void schedule_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("lastPatchCheck");
        QTest::addColumn<QString>("lastToolCheck");
        QTest::addColumn<bool>("patchServerAnswers");
        QTest::addColumn<QStringList>("requested");
        QTest::addColumn<bool>("patchDateKept");
        const QString today = QLocale::system().toString(QDate(2026, 12, 5), QLocale::ShortFormat);
        const QString yesterday = QLocale::system().toString(QDate(2026, 12, 4), QLocale::ShortFormat);
        const QStringList tool {ToolFile, "/tool/news.txt"};
        QTest::newRow("both checked today: nothing contacted") << 3 << today << today << true << QStringList() << true;
        QTest::newRow("off") << 0 << yesterday << yesterday << true << QStringList() << true;
        QTest::newRow("both due, the program's first")
            << 3 << yesterday << yesterday << true << tool + QStringList {Versions} << false;
        QTest::newRow("another date format runs again")
            << 1 << "2026-12-05" << today << true << QStringList {Versions} << false;
        QTest::newRow("program only") << 2 << yesterday << yesterday << true << tool << true;
        QTest::newRow("a failed check keeps its date")
            << 1 << yesterday << today << false << QStringList {Versions} << true;
    }

    // Each row opens a second file too, which starts no second check.
    void schedule()
    {
        QFETCH(int, mode);
        QFETCH(QString, lastPatchCheck);
        QFETCH(QString, lastToolCheck);
        QFETCH(bool, patchServerAnswers);
        QFETCH(QStringList, requested);
        m_server->serve(ToolFile, {.body = toolFile("1.2.5")});
        m_server->serve(Versions,
            {.body = "[TTDP Alpha-Beta]\nversion=2.0.1 alpha 29\n",
                .lengthText = patchServerAnswers ? QByteArray() : "9000"});
        m_session.emplace();
        m_session->t.presetSettings({{"AutoLU", QString::number(mode)}, {"LastCheckDate", lastPatchCheck},
            {"LastVexalCheckDate", lastToolCheck}});
        m_session->open();

        QCOMPARE(m_server->requestedPaths(), requested);
        QTEST(state().LastCheckDate == lastPatchCheck, "patchDateKept");
        // An automatic check that finds the program up to date says nothing.
        QVERIFY(dialogs().prompts().isEmpty() || !patchServerAnswers);
        QVERIFY(!live().AutomaticCheck && live().AutomaticUpdateDone);
        m_session->open(m_session->folder + "ttdpatch.cfg");
        QCOMPARE(m_server->requestedPaths(), requested);
    }

    void summaryAndServerBoxes_data()
    {
        QTest::addColumn<bool>("patch");
        QTest::addColumn<bool>("tool");
        QTest::addColumn<QString>("summary");
        const QString list = QStringLiteral("The following products will be automatically updated: ");
        QTest::newRow("none") << false << false << "Automatic updates are disabled.";
        QTest::newRow("tool") << false << true << list + " Vexal Pro.";
        QTest::newRow("both") << true << true << list + "TTDPatch, Vexal Pro.";
    }

    void summaryAndServerBoxes()
    {
        QFETCH(bool, patch);
        QFETCH(bool, tool);
        start();
        window().showTabStrip(3);
        for (auto [box, ticked] : {std::pair {c().chkUpdatePatch, patch}, std::pair {c().chkUpdateVexal, tool}}) {
            if (box->isChecked() != ticked)
                box->click();
        }
        QTEST(c().lblCap[12]->text(), "summary");
        QCOMPARE(c().lblCap[12]->isEnabledTo(c().picOptions[2]), patch || tool);
        QCOMPARE(state().AutoLUMode, (patch ? 1 : 0) + (tool ? 2 : 0));
        QCOMPARE(c().cboPatchServer->isEnabled(), patch);
        QCOMPARE(c().lblCap[16]->isEnabled(), patch);
        QCOMPARE(c().cboVexalServer->isEnabled(), tool);
        QCOMPARE(c().lblCap[20]->isEnabled(), tool);
    }
};

QTEST_MAIN(SelfUpdateTest)
#include "tst_selfupdate.moc"
