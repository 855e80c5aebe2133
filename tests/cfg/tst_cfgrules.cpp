// How configuration files and new-graphics lists are split, trimmed, coloured and given headers;
// the find box of the configuration editor and the newgrf folder's file list beside the list editor.
#include "cfg/cfgrules.h"
#include "cfg/editortext.h"
#include "cfg/grflist.h"
#include "cfg/textsearch.h"
#include "testsupport.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QtTest>

using namespace cfgRules;
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
        row("lone CR ends lines", splitLines("a\rb"), {"a", "b"});
        row("lone LF stays", splitLines("a\nb\r\nc"), {"a\nb", "c"});
        row("LF only file is one line", splitLines("x\ny\n"), {"x\ny\n"});
        row("blank lines kept in the split", splitLines("a\r\n\r\n\rb"), {"a", "", "", "b"});
        row("no text, no lines", splitLines(QString()), {});
        // Blanks only are trimmed: a tab stays.
        row("configuration lines trimmed, blank ones dropped",
            configurationLines({"  multihead 4  ", "", "   ", "\tindented", "//c  "}),
            {"multihead 4", "\tindented", "//c"});
        row("list keeps one blank of a run", listLines({"", "a.grf", "", "", "", " #b.grf ", "", ""}),
            {"", "a.grf", "", "#b.grf", ""});
        row("four line breaks become two", {thinLineBreaks("a\r\n\r\n\r\n\r\nb")}, {"a\r\n\r\nb"});
        row("three line breaks become two", {thinLineBreaks("a\r\n\r\n\r\nb")}, {"a\r\n\r\nb"});
        row("single line breaks stay", {thinLineBreaks("a\r\nb\r\n")}, {"a\r\nb\r\n"});
        row("patch header anywhere in any case", {yes(hasHeader("multihead 4 //TTDPATCH= here", PatchHeaderMark))},
            {"yes"});
        row("patch header needs its sign", {yes(hasHeader("// ttdpatch", PatchHeaderMark))}, {"no"});
        row("vexal header on any line", {yes(hasHeader("x\r\n//Vexal", VexalHeaderMark))}, {"yes"});
        row("vexal header", {vexalHeader("1.2.5")}, {"//vexal=File created by Vexal Pro 1.2.5"});
        row("patch header", {patchHeader("none")}, {"//ttdpatch=Detected TTDPatch versions is none"});
        row("comment colour", {colourOf(LineKind::Comment).name(QColor::HexArgb)}, {"#ff008000"});
        row("heading colour", {colourOf(LineKind::Heading).name(QColor::HexArgb)}, {"#ff008080"});
        row("other lines keep the text colour", {yes(colourOf(LineKind::Other).isValid())}, {"no"});
        // Typing recolours a line near its start: the offset typed at and the text before it.
        row("start of text", {yes(lineStartRule(0, {}))}, {"yes"});
        row("fifth character", {yes(lineStartRule(4, u"abcd"))}, {"yes"});
        row("sixth character", {yes(lineStartRule(5, u"bcde"))}, {"no"});
        row("first column", {yes(lineStartRule(40, u"x\r\n"))}, {"yes"});
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

    void lineKinds_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("cfgKind");
        QTest::addColumn<int>("listKind");
        QTest::newRow("comment") << QStringLiteral("// note") << int(LineKind::Comment) << int(LineKind::Other);
        QTest::newRow("comment before heading")
            << QStringLiteral("//[x]") << int(LineKind::Comment) << int(LineKind::Other);
        QTest::newRow("one slash") << QStringLiteral("/ x") << int(LineKind::Other) << int(LineKind::Other);
        QTest::newRow("heading") << QStringLiteral("[moreships]") << int(LineKind::Heading) << int(LineKind::Other);
        QTest::newRow("disabled") << QStringLiteral("#newgrf/a.grf") << int(LineKind::Other) << int(LineKind::Disabled);
        QTest::newRow("indented comment") << QStringLiteral(" //x") << int(LineKind::Other) << int(LineKind::Other);
    }

    void lineKinds()
    {
        QFETCH(QString, line);
        QTEST(int(cfgLineKind(line)), "cfgKind");
        QTEST(int(listLineKind(line)), "listKind");
    }

    void init()
    {
        modMain::resetState();
        useEnglishTexts();
    }

    void offsetsCountALineBreakTwice()
    {
        QPlainTextEdit editor;
        EditorText text(editor);
        text.setText(QStringLiteral("ab\r\ncd"));
        for (auto [offset, position] : {std::pair {2, 2}, {3, 2}, {4, 3}, {6, 5}, {99, 5}, {-1, 0}}) {
            text.setCaret(offset);
            QCOMPARE(editor.textCursor().position(), position);
        }
        text.select(1, 5);
        QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("b\u2029cd"));
    }

    void searchSelectsTheMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("selected"); // empty: a miss
        QTest::addColumn<int>("searchPos"); // just after the match, a line break counting two
        const QString cfg = QStringLiteral("multihead 4\r\nmorestats on\r\nsignals 1\r\n");
        QTest::newRow("third line") << cfg << QStringLiteral("s 1") << QStringLiteral("s 1") << 27 + 9;
        QTest::newRow("after a lone line feed")
            << QStringLiteral("x\ny\r\nfind me") << QStringLiteral("me") << QStringLiteral("me") << 12;
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

    void searchGoesOnToTheMissThenRestartsAfterEditingLeavingOrATab()
    {
        Finder f(QStringLiteral("// TTDPatch settings\r\nmultihead 4\r\n//vexal ttdPATCH\r\nend"));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.txtFind.setFocus();
        f.find(QStringLiteral("ttdpatch"));
        QCOMPARE(f.selected(), QStringLiteral("TTDPatch"));
        QCOMPARE(f.search.SearchPos(), 11);
        // Keys that type nothing (Shift for Shift+Enter, moving the cursor, Delete) go on from the
        // match, another program taking the focus leaves the search where it was, and a right
        // click on the icon does nothing.
        for (const Qt::Key key :
            {Qt::Key_Shift, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End, Qt::Key_Delete})
            QTest::keyClick(&f.txtFind, key);
        QCOMPARE(f.txtFind.text(), QStringLiteral("ttdpatch"));
        QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(&f.txtFind, &away);
        QTest::mousePress(&f.imgFind, Qt::RightButton);
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
        f.rtbPatch.setFocus();
        QVERIFY(f.rtbPatch.hasFocus());
        QCOMPARE(f.search.SearchPos(), 0);
        QCOMPARE(f.caption.text(), Find);
        f.search.SearchString();
        f.search.reset(); // a tab was selected
        QCOMPARE(f.txtFind.text(), QString());
        QCOMPARE(f.search.SearchPos(), 0);
        QCOMPARE(f.caption.text(), Find);
    }

    void doubleClickAddsAnEntry_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("after");
        const QString entry = QStringLiteral("newgrf/b.grf");
        QTest::newRow("ends with a line break") << QStringLiteral("a.grf\r\n") << 1 << "a.grf\r\n" + entry;
        QTest::newRow("no line break at the end") << QStringLiteral("a.grf") << 1 << "a.grf\r\n" + entry;
        QTest::newRow("twice") << QStringLiteral("a.grf\r\n") << 2 << "a.grf\r\n" + entry + "\r\n" + entry;
        QTest::newRow("blank lines elsewhere")
            << QStringLiteral("a\r\n\r\nb\r\n\r\n\r\nc\r\n\r\n\r\n\r\nd\r\n\r\n\r\n\r\n\r\ne\r\n") << 1
            << "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n" + entry;
        QTest::newRow("empty list") << QString() << 1 << "\r\n" + entry;
    }
    void doubleClickAddsAnEntry()
    {
        QFETCH(QString, before);
        QFETCH(int, clicks);
        Folder g;
        g.flbGrf.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g.flbGrf));
        EditorText list(g.rtbGrf);
        list.setText(before);
        // Every line green, as disabled entries are: the new entry must not look disabled.
        const QColor green(0, 128, 0);
        for (QTextBlock line = g.rtbGrf.document()->firstBlock(); line.isValid(); line = line.next())
            list.colourLine(line, green);
        const QRect item = g.flbGrf.visualItemRect(g.flbGrf.item(1));
        for (int i = 0; i < clicks; ++i) {
            // A double click reaches the list as a click followed by a double-click event.
            QTest::mouseClick(g.flbGrf.viewport(), Qt::LeftButton, {}, item.center());
            QTest::mouseDClick(g.flbGrf.viewport(), Qt::LeftButton, {}, item.center());
        }
        QTEST(list.text(), "after");
        QVERIFY(list.lineColour(g.rtbGrf.document()->lastBlock()) != green);
        QVERIFY(!state().FilesModified);
        // The listing holds the graphics files alone, by name; a folder gone, nothing.
        QCOMPARE(g.names(), QStringList({"A.grf", "b.grf", "C.GRF"}));
        QVERIFY(QDir(g.folder).removeRecursively());
        GrfList::fill(g.flbGrf, g.folder);
        QCOMPARE(g.flbGrf.count(), 0);
        QCOMPARE(g.flbGrf.property("folder").toString(), g.folder);
    }

    void deleteKeyAsksFirst_data()
    {
        QTest::addColumn<QString>("name"); // selected; empty: nothing
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("no") << QStringLiteral("b.grf") << Answer::No << false;
        QTest::newRow("yes") << QStringLiteral("b.grf") << Answer::Yes << true;
        QTest::newRow("nothing selected") << QString() << Answer::Yes << false;
        QTest::newRow("name leaving the folder") << QStringLiteral("../victim.grf") << Answer::Yes << false;
    }
    void deleteKeyAsksFirst()
    {
        QFETCH(QString, name);
        QFETCH(Answer, answer);
        QFETCH(bool, deleted);
        Folder g;
        const QString list = QStringLiteral("newgrf/b.grf\r\n");
        EditorText(g.rtbGrf).setText(list);
        if (!name.isEmpty()) {
            const auto found = g.flbGrf.findItems(name, Qt::MatchExactly);
            (found.isEmpty() ? new QListWidgetItem(name, &g.flbGrf) : found.first())->setSelected(true);
        }
        g.dialogs.queueAnswer(answer);
        QTest::keyClick(&g.flbGrf, Qt::Key_Delete);
        const auto prompts = g.dialogs.takePrompts();
        QCOMPARE(prompts.size(), name.isEmpty() ? 0 : 1);
        if (!name.isEmpty())
            QCOMPARE(prompts.first().text, QStringLiteral("Are you sure you want to delete the selected GRF file?"));
        QCOMPARE(QFileInfo::exists(g.folder + QStringLiteral("/b.grf")), !deleted);
        QCOMPARE(readBytes(g.dir.filePath(QStringLiteral("victim.grf"))), QByteArray("keep"));
        QCOMPARE(g.names(), deleted ? QStringList({"A.grf", "C.GRF"}) : QStringList({"A.grf", "b.grf", "C.GRF"}));
        QVERIFY(g.flbGrf.selectedItems().isEmpty());
        QCOMPARE(EditorText(g.rtbGrf).text(), list);
    }
};

QTEST_MAIN(CfgRulesTest)
#include "tst_cfgrules.moc"
