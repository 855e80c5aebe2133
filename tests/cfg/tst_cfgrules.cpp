// How configuration files and new-graphics lists are split, trimmed, coloured and given headers; the
// find box and the newgrf folder's file list; the patch's switch list against configuration lines, in
// the checker, in `vexalpro --check` and in the configuration editor.
#include "cfg/cfgrules.h"
#include "cfg/editortext.h"
#include "cfg/grflist.h"
#include "cfg/switchcheck.h"
#include "cfg/textsearch.h"
#include "shell/frmmain.h"
#include "testsupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolTip>
#include <QtTest>

using namespace cfgRules;
using namespace switchCheck;
using modMain::state;

namespace {

const QString Find = QStringLiteral("Find");
const QString FindNext = QStringLiteral("Find next");
const QString NoMatches = QStringLiteral("No matches found.");

struct Finder {
    explicit Finder(const QString &text) { EditorText(rtbPatch).setText(text); }
    void find(const QString &typed)
    {
        txtFind.setText(typed);
        QTest::keyClick(&txtFind, Qt::Key_Return);
    }
    QString selected() const { return rtbPatch.textCursor().selectedText(); }

    QWidget window;
    QPlainTextEdit &rtbPatch = *new QPlainTextEdit(&window);
    QLineEdit &txtFind = *new QLineEdit(&window);
    QLabel &imgFind = *new QLabel(&window);
    QLabel &caption = *new QLabel(&window);
    TextSearch search {rtbPatch, txtFind, imgFind, caption};
};

// A folder holding newgrf/ with three graphics files and a text file, and a file beside newgrf/.
struct Folder {
    Folder()
    {
        QDir(dir.path()).mkdir(QStringLiteral("newgrf"));
        for (const char *name : {"b.grf", "A.grf", "C.GRF", "readme.txt"})
            writeBytes(folder + QLatin1Char('/') + QLatin1String(name), "GRF");
        writeBytes(dir.filePath(QStringLiteral("victim.grf")), "keep");
        GrfList::fill(flbGrf, folder);
    }
    QStringList names() const { return linesOf(flbGrf); }

    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("newgrf"));
    QListWidget flbGrf;
    QPlainTextEdit rtbGrf;
    ScriptedDialogs dialogs;
    GrfList grf {flbGrf, rtbGrf, dialogs, nullptr};
};

const QString CorpusList = QStringLiteral(VEXAL_CORPUS_DIR "/swtchlst-windows.txt");
const QString NotYesNo = QStringLiteral(" is not a yes/no value (yes, y, on, 1, no, n, off, 0)");

// The patch's switch list with damaged lines among its own, which are skipped while the rest is read:
// too few fields, a range not numeric, half a range, minimum above maximum, no option field,
// control characters; and two sound ones: no description, a default in hexadecimal.
SwitchList corpusList()
{
    QString text = QString::fromLatin1(readBytes(CorpusList));
    text.insert(text.indexOf(QLatin1String("-Xb bribe")),
        QStringLiteral("-Q damaged 1 2\r\n-Q damaged a 5 2 `damaged' text\r\n-Q damaged - 5 - `damaged' text\r\n"
                       "-Q damaged 9 1 5 `damaged' text\r\ndamaged 1 2 3 text\r\n-Q \u0001damaged 1 2 3 \u0000\r\n"
                       "-Q nodescription 0 9 5\r\n-Q hexadecimal 0 255 15 Default F\r\n"));
    return SwitchList::parse(text);
}

// The layout's extra formats of a line as the editor draws it: the underlines over the
// document's colours.
QList<QTextLayout::FormatRange> underlinesOf(QPlainTextEdit &editor, int line)
{
    QCoreApplication::processEvents(); // the repaints the editor asked for
    QList<QTextLayout::FormatRange> underlines;
    for (const QTextLayout::FormatRange &range : editor.document()->findBlockByNumber(line).layout()->formats()) {
        if (range.format.underlineStyle() == QTextCharFormat::WaveUnderline)
            underlines.append(range);
    }
    return underlines;
}

QString tooltipOver(QPlainTextEdit &editor, const QTextBlock &block)
{
    QToolTip::hideText();
    const QPoint at = editor.cursorRect(QTextCursor(block)).center() + QPoint(2, 0);
    QHelpEvent help(QEvent::ToolTip, at, editor.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(editor.viewport(), &help);
    return QToolTip::text();
}

} // namespace

class CfgRulesTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: what a rule gives, and what it should give.
    void rules_data()
    {
        QTest::addColumn<QStringList>("actual");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QStringList &actual, const QStringList &expected) {
            QTest::newRow(name) << actual << expected;
        };
        const auto yes = [](bool value) { return QString::fromLatin1(value ? "yes" : "no"); };
        row("CR LF ends lines", splitLines("a\r\nb\r\n"), {"a", "b"});
        row("lone CR ends lines", splitLines("a\rb\r"), {"a", "b"});
        row("lone LF stays", splitLines("a\nb\r\nc"), {"a\nb", "c"});
        row("blank lines kept in the split", splitLines("a\r\n\r\n\rb"), {"a", "", "", "b"});
        // Blanks only are trimmed: a tab stays.
        row("list keeps one blank of a run", listLines({"", "a.grf", "", "", "", " #b.grf ", "\tc", "", ""}),
            {"", "a.grf", "", "#b.grf", "\tc", ""});
        row("patch header needs its sign", {yes(hasHeader("// ttdpatch", PatchHeaderMark))}, {"no"});
        row("other lines keep the text colour", {yes(colourOf(LineKind::Other).isValid())}, {"no"});
        // A line's kind in the configuration and in the list.
        const auto kinds = [](QStringView line) {
            const char *names[] = {"comment", "heading", "disabled", "other"};
            return QStringList {names[int(cfgLineKind(line))], names[int(listLineKind(line))]};
        };
        row("comment before heading", kinds(u"//[x]"), {"comment", "other"});
        row("one slash", kinds(u"/ x"), {"other", "other"});
        row("indented comment", kinds(u" //x"), {"other", "other"});
        // Typing recolours a line near its start: the offset typed at and the text before it.
        row("fifth character", {yes(lineStartRule(4, u"abcd"))}, {"yes"});
        row("sixth character", {yes(lineStartRule(5, u"bcde"))}, {"no"});
        row("third column", {yes(lineStartRule(40, u"\nab"))}, {"yes"});
        row("fourth column", {yes(lineStartRule(40, u"abc"))}, {"no"});
        // Files refused as the configuration: a new-graphics list, the sound settings.
        for (const auto &[path, list, sound] :
            {std::tuple {"/g/NEWGRF.CFG", true, false}, {"/g/NewGrfW.cfg", true, false},
                {"/g/mynewgrf.cfg", true, false}, {"/g/Sound.CFG", false, true}, {"/g/ttdpatch.cfg", false, false}})
            row(path, {yes(isNewGraphicsList(path)), yes(isSoundSettings(path))}, {yes(list), yes(sound)});
    }

    void rules()
    {
        QFETCH(QStringList, actual);
        QTEST(actual, "expected");
    }

    void init()
    {
        modMain::resetState();
        useEnglishTexts();
    }

    void searchSelectsTheMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("selected"); // empty: a miss
        QTest::addColumn<int>("searchPos"); // just after the match, a line break counting two
        const QString cfg = QStringLiteral("multihead 4\r\nmorestats on\r\nsignals 1\r\n");
        QTest::newRow("after a lone line feed")
            << QStringLiteral("x\ny\r\nfind me") << QStringLiteral("me") << QStringLiteral("me") << 12;
        QTest::newRow("after a lone carriage return, one ending the text")
            << QStringLiteral("x\ry\r\nfind me\r") << QStringLiteral("me") << QStringLiteral("me") << 13;
        QTest::newRow("blanks around, any case")
            << cfg << QStringLiteral("  MoreStats ") << QStringLiteral("morestats") << 13 + 9;
        QTest::newRow("a tab is kept") << QStringLiteral("a b\r\n\tb") << QStringLiteral("\tb") << QStringLiteral("\tb")
                                       << 7;
        QTest::newRow("nothing but blanks") << cfg << QStringLiteral("   ") << QString() << 0;
        QTest::newRow("absent") << cfg << QStringLiteral("ttdpatch") << QString() << 0;
    }
    void searchSelectsTheMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, typed);
        QFETCH(QString, selected);
        Finder f(text);
        f.find(typed);
        QCOMPARE(f.selected(), selected);
        QTEST(int(f.search.SearchPos()), "searchPos");
        QCOMPARE(f.caption.text(), selected.isEmpty() ? NoMatches : FindNext);
    }

    void searchGoesOnToTheMissThenRestartsAfterEditingOrLeaving()
    {
        Finder f(QStringLiteral("// TTDPatch settings\r\nmultihead 4\r\n//vexal ttdPATCH\r\nend"));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.txtFind.setFocus();
        f.find(QStringLiteral("ttdpatch"));
        QCOMPARE(f.selected(), QStringLiteral("TTDPatch"));
        QCOMPARE(f.search.SearchPos(), 11);
        // Keys that type nothing (Shift for Shift+Enter, moving the cursor, Delete) go on from the
        // match.
        for (const Qt::Key key : {Qt::Key_Shift, Qt::Key_Left, Qt::Key_Right, Qt::Key_Delete})
            QTest::keyClick(&f.txtFind, key);
        QCOMPARE(f.search.SearchPos(), 11);
        QTest::mousePress(&f.imgFind, Qt::LeftButton);
        QCOMPARE(f.selected(), QStringLiteral("ttdPATCH"));
        QCOMPARE(f.search.SearchPos(), 43 + 8);
        for (int repeat = 0; repeat < 2; ++repeat) {
            QTest::keyClick(&f.txtFind, Qt::Key_Enter);
            QCOMPARE(f.caption.text(), NoMatches);
            QCOMPARE(f.search.SearchPos(), 51);
            QCOMPARE(f.selected(), QString());
            QCOMPARE(f.rtbPatch.textCursor().position(), 51 - 2); // each line break before it is one here
        }
        QTest::keyClick(&f.txtFind, Qt::Key_Backspace);
        QCOMPARE(f.caption.text(), Find);
        QCOMPARE(f.search.SearchPos(), 0);
        QTest::keyClick(&f.txtFind, Qt::Key_Return);
        QCOMPARE(f.selected(), QStringLiteral("TTDPatc"));
        QCOMPARE(f.search.SearchPos(), 10);
        f.rtbPatch.setFocus(); // leaving the box
        QCOMPARE(f.search.SearchPos(), 0);
        QCOMPARE(f.caption.text(), Find);
    }

    // A double click adds the file's entry right after the last one, thinning blank lines, in the
    // text colour; Delete asks first, and deletes only a file of the folder.
    void theGraphicsFilesBesideTheList()
    {
        Folder g;
        g.flbGrf.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g.flbGrf));
        // The listing holds the graphics files alone, by name.
        QCOMPARE(g.names(), QStringList({"A.grf", "b.grf", "C.GRF"}));
        QTest::keyClick(&g.flbGrf, Qt::Key_Delete); // nothing selected: nothing asked
        QVERIFY(g.dialogs.takePrompts().isEmpty());
        EditorText list(g.rtbGrf);
        const QColor green(0, 128, 0); // as disabled entries are
        const QPoint item = g.flbGrf.visualItemRect(g.flbGrf.item(1)).center();
        for (const auto &[before, after] : {std::pair {"a.grf", "a.grf\r\nnewgrf/b.grf"},
                 {"a\r\n\r\nb\r\n\r\n\r\nc\r\n\r\n\r\n\r\nd\r\n\r\n\r\n\r\n\r\ne\r\n",
                     "a\r\nb\r\nc\r\nd\r\n\r\ne\r\nnewgrf/b.grf"}}) {
            list.setText(QString::fromLatin1(before));
            for (QTextBlock line = g.rtbGrf.document()->firstBlock(); line.isValid(); line = line.next())
                list.colourLine(line, green);
            // A double click reaches the list as a click followed by a double-click event.
            QTest::mouseClick(g.flbGrf.viewport(), Qt::LeftButton, {}, item);
            QTest::mouseDClick(g.flbGrf.viewport(), Qt::LeftButton, {}, item);
            QCOMPARE(list.text(), QString::fromLatin1(after));
            QVERIFY(list.lineColour(g.rtbGrf.document()->lastBlock()) != green);
        }

        const QString text = list.text();
        for (const auto &[name, answer] :
            {std::pair {"b.grf", Answer::No}, {"../victim.grf", Answer::Yes}, {"b.grf", Answer::Yes}}) {
            const auto found = g.flbGrf.findItems(QString::fromLatin1(name), Qt::MatchExactly);
            (found.isEmpty() ? new QListWidgetItem(QString::fromLatin1(name), &g.flbGrf) : found.first())
                ->setSelected(true);
            g.dialogs.queueAnswer(answer);
            QTest::keyClick(&g.flbGrf, Qt::Key_Delete);
            const auto prompts = g.dialogs.takePrompts();
            QVERIFY(prompts.size() == 1 && prompts[0].text == "Are you sure you want to delete the selected GRF file?");
            const bool deleted = answer == Answer::Yes && QLatin1String(name) == QLatin1String("b.grf");
            QCOMPARE(QFileInfo::exists(g.folder + QStringLiteral("/b.grf")), !deleted);
            QCOMPARE(g.names(), deleted ? QStringList({"A.grf", "C.GRF"}) : QStringList({"A.grf", "b.grf", "C.GRF"}));
        }
        QCOMPARE(readBytes(g.dir.filePath(QStringLiteral("victim.grf"))), QByteArray("keep"));
        QCOMPARE(list.text(), text);
    }

    void eachProblemOnItsLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        // Sound lines: no finding.
        for (const char *line : {"// a comment", "   ", "abandonedroads=2", "ABANDONEDROADS 1", "abandonedroads : 0",
                 "\tabandonedroads 2   ", "autoreplace", "autoreplace No", "autoreplace 0", "autorenew -128",
                 "autorenew 127", "cdstcargoclassgentype 33333333333", "cdpath C:\\TTD",
                 "cdstopts.noaddactivityscore off   // Don't add", "cdstopts 2147483647", "bribe Yes", "bribe 0",
                 "bribe on\r// a lone CR keeps this in the line", "hexadecimal ff"})
            QTest::newRow(line) << QString::fromLatin1(line) << QStringList();
        const auto row = [](const char *name, const char *text, const QStringList &found) {
            QTest::newRow(name) << QString::fromLatin1(text) << found;
        };
        row("above the range", "// x\r\nabandonedroads 3", {"2: abandonedroads: 3 is outside the range 0..2"});
        row("below a negative range", "autorenew -129", {"1: autorenew: -129 is outside the range -128..127"});
        row("beyond any number", "autoreplace 99999999999999999999",
            {"1: autoreplace: 99999999999999999999 is outside the range 1..100"});
        row("a word for a number", "autoreplace=many", {"1: autoreplace: many is not a number"});
        row("a digit its base lacks", "cdstcargoclassgentype 4", {"1: cdstcargoclassgentype: 4 is not a number"});
        row("not yes or no", "[x]\r\n\r\nbribe perhaps", {"3: bribe: perhaps" + NotYesNo});
        row("a number for a bit", "cdstopts.farroutewait 2", {"1: cdstopts.farroutewait: 2" + NotYesNo});
        row("unknown", "briibe on", {"1: Unknown switch: briibe"});
        row("a damaged list line is no switch", "damaged 1", {"1: Unknown switch: damaged"});
        row("a list line without a description", "nodescription 10",
            {"1: nodescription: 10 is outside the range 0..9"});
        row("unknown bit of unknown switch", "bribes.x on", {"1: Unknown switch: bribes.x"});
        row("set again, in other letters", "bribe on\r\n// c\r\nBRIBE off\r\nbribe",
            {"3: BRIBE is set again; it was first set on line 1", "4: bribe is set again; it was first set on line 1"});
        row("a bad value set again", "canals\r\ncanals 5",
            {"2: canals: 5" + NotYesNo, "2: canals is set again; it was first set on line 1"});
    }

    void eachProblemOnItsLine()
    {
        QFETCH(QString, text);
        QStringList found;
        for (const Finding &finding : check(corpusList(), text.split(QStringLiteral("\r\n"))))
            found.append(QString::number(finding.line) + QLatin1String(": ") + finding.message);
        QTEST(found, "found");
    }

    // The real program, without a display: exit code and the lines editors and CI logs read.
    void checkCommand_data()
    {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QString>("listWhere"); // "beside": the file's folder; else a --switches path
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("output");
        QTest::newRow("sound, list beside in any letter case")
            << QByteArray("bribe on\r\nautorenew -6\r\n") << "beside" << 0 << QStringList();
        QTest::newRow("problems, list elsewhere")
            << QByteArray("[x]\r\nbribe on\r\nbribe maybe\nbriibe\r\nautoreplace 101\r\n") << "Other/SWTCHLST.TXT" << 1
            << QStringList {"%1:3: warning: bribe: maybe" + NotYesNo,
                   "%1:3: warning: bribe is set again; it was first set on line 2",
                   "%1:4: warning: Unknown switch: briibe",
                   "%1:5: warning: autoreplace: 101 is outside the range 1..100"};
        QTest::newRow("the DOS patch's help is no list")
            << QByteArray("bribe\r\n") << "Other/help.txt" << 2 << QStringList();
        QTest::newRow("configuration missing") << QByteArray() << "Other/SWTCHLST.TXT" << 2 << QStringList();
    }

    void checkCommand()
    {
        QFETCH(QByteArray, configuration);
        QFETCH(QString, listWhere);
        QFETCH(int, exitCode);
        QFETCH(QStringList, output);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("game")) && QDir(dir.path()).mkpath(QStringLiteral("Other")));
        const QString file = dir.filePath(QStringLiteral("game/ttdpatch.cfg"));
        if (!configuration.isEmpty())
            writeBytes(file, configuration);
        writeBytes(dir.filePath(QStringLiteral("game/SwtchLst.TXT")), readBytes(CorpusList));
        writeBytes(dir.filePath(QStringLiteral("Other/SWTCHLST.TXT")), readBytes(CorpusList));
        writeBytes(dir.filePath(QStringLiteral("Other/help.txt")),
            readBytes(QStringLiteral(VEXAL_CORPUS_DIR "/help-dos.txt")));
        QStringList arguments {QStringLiteral("--check"), file};
        if (listWhere != QLatin1String("beside"))
            arguments << QStringLiteral("--switches") << dir.filePath(listWhere);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(display));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VEXAL_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), exitCode);
        const QString shown = QString::fromUtf8(program.readAllStandardOutput()).replace(file, QStringLiteral("%1"));
        QCOMPARE(shown.split(QLatin1Char('\n'), Qt::SkipEmptyParts), output);
        QCOMPARE(program.readAllStandardError().isEmpty(), exitCode != 2);
    }

    // Typing into the editor: the underline and its reason come and go with the problem, and the
    // count follows; the list the version query writes is taken up in any letter case.
    void theEditorMarksAProblemUntilItIsFixed()
    {
        GameSession s;
        writeBytes(s.path(), "[mine]\r\nbribe on\r\nabandonedroads 7\r\n");
        s.t.shell.onCall = [&](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("SWTCHLST.TXT"), readBytes(CorpusList));
        };
        s.open();
        QPlainTextEdit &editor = *s.main().controls().rtbPatch;
        const QLabel &count = *s.main().controls().lblProblems;
        QVERIFY(!count.isHidden());
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        const QTextBlock problem = editor.document()->findBlockByNumber(2);
        QCOMPARE(underlinesOf(editor, 2).size(), 1);
        const QTextLayout::FormatRange underline = underlinesOf(editor, 2).constFirst();
        QCOMPARE(problem.text().mid(underline.start, underline.length), QStringLiteral("7"));
        // Only the underline is drawn over the line: its colour stays the colour coding's.
        QVERIFY(!underline.format.hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(tooltipOver(editor, problem).startsWith(QLatin1String("abandonedroads: 7 is outside the range 0..2")));
        QVERIFY(underlinesOf(editor, 1).isEmpty());

        editor.setTextCursor(QTextCursor(problem));
        editor.moveCursor(QTextCursor::EndOfBlock);
        // An input method's composition on the line, given up: the underline comes back.
        QInputMethodEvent composing(QStringLiteral("y"), {});
        QInputMethodEvent givenUp;
        for (QInputMethodEvent *event : {&composing, &givenUp})
            QApplication::sendEvent(&editor, event);
        QCOMPARE(underlinesOf(editor, 2).size(), 1);
        QTest::keyClick(&editor, Qt::Key_Backspace);
        QTest::keyClick(&editor, '2');
        QCOMPARE(problem.text(), QStringLiteral("abandonedroads 2"));
        QVERIFY(underlinesOf(editor, 2).isEmpty());
        QCOMPARE(count.text(), QStringLiteral("Problems: 0"));

        // A line set again above the first one: the mark moves to the later line.
        editor.moveCursor(QTextCursor::Start);
        QTest::keyClicks(&editor, "bribe off");
        QTest::keyClick(&editor, Qt::Key_Return);
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        QVERIFY(underlinesOf(editor, 0).isEmpty());
        QVERIFY(tooltipOver(editor, editor.document()->findBlockByNumber(2))
                    .startsWith(QLatin1String("bribe is set again; it was first set on line 1")));
        editor.moveCursor(QTextCursor::End);
        s.main().controls().mnuNextProblem->trigger();
        QCOMPARE(editor.textCursor().blockNumber(), 2);
        // The first setting made a comment, the later line is set once: its underline goes, though
        // that line was not edited, and comes back with the first setting.
        QCOMPARE(underlinesOf(editor, 2).size(), 1);
        editor.moveCursor(QTextCursor::Start);
        QTest::keyClick(&editor, ';');
        QCOMPARE(count.text(), QStringLiteral("Problems: 0"));
        QVERIFY(underlinesOf(editor, 2).isEmpty());
        QTest::keyClick(&editor, Qt::Key_Backspace);
        QCOMPARE(underlinesOf(editor, 2).size(), 1);
        // Renamed to a switch the list does not know: a problem of its own, and the later line is
        // set once again.
        QTest::keyClick(&editor, 'x');
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        QVERIFY(underlinesOf(editor, 2).isEmpty());
        QTest::keyClick(&editor, Qt::Key_Backspace);

        // A name begun at a line start is completed from the list; Enter takes the choice.
        editor.moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor, "autor");
        QAbstractItemView &popup = *editor.findChild<QCompleter *>()->popup();
        QVERIFY(popup.isVisible());
        QCOMPARE(popup.model()->rowCount(), 2); // autorenew, autoreplace
        QTest::keyClick(&popup, Qt::Key_Down);
        QTest::keyClick(&popup, Qt::Key_Return);
        QCOMPARE(editor.textCursor().block().text(), QStringLiteral("autorenew"));
        QCOMPARE(editor.document()->blockCount(), 5);

        // The version query rewrites the list in capitals; one too large to read turns it all off.
        s.main().controls().mnuVersionGet->trigger();
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        s.t.shell.onCall = [&](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), QByteArray(9 * 1024 * 1024, 'x'));
        };
        s.main().controls().mnuVersionGet->trigger();
        QVERIFY(count.isHidden());
        QVERIFY(underlinesOf(editor, 2).isEmpty());
    }

    // A line gets its underline when it is drawn: a problem far down is underlined once scrolled to.
    // The lines drawn keep their layout when a line out of view is edited.
    void aProblemOutOfViewIsUnderlinedWhenShown()
    {
        GameSession s;
        writeBytes(s.path(),
            "[mine]\r\nabandonedroads 7\r\n" + QByteArray("; a comment\r\n").repeated(300) + "autorenew 999\r\n");
        s.t.shell.onCall = [&](const RecordingShell::Call &call) {
            writeBytes(call.workingFolder + QStringLiteral("swtchlst.txt"), readBytes(CorpusList));
        };
        s.open();
        QPlainTextEdit &editor = *s.main().controls().rtbPatch;
        QCOMPARE(s.main().controls().lblProblems->text(), QStringLiteral("Problems: 2"));
        QCOMPARE(underlinesOf(editor, 1).size(), 1);
        QVERIFY(underlinesOf(editor, 302).isEmpty());
        QTextCursor(editor.document()->findBlockByNumber(200)).insertText(QStringLiteral(";"));
        QVERIFY(editor.document()->findBlockByNumber(1).layout()->lineCount() > 0);
        QTextCursor(editor.document()->findBlockByNumber(1)).insertText(QStringLiteral(";"));
        QCOMPARE(s.main().controls().lblProblems->text(), QStringLiteral("Problems: 1"));
        editor.moveCursor(QTextCursor::End);
        editor.ensureCursorVisible();
        QCOMPARE(underlinesOf(editor, 302).size(), 1);
    }
};

QTEST_MAIN(CfgRulesTest)
#include "tst_cfgrules.moc"
