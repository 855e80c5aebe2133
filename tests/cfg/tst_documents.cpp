// Opening, colouring, typing in and saving the configuration and its new-graphics list, and
// finding the patch's version by running it, with the cache that spares running it again.
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "common/settingkeys.h"
#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using modMain::state;

namespace {

// The editors of a started program over a copy of the demo game folder.
struct Session : GameSession {
    using GameSession::GameSession;
    QPlainTextEdit &cfg() { return *main().controls().rtbPatch; }
    QPlainTextEdit &list() { return *main().controls().rtbGrf; }
    void save()
    {
        bool closeAfter = false;
        main().SaveSettings(false, closeAfter);
    }
    QColor colourOfLine(QPlainTextEdit &editor, int line)
    {
        return EditorText(editor).lineColour(editor.document()->findBlockByNumber(line));
    }
    void caretTo(QPlainTextEdit &editor, int line, int column)
    {
        QTextCursor cursor(editor.document()->findBlockByNumber(line));
        cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
        editor.setTextCursor(cursor);
    }
};

const QColor Green(0, 128, 0);
const QColor Teal(0, 128, 128);

} // namespace

class DocumentsTest : public QObject {
    Q_OBJECT

private slots:
    void openingAndTypingColourLinesNearALineStartOnly()
    {
        Session s;
        writeBytes(s.path(), "// top\r\nmultihead 4\r\nmorestats on\r\n[ships]\r\n");
        writeBytes(s.path(QStringLiteral("newgrfw.cfg")), "x.grf\r\n #y.grf\r\n");
        // The font size chosen takes effect at the next opening.
        QComboBox &size = *s.main().controls().cboSize;
        size.setCurrentIndex(size.count() - 1);
        s.open();
        QPlainTextEdit &cfg = s.cfg();
        QCOMPARE(s.list().font().pointSize(), size.currentText().toInt());
        // The configuration opens at its top, the list at its end, where entries are added.
        QVERIFY(cfg.textCursor().position() == 0 && s.list().textCursor().atEnd());
        QCOMPARE(s.colourOfLine(s.list(), 1), Green); // a disabled entry
        QCOMPARE(s.colourOfLine(cfg, 0), Green);
        QCOMPARE(s.colourOfLine(cfg, 3), Teal);
        QVERIFY(!state().FilesModified);
        s.caretTo(cfg, 1, 0);
        QTest::keyClick(&cfg, '/');
        QVERIFY(s.colourOfLine(cfg, 1) != Green);
        QVERIFY(state().FilesModified);
        QTest::keyClick(&cfg, '/');
        QCOMPARE(s.colourOfLine(cfg, 1), Green);
        // Taking the first slash away gives the text colour back.
        s.caretTo(cfg, 1, 1);
        QTest::keyClick(&cfg, Qt::Key_Backspace);
        QVERIFY(s.colourOfLine(cfg, 1) != Green);
        s.caretTo(cfg, 2, 0);
        QTest::keyClick(&cfg, '[');
        QCOMPARE(s.colourOfLine(cfg, 2), Teal);
        // Enter at the end of a green line: the new line has the text colour.
        s.caretTo(cfg, 0, 6);
        QTest::keyClick(&cfg, Qt::Key_Return);
        QVERIFY(s.colourOfLine(cfg, 1) != Green);
        // Colour coding off: read and typed without colours.
        s.main().controls().chkColor->setChecked(false);
        s.open();
        const QColor text = s.colourOfLine(cfg, 1);
        QCOMPARE(s.colourOfLine(cfg, 0), text);
        s.caretTo(cfg, 1, 0);
        QTest::keyClicks(&cfg, QStringLiteral("//"));
        QCOMPARE(s.colourOfLine(cfg, 1), text);
    }

    // Game folders come from Windows: the list and the graphics folder are used under the names
    // they have, in whatever case; lower case only for ones that are not there yet.
    void listAndGraphicsFolderInAnyCase_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("list"); // the list file the folder holds; empty: none
        QTest::addColumn<QString>("graphics"); // the graphics folder; empty: none
        QTest::addColumn<QString>("listUsed");
        QTest::addColumn<QString>("graphicsUsed");
        const auto row = [](const char *tag, const char *game, const char *list, const char *graphics,
                             const char *listUsed, const char *graphicsUsed) {
            QTest::newRow(tag) << QString::fromLatin1(game) << QString::fromLatin1(list)
                               << QString::fromLatin1(graphics) << QString::fromLatin1(listUsed)
                               << QString::fromLatin1(graphicsUsed);
        };
        row("upper case", "game", "NEWGRFW.CFG", "NEWGRF", "NEWGRFW.CFG", "NEWGRF");
        row("none there", "game", "", "", "newgrfw.cfg", "newgrf");
        row("dos, only the other edition's list", "dos-game", "NEWGRFW.CFG", "newgrf", "newgrf.cfg", "newgrf");
    }

    void listAndGraphicsFolderInAnyCase()
    {
        QFETCH(QString, game);
        QFETCH(QString, list);
        QFETCH(QString, graphics);
        QFETCH(QString, listUsed);
        QFETCH(QString, graphicsUsed);
        Session s(game);
        const QString standardList = QLatin1String(game == QLatin1String("game") ? "newgrfw.cfg" : "newgrf.cfg");
        QVERIFY(QFile::remove(s.path(standardList)));
        if (!list.isEmpty())
            writeBytes(s.path(list), "old.grf\r\n");
        const QStringList graphicsFiles
            = QDir(s.path(QStringLiteral("newgrf"))).entryList({QStringLiteral("*.grf")}, QDir::Files);
        QVERIFY(!graphicsFiles.isEmpty());
        if (graphics.isEmpty())
            QVERIFY(QDir(s.path(QStringLiteral("newgrf"))).removeRecursively());
        else if (graphics != QLatin1String("newgrf"))
            QVERIFY(QDir(s.folder).rename(QStringLiteral("newgrf"), graphics));
        s.open();
        QCOMPARE(state().GrfFileName, s.path(listUsed));
        QCOMPARE(EditorText(s.list()).text(), QLatin1String(list == listUsed ? "old.grf\r\n" : ""));
        const QListWidget &files = *s.main().controls().flbGrf;
        QCOMPARE(files.property("folder").toString(), s.path(graphicsUsed));
        QCOMPARE(linesOf(files).size(), graphics.isEmpty() ? 0 : graphicsFiles.size());
        EditorText(s.list()).setText(QStringLiteral("newgrf/new.grf"));
        s.save();
        QCOMPARE(readBytes(s.path(listUsed)), QByteArray("newgrf/new.grf\r\n"));
        // Each name once: nothing was written or made beside an entry that differs only in case.
        for (const QString &used : {listUsed, graphicsUsed}) {
            const QRegularExpression sameName(
                u'^' + QRegularExpression::escape(used) + u'$', QRegularExpression::CaseInsensitiveOption);
            QCOMPARE(entriesOf(s.folder).filter(sameName), QStringList {used});
        }
        if (!list.isEmpty() && list != listUsed)
            QCOMPARE(readBytes(s.path(list)), QByteArray("old.grf\r\n"));
    }

    // Recent entries swap; files that are no configuration (a dropped text file, the new-graphics
    // list or the sound settings picked with Open) leave the open one; a dropped configuration opens.
    void theOpenFileFollowsRecentEntriesDropsAndRefusals()
    {
        Session s;
        const QString a = s.path();
        const QString b = s.path(QStringLiteral("other.cfg"));
        QFile::copy(a, b);
        s.open(a);
        s.open(b);
        QCOMPARE(state().RecentFile2, a);
        auto &c = s.main().controls();
        c.QL2->trigger();
        QCOMPARE(state().RecentFile1, a);
        QCOMPARE(state().RecentFile2, b);
        c.QL1->trigger(); // the open file again: nothing moves
        QCOMPARE(state().RecentFile2, b);
        const QByteArray stored = readBytes(s.t.settingsFile()); // on disk at once
        QVERIFY(stored.contains(("Recent1=" + a).toUtf8()) && stored.contains(("Recent2=" + b).toUtf8()));

        const auto drop = [&s](const QString &path) {
            writeBytes(path, "mine 1\r\n");
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(s.cfg().viewport(), &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(s.cfg().viewport(), &event);
            return event.isAccepted() && event.dropAction() == Qt::CopyAction;
        };
        s.t.dialogs.takePrompts();
        drop(s.path(QStringLiteral("notes.txt")));
        QVERIFY(s.t.dialogs.prompts().isEmpty());
        const QString list = QStringLiteral("Please don't try to open the newgrf file separately");
        for (const auto &[name, message] : {std::pair {"NewGrfW.CFG", list},
                 {"SOUND.cfg", QStringLiteral("You have tried to open the sound settings file.")}}) {
            writeBytes(s.path(QLatin1String(name)), "x\r\n");
            s.t.dialogs.queueText(s.path(QLatin1String(name)));
            QTest::mouseClick(c.cmdOpen, Qt::LeftButton);
            const auto prompts = s.t.dialogs.takePrompts();
            QCOMPARE(prompts.size(), 2);
            QVERIFY2(prompts.at(1).text.startsWith(message), qPrintable(prompts.at(1).text));
            QCOMPARE(state().CfgFileName, a);
        }
        s.save(); // still writes the open document
        QVERIFY(readBytes(a).startsWith("//vexal="));
        QCOMPARE(readBytes(s.path(QStringLiteral("SOUND.cfg"))), QByteArray("x\r\n"));
        // The dropping program is told the file was taken.
        QVERIFY(drop(s.path(QStringLiteral("MINE.CFG"))));
        QCOMPARE(state().CfgFileName, s.path(QStringLiteral("MINE.CFG")));
        QCOMPARE(EditorText(s.cfg()).text(), QStringLiteral("mine 1\r\n"));
    }

    // Headers are added once and never refreshed; what cannot be written stays as it was.
    void savingAddsHeadersOnceAndLeavesWhatItCannotWrite()
    {
        Session s;
        const QString path = s.path();
        writeBytes(path, "multihead 4\r\n");
        s.open(path);
        state().DetectedPatchVersion = QStringLiteral("TTDPatch 2.6 alpha 0 r1651 (Windows)");
        s.save();
        const QByteArray first = readBytes(path);
        QCOMPARE(first,
            QByteArray("//vexal=File created by Vexal Pro 1.2.5\r\n"
                       "//ttdpatch=Detected TTDPatch versions is TTDPatch 2.6 alpha 0 r1651 (Windows)\r\n"
                       "multihead 4\r\n\r\n"));
        QCOMPARE(s.colourOfLine(s.cfg(), 0), Green);
        QVERIFY(!state().FilesModified);
        state().DetectedPatchVersion = QStringLiteral("TTDPatch 2.7");
        s.save();
        QCOMPARE(readBytes(path), first);
        // A header mark anywhere, in any case, counts as the header.
        writeBytes(path, "multihead 4 //TtdPatch=old\r\n//VEXAL mine\r\n");
        s.open(path);
        // Runs of line breaks in the list are thinned to two.
        EditorText(s.list()).setText(QStringLiteral("a.grf\r\n\r\n\r\n\r\nb.grf\r\n\r\n\r\nc.grf"));
        s.save();
        QCOMPARE(readBytes(path), QByteArray("multihead 4 //TtdPatch=old\r\n//VEXAL mine\r\n\r\n"));
        QCOMPARE(readBytes(s.path(QStringLiteral("newgrfw.cfg"))), QByteArray("a.grf\r\n\r\nb.grf\r\n\r\nc.grf\r\n"));

        const QByteArray before = readBytes(path);
        // While a transfer runs, saving is refused and writes nothing.
        s.main().DisableControls();
        s.save();
        QVERIFY(s.t.dialogs.takePrompts().value(0).text.startsWith(QLatin1String("This action is currently blocked")));
        QCOMPARE(readBytes(path), before);
        s.main().EnableControls();
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        EditorText(s.list()).setText(QStringLiteral("only.grf\r\n"));
        QString report;
        catchReport(s.t.dialogs, report);
        s.save();
        QCOMPARE(report, QStringLiteral("Error code # 75\nPath/File access error\n@ SaveSettings"));
        QCOMPARE(readBytes(path), before);
        QCOMPARE(readBytes(s.path(QStringLiteral("newgrfw.cfg"))), QByteArray("only.grf\r\n\r\n"));
        QVERIFY(state().ControlsEnabled);
    }

    // What opens saves as its lines under the two headers, whatever the bytes.
    void filesOpenAndSaveTheirLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("blanks and empty lines")
            << QByteArray("  multihead 4 \r\n\r\n \r\n\tcdpath C:\\caf\xe9\r\n\r\n");
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char((i * 7919) % 256);
        QTest::newRow("binary") << binary;
    }

    void filesOpenAndSaveTheirLines()
    {
        QFETCH(QByteArray, content);
        Session s;
        writeBytes(s.path(), content);
        s.open();
        QVERIFY(s.t.dialogs.prompts().isEmpty());
        s.save();
        QByteArray expected = "//vexal=File created by Vexal Pro 1.2.5\r\n//ttdpatch=Detected TTDPatch versions is "
            + state().DetectedPatchVersion.toLatin1() + "\r\n";
        // CR LF or CR end a line, blanks around it go, empty lines go.
        for (const QByteArray &line : QByteArray(content).replace("\r\n", "\r").split('\r')) {
            const QByteArray trimmed
                = QString::fromLatin1(line).remove(QRegularExpression(QStringLiteral("^ +| +$"))).toLatin1();
            if (!trimmed.isEmpty())
                expected += trimmed + "\r\n";
        }
        QCOMPARE(readBytes(s.path()), expected + "\r\n");
    }

    // A file where the newgrf folder should be is reported, the rest still opening and saving; a file
    // too large for a configuration is refused whole.
    void unusualFilesAreReported()
    {
        Session s;
        QVERIFY(QDir(s.path(QStringLiteral("newgrf"))).removeRecursively());
        writeBytes(s.path(QStringLiteral("newgrf")), "not a folder");
        QString report;
        catchReport(s.t.dialogs, report);
        s.open();
        QCOMPARE(report, QStringLiteral("Error code # 75\nPath/File access error\n@ ReadSettings"));
        QVERIFY(!EditorText(s.cfg()).isBlank());
        s.save();
        QVERIFY(readBytes(s.path()).startsWith("//vexal="));

        QVERIFY(QFile::remove(s.path(QStringLiteral("newgrf"))));
        QVERIFY(QFile(s.path()).resize(qint64(50) * 1024 * 1024));
        catchReport(s.t.dialogs, report);
        s.open();
        QVERIFY2(
            report.startsWith(QStringLiteral("Error code # 7\n")) && report.endsWith(QStringLiteral("@ ReadSettings")),
            qPrintable(report));
        QVERIFY(EditorText(s.cfg()).isBlank());
    }

    void lastFileOrCommandLineFileOpensAtStart_data()
    {
        QTest::addColumn<QString>("autoLoad");
        QTest::addColumn<QString>("given"); // on the command line
        QTest::addColumn<QString>("opened"); // which file is open afterwards
        QTest::newRow("last file") << QStringLiteral("1") << QString() << QStringLiteral("last.cfg");
        QTest::newRow("automatic reopening off") << QStringLiteral("0") << QString() << QString();
        QTest::newRow("command line wins")
            << QStringLiteral("1") << QStringLiteral("given.cfg") << QStringLiteral("given.cfg");
    }

    void lastFileOrCommandLineFileOpensAtStart()
    {
        QFETCH(QString, autoLoad);
        QFETCH(QString, given);
        QFETCH(QString, opened);
        Session s;
        writeBytes(s.path(QStringLiteral("last.cfg")), "last 1\r\n");
        writeBytes(s.path(QStringLiteral("given.cfg")), "given 1\r\n");
        s.t.presetSettings({{QStringLiteral("Recent1"), s.path(QStringLiteral("last.cfg"))},
            {QStringLiteral("AutoLoadLast"), autoLoad}});
        frmComponents startup(*s.t.services, StringResources::builtIn(), s.t.environment(), testComponents());
        if (!given.isEmpty())
            startup.setFileToOpen(s.path(given));
        startup.Form_Load();
        QTest::qWait(1);
        QCOMPARE(startup.mainWindow()->tabStripVisible(), !opened.isEmpty());
        QCOMPARE(EditorText(*startup.mainWindow()->controls().rtbPatch).text(),
            opened.isEmpty() ? QString() : opened.section(QLatin1Char('.'), 0, 0) + QStringLiteral(" 1\r\n"));
    }

    // A hanging patch costs three seconds at most, and is ended then: what it would still have done
    // never happens.
    void aHangingPatchIsEndedAfterThreeSeconds()
    {
        GameSession s(QStringLiteral("game"), true);
        const QString patch = s.path(QStringLiteral("ttdpatchw.exe"));
        writeBytes(patch, "#!/bin/sh\nsleep 4\ntouch ended-late\n" + QByteArray(160000, '#') + "\n");
        QFile::setPermissions(patch, QFile::permissions(patch) | QFileDevice::ExeOwner);
        QElapsedTimer timer;
        timer.start();
        s.open();
        QVERIFY2(timer.elapsed() < 3800, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(timer.elapsed() >= 2000);
        QCOMPARE(state().DetectedPatchVersion, QStringLiteral("(unknown TTDPatch version)"));
        QTest::qWait(2500); // past the moment it would have done it
        QVERIFY(!QFile::exists(s.path(QStringLiteral("ended-late"))));
    }

    // The cache spares the run; otherwise the first line of the switch list the patch writes (or,
    // the DOS way, prints) gives the version.
    void cacheAndDetectionPaths_data()
    {
        QTest::addColumn<QString>("game");
        QTest::addColumn<bool>("cachedSize"); // the stored size matches the patch
        QTest::addColumn<QString>("detection"); // the option "on" or "off"; "menu": off, then asked from the menu
        QTest::addColumn<qint64>("patchSize"); // 0: as shipped
        QTest::addColumn<QByteArray>("list"); // what the patch writes; null: nothing
        QTest::addColumn<QString>("argument"); // "" no process, "-h" DOS way, "-!S" Windows way
        QTest::addColumn<QString>("version");
        const QString unknown = QStringLiteral("(unknown TTDPatch version)");
        const auto row = [](const char *name, const char *game, bool cached, const char *detection, qint64 size,
                             const QByteArray &list, const char *argument, const QString &version) {
            QTest::newRow(name) << QString::fromLatin1(game) << cached << QString::fromLatin1(detection) << size << list
                                << QString::fromLatin1(argument) << version;
        };
        row("cache hit", "game", true, "on", 0, {}, "", QStringLiteral("cached"));
        row("menu always detects", "game", true, "menu", 0, {}, "-!S", unknown);
        row("option off", "game", false, "off", 0, {}, "", QStringLiteral("(version detection off)"));
        row("exactly 150000 bytes, dos way", "dos-game", false, "on", 150000,
            "TTDPatch V2.0.1 alpha 67 (DOS) starting.\r\nrest", "-h", QStringLiteral("TTDPatch V2.0.1 alpha 67"));
        row("windows way, blanks", "game", false, "on", 0, " 2.5 \r\n", "-!S", QStringLiteral("TTDPatch 2.5"));
        row("empty", "game", false, "on", 0, "", "-!S", QString());
        row("binary", "game", false, "on", 0, QByteArray("2.6\0\x01\x02\xff beta\r\nrest", 18), "-!S",
            QStringLiteral("TTDPatch 2.6   \u00ff beta"));
        row("one huge line", "game", false, "on", 0, QByteArray(3 * 1024 * 1024, 'x'), "-!S",
            QStringLiteral("TTDPatch ") + QString(191, QLatin1Char('x')));
    }

    void cacheAndDetectionPaths()
    {
        QFETCH(QString, game);
        QFETCH(bool, cachedSize);
        QFETCH(QString, detection);
        QFETCH(qint64, patchSize);
        QFETCH(QByteArray, list);
        QFETCH(QString, argument);
        QFETCH(QString, version);
        GameSession s(game);
        const QString patch = s.folder + (game == QLatin1String("game") ? "ttdpatchw.exe" : "ttdpatch.exe");
        if (patchSize > 0)
            QVERIFY(QFile(patch).resize(patchSize));
        writeBytes(s.path(QStringLiteral("swtchlst.txt")), "old\r\n");
        s.t.presetSettings({{QStringLiteral("PatchVersion"), QStringLiteral("cached")},
            {QStringLiteral("PatchVersionSize"), QString::number(QFileInfo(patch).size() + (cachedSize ? 0 : 1))}});
        if (!list.isNull()) {
            s.t.shell.onCall = [&](const RecordingShell::Call &call) {
                writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), list);
            };
        }
        s.main().controls().chkVersionget->setChecked(detection == QLatin1String("on"));
        s.open();
        if (detection == QLatin1String("menu")) {
            s.main().controls().mnuVersionGet->trigger();
            QVERIFY(!s.main().controls().chkVersionget->isChecked());
        }
        QCOMPARE(state().DetectedPatchVersion, version);
        QCOMPARE(s.t.shell.calls.size(), argument.isEmpty() ? 0 : 1);
        if (!argument.isEmpty()) {
            const auto call = s.t.shell.calls.first();
            QCOMPARE(call.target, patch);
            QCOMPARE(call.arguments, QStringList {argument});
            QCOMPARE(call.workingFolder, s.folder);
            // The DOS patch prints its help; the Windows one writes the list itself.
            QCOMPARE(
                call.outputFile, argument == QLatin1String("-h") ? s.path(QStringLiteral("swtchlst.txt")) : QString());
            // The old list was removed; when nothing came, the settings keep what they had.
            QCOMPARE(QFile::exists(s.path(QStringLiteral("swtchlst.txt"))), !list.isNull());
            QCOMPARE(readSetting(*s.t.settings, settingKeys::PatchVersion),
                list.isNull() ? QStringLiteral("cached") : version);
        }
        QVERIFY(state().ControlsEnabled);
    }
};

QTEST_MAIN(DocumentsTest)
#include "tst_documents.moc"
