// Opening, colouring, typing in and saving the configuration and its new-graphics list.
#include "testsupport.h"

#include "cfg/colourcoding.h"
#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "lang/stringresources.h"
#include "shell/frmcomponents.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"

#include "common/settingkeys.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

using modMain::state;

namespace {

// The editors of a started program over a copy of the demo game folder.
struct Session : GameSession {
    using GameSession::GameSession;
    using GameSession::open;
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

QByteArray crlf(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

} // namespace

class DocumentsTest : public QObject {
    Q_OBJECT

private slots:
    void typingRecoloursOnlyNearALineStart()
    {
        Session s;
        writeBytes(s.path(), crlf({"// top", "multihead 4", "morestats on", "[ships]"}));
        s.open();
        QPlainTextEdit &cfg = s.cfg();
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
        QCOMPARE(cfg.document()->findBlockByNumber(1).text(), QString());
        QVERIFY(s.colourOfLine(cfg, 1) != Green);

        // Mid-line typing and arrows leave a line's colour alone, however wrong it is.
        EditorText(cfg).colourLine(cfg.document()->findBlockByNumber(3), Green); // "morestats on"
        s.caretTo(cfg, 3, 6);
        QTest::keyClicks(&cfg, QStringLiteral("xy"));
        QCOMPARE(s.colourOfLine(cfg, 3), Green);
        s.caretTo(cfg, 3, 1);
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up, Qt::Key_Home})
            QTest::keyClick(&cfg, key);
        QCOMPARE(s.colourOfLine(cfg, 3), Green);

        // Colour coding off: read and typed without colours.
        s.main().controls().chkColor->setChecked(false);
        state().FilesModified = false;
        s.open();
        const QColor text = s.colourOfLine(cfg, 1);
        QCOMPARE(s.colourOfLine(cfg, 0), text);
        s.caretTo(cfg, 1, 0);
        QTest::keyClicks(&cfg, QStringLiteral("//"));
        QCOMPARE(s.colourOfLine(cfg, 1), text);
    }

    void openingTrimsAndDropsBlankLines()
    {
        Session s;
        writeBytes(s.path(), "  a  \r\n\r\n\t b\r\n   \r\n//c\rd\ne");
        writeBytes(s.path(QStringLiteral("newgrfw.cfg")), "\r\nx.grf\r\n\r\n\r\n\r\n #y.grf\r\n");
        // The font size chosen takes effect at the next opening.
        QComboBox &size = *s.main().controls().cboSize;
        size.setCurrentIndex(size.count() - 1);
        s.open();
        QCOMPARE(EditorText(s.cfg()).text(), QStringLiteral("a\r\n\t b\r\n//c\r\nd\ne\r\n"));
        QCOMPARE(s.list().font().pointSize(), size.currentText().toInt());
        // The configuration opens at its top, the list at its end, where entries are added.
        QVERIFY(s.cfg().textCursor().position() == 0 && s.list().textCursor().atEnd());
        QCOMPARE(EditorText(s.list()).text(), QStringLiteral("\r\nx.grf\r\n\r\n#y.grf\r\n"));
        QCOMPARE(s.colourOfLine(s.list(), 3), Green);
        QCOMPARE(state().GameFolder, s.folder);
        QCOMPARE(state().GrfFileName, s.path(QStringLiteral("newgrfw.cfg")));
        QCOMPARE(state().PatchExecutable, s.path(QStringLiteral("ttdpatchw.exe")));
        QVERIFY(s.main().controls().mnuRegedit->isEnabled());
        QVERIFY(s.main().tabStripVisible());
        const auto *files = s.main().controls().flbGrf;
        QVERIFY(files->count() >= 5);
        QCOMPARE(files->property("folder").toString(), s.path(QStringLiteral("newgrf")));
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
        row("mixed case", "game", "NewGRFW.cfg", "NewGrf", "NewGRFW.cfg", "NewGrf");
        row("dos, upper case", "dos-game", "NEWGRF.CFG", "NEWGRF", "NEWGRF.CFG", "NEWGRF");
        row("none there", "game", "", "", "newgrfw.cfg", "newgrf");
        row("only the other edition's list", "game", "NEWGRF.CFG", "newgrf", "newgrfw.cfg", "newgrf");
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
        const QString standardFolder = QStringLiteral("newgrf");
        QVERIFY(QFile::remove(s.path(standardList)));
        if (!list.isEmpty())
            writeBytes(s.path(list), "old.grf\r\n");
        const QStringList graphicsFiles
            = QDir(s.path(standardFolder)).entryList({QStringLiteral("*.grf")}, QDir::Files);
        QVERIFY(!graphicsFiles.isEmpty());
        if (graphics.isEmpty())
            QVERIFY(QDir(s.path(standardFolder)).removeRecursively());
        else if (graphics != standardFolder)
            QVERIFY(QDir(s.folder).rename(standardFolder, graphics));
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
        const QStringList entries = entriesOf(s.folder);
        for (const QString &used : {listUsed, graphicsUsed}) {
            const auto sameName = [&used](const QString &e) { return e.compare(used, Qt::CaseInsensitive) == 0; };
            QCOMPARE(std::count_if(entries.begin(), entries.end(), sameName), 1);
            QVERIFY2(entries.contains(used), qPrintable(entries.join(QLatin1Char(' '))));
        }
        if (!list.isEmpty() && list != listUsed)
            QCOMPARE(readBytes(s.path(list)), QByteArray("old.grf\r\n"));
    }

    void bothGameExecutablesMeanDos()
    {
        Session s;
        writeBytes(s.path(QStringLiteral("TTDX.EXE")), "MZ");
        writeBytes(s.path(QStringLiteral("newgrf.cfg")), "dos.grf\r\n");
        s.t.dialogs.queueAnswer(Answer::No); // keep ttdpatchw.exe
        // Neither DOS patch: the patch-not-found page; confirming it keeps the DOS choice.
        s.t.dialogs.queueForm([](QDialog &form) {
            form.findChild<QRadioButton *>(QStringLiteral("optDos"))->click();
            form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        s.open();
        QCOMPARE(state().PatchEdition, modMain::Edition::Dos);
        QCOMPARE(state().GrfFileName, s.path(QStringLiteral("newgrf.cfg")));
        QCOMPARE(EditorText(s.list()).text(), QStringLiteral("dos.grf\r\n"));
        QVERIFY(!s.main().controls().mnuRegedit->isEnabled());
        QVERIFY(QFile::exists(s.path(QStringLiteral("ttdpatchw.exe"))));
    }

    void refusedFilesKeepTheOpenDocument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString list = QStringLiteral("Please don't try to open the newgrf file separately");
        QTest::newRow("newgrfw") << QStringLiteral("NewGrfW.CFG") << list;
        QTest::newRow("newgrf") << QStringLiteral("newgrf.cfg") << list;
        QTest::newRow("sound") << QStringLiteral("SOUND.cfg")
                               << QStringLiteral("You have tried to open the sound settings file.");
    }

    void refusedFilesKeepTheOpenDocument()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        Session s;
        const QString open = s.path();
        s.open(open);
        writeBytes(s.folder + name, "x\r\n");
        s.t.dialogs.takePrompts();
        s.t.dialogs.queueText(s.folder + name);
        QTest::mouseClick(s.main().controls().cmdOpen, Qt::LeftButton);
        const auto prompts = s.t.dialogs.takePrompts();
        QCOMPARE(prompts.size(), 2);
        QVERIFY2(prompts.at(1).text.startsWith(message), qPrintable(prompts.at(1).text));
        QCOMPARE(state().CfgFileName, open);
        s.save(); // still writes the open document
        QVERIFY(readBytes(open).startsWith("//vexal="));
        QCOMPARE(readBytes(s.folder + name), QByteArray("x\r\n"));
    }

    void secondRecentEntrySwapsTheTwo()
    {
        Session s;
        const QString a = s.path();
        const QString b = s.path(QStringLiteral("other.cfg"));
        QFile::copy(a, b);
        s.open(a);
        s.open(b);
        QCOMPARE(state().RecentFile1, b);
        QCOMPARE(state().RecentFile2, a);
        auto &c = s.main().controls();
        QCOMPARE(c.QL2->text(), a);
        c.QL2->trigger();
        QCOMPARE(state().RecentFile1, a);
        QCOMPARE(state().RecentFile2, b);
        c.QL1->trigger(); // the open file again: nothing moves
        QCOMPARE(state().RecentFile1, a);
        QCOMPARE(state().RecentFile2, b);
        s.t.reopenSettings();
        QCOMPARE(readSetting(*s.t.settings, settingKeys::Recent1), a);
        QCOMPARE(readSetting(*s.t.settings, settingKeys::Recent2), b);
    }

    void dropsOpenOnlyConfigurationFiles()
    {
        Session s;
        writeBytes(s.path(QStringLiteral("notes.txt")), "hello\r\n");
        writeBytes(s.path(QStringLiteral("MINE.CFG")), "mine 1\r\n");
        auto drop = [&s](const QString &path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(s.cfg().viewport(), &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(s.cfg().viewport(), &event);
            return event.isAccepted() && event.dropAction() == Qt::CopyAction;
        };
        const QString open = s.path();
        s.open(open);
        drop(s.path(QStringLiteral("notes.txt")));
        QCOMPARE(state().CfgFileName, open);
        QVERIFY(s.t.dialogs.prompts().isEmpty());
        // The dropping program is told the file was taken.
        QVERIFY(drop(s.path(QStringLiteral("MINE.CFG"))));
        QCOMPARE(state().CfgFileName, s.path(QStringLiteral("MINE.CFG")));
        QCOMPARE(EditorText(s.cfg()).text(), QStringLiteral("mine 1\r\n"));
    }

    void savingAddsHeadersOnceAndNeverRefreshesThem()
    {
        Session s;
        const QString path = s.path();
        writeBytes(path, crlf({"multihead 4"}));
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
        QVERIFY(state().ControlsEnabled);
        state().DetectedPatchVersion = QStringLiteral("TTDPatch 2.7");
        s.save();
        QCOMPARE(readBytes(path), first);
        s.open(path);
        s.save();
        QCOMPARE(readBytes(path), first);

        // A header mark anywhere, in any case, counts as the header.
        writeBytes(path, crlf({"multihead 4 //TtdPatch=old", "//VEXAL mine"}));
        s.open(path);
        // Runs of line breaks in the list are thinned to two.
        EditorText(s.list()).setText(QStringLiteral("a.grf\r\n\r\n\r\n\r\nb.grf\r\n\r\n\r\nc.grf"));
        s.save();
        QCOMPARE(readBytes(path), crlf({"multihead 4 //TtdPatch=old", "//VEXAL mine", ""}));
        QCOMPARE(readBytes(s.path(QStringLiteral("newgrfw.cfg"))), QByteArray("a.grf\r\n\r\nb.grf\r\n\r\nc.grf\r\n"));
    }

    void readOnlyConfigurationStaysUntouched()
    {
        Session s;
        const QString path = s.path();
        s.open(path);
        const QByteArray before = readBytes(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        EditorText(s.list()).setText(QStringLiteral("only.grf\r\n"));
        // The report comes while the controls are still blocked.
        QString report;
        s.t.dialogs.queueForm([&report](QDialog &form) {
            report = state().ControlsEnabled ? QString() : static_cast<frmError &>(form).report();
            form.reject();
        });
        s.save();
        QCOMPARE(report, QStringLiteral("Error code # 75\r\nPath/File access error\r\n@ SaveSettings"));
        QCOMPARE(readBytes(path), before);
        QCOMPARE(readBytes(s.path(QStringLiteral("newgrfw.cfg"))), QByteArray("only.grf\r\n\r\n"));
        QVERIFY(state().ControlsEnabled);
        QVERIFY(!state().FilesModified);
    }

    // Real files and odd bytes: what opens saves as its lines under the two headers, none added to
    // a file that has the program's own.
    void filesOpenAndSaveTheirLines_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: the corpus is not beside this clone
        for (const char *name :
            {"ttdpatch-default-english.cfg", "ttdpatch-default-english-dos.cfg", "ttdpatch-player-edited.cfg",
                "ttdpatch-writecfg-nocfg-english.cfg", "ttdpatch-lang-german.txt", "ttdpatch-doc-Changelog.txt"})
            QTest::newRow(name) << readBytes(QStringLiteral(VEXAL_CORPUS_DIR "/") + QLatin1String(name));
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char((i * 7919) % 256);
        QTest::newRow("binary") << binary;
        QTest::newRow("nul bytes") << QByteArray("multihead 4\0\0 x\r\nabc\0\r\n", 22);
    }

    void filesOpenAndSaveTheirLines()
    {
        QFETCH(QByteArray, content);
        if (content.isNull())
            QSKIP("the corpus of real configuration files is not beside this clone");
        Session s;
        writeBytes(s.path(), content);
        s.open();
        QVERIFY(s.t.dialogs.prompts().isEmpty());
        s.save();
        QByteArray expected = "//vexal=File created by Vexal Pro 1.2.5\r\n//ttdpatch=Detected TTDPatch versions is "
            + state().DetectedPatchVersion.toLatin1() + "\r\n";
        if (content.toLower().contains("//vexal"))
            expected.clear();
        // CR LF or CR end a line, blanks around it go, empty lines go.
        for (const QByteArray &line : QByteArray(content).replace("\r\n", "\r").split('\r')) {
            const QByteArray trimmed
                = QString::fromLatin1(line).remove(QRegularExpression(QStringLiteral("^ +| +$"))).toLatin1();
            if (!trimmed.isEmpty())
                expected += trimmed + "\r\n";
        }
        QCOMPARE(readBytes(s.path()), expected + "\r\n");
    }

    void aHugeFileIsRefused()
    {
        Session s;
        writeBytes(s.path(), {});
        QVERIFY(QFile(s.path()).resize(qint64(50) * 1024 * 1024));
        QString report;
        catchReport(s.t.dialogs, report);
        s.open();
        QVERIFY2(
            report.startsWith(QStringLiteral("Error code # 7\n")) && report.endsWith(QStringLiteral("@ ReadSettings")),
            qPrintable(report));
        QVERIFY(EditorText(s.cfg()).isBlank());
    }

    void unusualPathsWork()
    {
        Session s;
        const QString odd = s.t.root() + QStringLiteral("/My \"TTD\" it's; $(x) ñ/");
        copyDemoGame(QStringLiteral("game"), odd);
        QFile::remove(odd + QStringLiteral("newgrf/ukrs.grf"));
        // A file where the newgrf folder should be: reported, the rest still opens.
        QDir(odd + QStringLiteral("newgrf")).removeRecursively();
        writeBytes(odd + QStringLiteral("newgrf"), "not a folder");
        QString report;
        catchReport(s.t.dialogs, report);
        s.main(); // started: its own settings and cache folders are there before the listing
        const QStringList before = QDir(s.t.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        s.open(odd + QStringLiteral("ttdpatch.cfg"));
        QCOMPARE(report, QStringLiteral("Error code # 75\nPath/File access error\n@ ReadSettings"));
        QCOMPARE(state().GameFolder, odd);
        QVERIFY(!EditorText(s.cfg()).isBlank());
        s.save();
        QVERIFY(readBytes(odd + QStringLiteral("ttdpatch.cfg")).startsWith("//vexal="));
        QCOMPARE(QDir(s.t.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    void lastFileOrCommandLineFileOpensAtStart_data()
    {
        QTest::addColumn<QString>("autoLoad");
        QTest::addColumn<bool>("commandLine");
        QTest::addColumn<QString>("opened"); // which file is open afterwards
        QTest::newRow("last file") << QStringLiteral("1") << false << QStringLiteral("last.cfg");
        QTest::newRow("automatic reopening off") << QStringLiteral("0") << false << QString();
        QTest::newRow("command line wins") << QStringLiteral("1") << true << QStringLiteral("given.cfg");
    }

    void lastFileOrCommandLineFileOpensAtStart()
    {
        QFETCH(QString, autoLoad);
        QFETCH(bool, commandLine);
        QFETCH(QString, opened);
        TestServices t;
        const QString folder = copyDemoGame(QStringLiteral("game"), t.root() + QStringLiteral("/game"));
        writeBytes(folder + QStringLiteral("last.cfg"), "last 1\r\n");
        writeBytes(folder + QStringLiteral("given.cfg"), "given 1\r\n");
        t.presetSettings({{QStringLiteral("Recent1"), folder + QStringLiteral("last.cfg")},
            {QStringLiteral("AutoLoadLast"), autoLoad}});
        frmComponents startup(*t.services, StringResources::builtIn(), t.environment(), testComponents());
        if (commandLine)
            startup.setFileToOpen(folder + QStringLiteral("given.cfg"));
        startup.Form_Load();
        QTest::qWait(1);
        QCOMPARE(startup.mainWindow()->tabStripVisible(), !opened.isEmpty());
        if (!opened.isEmpty()) {
            QCOMPARE(state().CfgFileName, folder + opened);
            QCOMPARE(EditorText(*startup.mainWindow()->controls().rtbPatch).text(),
                opened.section(QLatin1Char('.'), 0, 0) + QStringLiteral(" 1\r\n"));
        }
    }
};

QTEST_MAIN(DocumentsTest)
#include "tst_documents.moc"
