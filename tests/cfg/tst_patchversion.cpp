// Finding the patch's version by running it, and the cache that spares running it again.
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/patchversion.h"
#include "common/settingkeys.h"
#include "shell/frmmain.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

using modMain::state;

using Session = GameSession;

class PatchVersionTest : public QObject {
    Q_OBJECT

private slots:
    void firstLineForms()
    {
        // line, the Windows patch's way, version
        const QList<std::tuple<QString, bool, QString>> lines
            = {{"TTDPatch V2.0.1 alpha 67 (DOS) starting.", false, "TTDPatch V2.0.1 alpha 67"},
                {"  TTDPatch 1.9  ", false, "TTDPatch 1.9"},
                {"2.6 alpha 0 r1651 (Windows)", true, "TTDPatch 2.6 alpha 0 r1651 (Windows)"},
                {" 2.5 ", true, "TTDPatch 2.5"}, {"   ", true, "   "}};
        for (const auto &[line, windowsWay, version] : lines)
            QCOMPARE(PatchVersion::versionFromFirstLine(line, windowsWay), version);
    }

    void realStandInsTellTheirVersion_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<QString>("version");
        QTest::newRow("windows way") << QStringLiteral("game") << QString()
                                     << QStringLiteral("TTDPatch 2.6 alpha 0 r1651 (Windows)");
        QTest::newRow("dos way, odd path") << QStringLiteral("dos-game") << QStringLiteral("it's \"a\"; b & $(touch x)")
                                           << QStringLiteral("TTDPatch V2.0.1 alpha 67");
    }

    void realStandInsTellTheirVersion()
    {
        QFETCH(QString, game);
        QFETCH(QString, subfolder);
        QFETCH(QString, version);
        Session s(game, true);
        if (!subfolder.isEmpty()) {
            s.folder = copyDemoGame(game, s.t.root() + QStringLiteral("/") + subfolder);
            QDir(s.t.root()).mkpath(QStringLiteral("probe"));
        }
        const QStringList before = QDir(s.folder).entryList(QDir::Files);
        s.open();
        QCOMPARE(state().DetectedPatchVersion, version);
        QCOMPARE(s.main().controls().lblCap[6]->text(), version + QStringLiteral(" detected."));
        QCOMPARE(readSetting(*s.t.settings, settingKeys::PatchVersion), version);
        QCOMPARE(
            readSettingNumber(*s.t.settings, settingKeys::PatchVersionSize), QFileInfo(state().PatchExecutable).size());
        // Nothing but the patch ran: the only new file is its switch list.
        QStringList after = QDir(s.folder).entryList(QDir::Files);
        after.removeAll(QStringLiteral("swtchlst.txt"));
        QCOMPARE(after, before);
        QVERIFY(!QFile::exists(s.path(QStringLiteral("x"))));
        QVERIFY(state().ControlsEnabled);
    }

    void aHangingPatchCostsThreeSecondsAtMost()
    {
        Session s(QStringLiteral("game"), true);
        const QString patch = s.path(QStringLiteral("ttdpatchw.exe"));
        writeBytes(patch, "#!/bin/sh\nsleep 6\nexit 0\n" + QByteArray(160000, '#') + "\n");
        QFile::setPermissions(patch, QFile::permissions(patch) | QFileDevice::ExeOwner);
        QElapsedTimer timer;
        timer.start();
        s.open();
        QVERIFY2(timer.elapsed() < 3800, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(timer.elapsed() >= 2000);
        QCOMPARE(state().DetectedPatchVersion, QStringLiteral("(unknown TTDPatch version)"));
    }

    void cacheAndDetectionPaths_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<bool>("cachedSize"); // the stored size matches the patch
        QTest::addColumn<bool>("menu"); // "Detect TTDPatch version" instead of opening
        QTest::addColumn<bool>("optionOn");
        QTest::addColumn<qint64>("patchSize"); // 0: as shipped
        QTest::addColumn<QString>("argument"); // "" no process, "-h" DOS way, "-!S" Windows way
        QTest::addColumn<QString>("version");
        const QString unknown = QStringLiteral("(unknown TTDPatch version)");
        const auto row = [](const char *name, const char *game, bool cached, bool menu, bool on, qint64 size,
                             const char *argument, const QString &version) {
            QTest::newRow(name) << QString::fromLatin1(game) << cached << menu << on << size
                                << QString::fromLatin1(argument) << version;
        };
        row("cache hit", "game", true, false, true, 0, "", QStringLiteral("cached"));
        row("other size", "game", false, false, true, 0, "-!S", unknown);
        row("menu always detects", "game", true, true, false, 0, "-!S", unknown);
        row("exactly 150000 bytes", "dos-game", false, false, true, 150000, "-h", unknown);
        row("150001 bytes", "dos-game", false, false, true, 150001, "-!S", unknown);
        row("option off", "game", false, false, false, 0, "", QStringLiteral("(version detection off)"));
    }

    void cacheAndDetectionPaths()
    {
        QFETCH(QString, game);
        QFETCH(bool, cachedSize);
        QFETCH(bool, menu);
        QFETCH(bool, optionOn);
        QFETCH(qint64, patchSize);
        QFETCH(QString, argument);
        QFETCH(QString, version);
        Session s(game);
        const QString patch = s.folder + (game == QLatin1String("game") ? "ttdpatchw.exe" : "ttdpatch.exe");
        if (patchSize > 0)
            QVERIFY(QFile(patch).resize(patchSize));
        writeBytes(s.path(QStringLiteral("swtchlst.txt")), "old\r\n");
        s.t.presetSettings({{QStringLiteral("PatchVersion"), QStringLiteral("cached")},
            {QStringLiteral("PatchVersionSize"), QString::number(QFileInfo(patch).size() + (cachedSize ? 0 : 1))}});
        s.main().controls().chkVersionget->setChecked(optionOn);
        s.open();
        if (menu) {
            QCOMPARE(state().DetectedPatchVersion, QStringLiteral("(version detection off)"));
            QVERIFY(s.t.shell.calls.isEmpty());
            s.main().controls().mnuVersionGet->trigger();
            QCOMPARE(s.main().controls().chkVersionget->isChecked(), optionOn);
        }
        QCOMPARE(state().DetectedPatchVersion, version);
        QCOMPARE(s.t.shell.calls.size(), argument.isEmpty() ? 0 : 1);
        if (!argument.isEmpty()) {
            const auto call = s.t.shell.calls.first();
            QCOMPARE(call.target, patch);
            QCOMPARE(call.arguments, QStringList {argument});
            QCOMPARE(call.workingFolder, s.folder);
            QCOMPARE(call.kind, RecordingShell::Call::Kind::Watched);
            // The DOS patch prints its help; the Windows one writes the list itself.
            QCOMPARE(
                call.outputFile, argument == QLatin1String("-h") ? s.path(QStringLiteral("swtchlst.txt")) : QString());
            QVERIFY(!QFile::exists(s.path(QStringLiteral("swtchlst.txt")))); // the old list was removed
            // Nothing came: the settings keep what they had.
            QCOMPARE(readSetting(*s.t.settings, settingKeys::PatchVersion), QStringLiteral("cached"));
        }
        QVERIFY(state().ControlsEnabled);
    }

    void oddSwitchLists_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("version");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("binary") << QByteArray("2.6\0\x01\x02\xff beta\r\nrest", 18)
                                << QStringLiteral("TTDPatch 2.6   \u00ff beta");
        QTest::newRow("one huge line") << QByteArray(3 * 1024 * 1024, 'x')
                                       << QStringLiteral("TTDPatch ") + QString(191, QLatin1Char('x'));
    }

    void oddSwitchLists()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, version);
        Session s(QStringLiteral("game"));
        s.t.shell.onCall = [&](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), content);
        };
        s.open();
        QCOMPARE(state().DetectedPatchVersion, version);
        QVERIFY(state().DetectedPatchVersion.size() <= 200);
        QVERIFY(state().ControlsEnabled);
    }
};

QTEST_MAIN(PatchVersionTest)
#include "tst_patchversion.moc"
