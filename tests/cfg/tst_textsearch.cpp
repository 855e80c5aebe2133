// The find box of the configuration editor and the newgrf folder's file list beside the list editor.
#include "testsupport.h"

#include "cfg/editortext.h"
#include "cfg/grflist.h"
#include "cfg/textsearch.h"
#include "lang/stringresources.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QtTest>

using modMain::state;

class SearchGrfTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void offsetsCountALineBreakTwice();
    void searchSelectsTheMatch_data();
    void searchSelectsTheMatch();
    void eachSearchFindsTheNextMatchThenTheMissRepeats();
    void editingLeavingOrATabRestartsAtTheTop();

    void listingHoldsTheGraphicsFiles();
    void doubleClickAddsAnEntry_data();
    void doubleClickAddsAnEntry();
    void deleteKeyAsksFirst_data();
    void deleteKeyAsksFirst();
};

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

struct Folder {
    Folder()
    {
        QDir(dir.path()).mkdir(QStringLiteral("newgrf"));
        for (const char *name : {"b.grf", "A.grf", "C.GRF", "readme.txt"})
            writeBytes(folder + QLatin1Char('/') + QLatin1String(name), "GRF");
        writeBytes(dir.filePath(QStringLiteral("victim.grf")), "keep");
        GrfList::fill(flbGrf, folder);
    }
    QStringList names() const
    {
        QStringList names;
        for (int i = 0; i < flbGrf.count(); ++i)
            names << flbGrf.item(i)->text();
        return names;
    }

    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("newgrf"));
    QListWidget flbGrf;
    QPlainTextEdit rtbGrf;
    ScriptedDialogs dialogs;
    GrfList grf {flbGrf, rtbGrf, dialogs, nullptr};
};

} // namespace

void SearchGrfTest::init()
{
    modMain::resetState();
    for (int n : {171, 178, 179, 180})
        state().UiText[std::size_t(n)] = StringResources::builtIn().string(n).value_or(QString());
}

void SearchGrfTest::offsetsCountALineBreakTwice()
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

void SearchGrfTest::searchSelectsTheMatch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected"); // empty: a miss
    QTest::addColumn<int>("searchPos");
    const QString cfg = QStringLiteral("multihead 4\r\nmorestats on\r\nsignals 1\r\n");
    QTest::newRow("second line") << cfg << QStringLiteral("MoreStats") << QStringLiteral("morestats") << 13 + 9;
    QTest::newRow("third line") << cfg << QStringLiteral("s 1") << QStringLiteral("s 1") << 27 + 9;
    QTest::newRow("after a lone line feed")
        << QStringLiteral("x\ny\r\nfind me") << QStringLiteral("me") << QStringLiteral("me") << 12;
    QTest::newRow("blanks around") << cfg << QStringLiteral("  morestats ") << QStringLiteral("morestats") << 22;
    QTest::newRow("a tab is kept") << QStringLiteral("a b\r\n\tb") << QStringLiteral("\tb") << QStringLiteral("\tb")
                                   << 7;
    QTest::newRow("nothing but blanks") << cfg << QStringLiteral("   ") << QString() << 0;
    QTest::newRow("absent") << cfg << QStringLiteral("ttdpatch") << QString() << 0;
}

void SearchGrfTest::searchSelectsTheMatch()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    QFETCH(int, searchPos);
    Finder f(text);
    f.find(typed);
    QCOMPARE(f.selected(), selected);
    QCOMPARE(f.search.SearchPos(), searchPos);
    QCOMPARE(f.caption.text(), selected.isEmpty() ? NoMatches : FindNext);
}

void SearchGrfTest::eachSearchFindsTheNextMatchThenTheMissRepeats()
{
    Finder f(QStringLiteral("// TTDPatch settings\r\nmultihead 4\r\n//vexal ttdPATCH\r\nend"));
    f.find(QStringLiteral("ttdpatch"));
    QCOMPARE(f.selected(), QStringLiteral("TTDPatch"));
    QCOMPARE(f.search.SearchPos(), 11);
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
}

void SearchGrfTest::editingLeavingOrATabRestartsAtTheTop()
{
    Finder f(QStringLiteral("TTDPatch\r\nTTDPatch"));
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    f.txtFind.setFocus();
    f.find(QStringLiteral("ttd"));
    QTest::keyClick(&f.txtFind, Qt::Key_Return);
    QCOMPARE(f.search.SearchPos(), 13);
    // Shift alone types nothing, so Shift+Enter still goes on to the next match; another program
    // taking the focus leaves the search where it was.
    QTest::keyClick(&f.txtFind, Qt::Key_Shift);
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&f.txtFind, &away);
    QCOMPARE(f.search.SearchPos(), 13);
    QTest::keyClick(&f.txtFind, 'p');
    QCOMPARE(f.caption.text(), Find);
    QCOMPARE(f.search.SearchPos(), 0);
    QTest::keyClick(&f.txtFind, Qt::Key_Return);
    QCOMPARE(f.selected(), QStringLiteral("TTDP"));
    QCOMPARE(f.search.SearchPos(), 4);
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

void SearchGrfTest::listingHoldsTheGraphicsFiles()
{
    Folder g;
    QCOMPARE(g.names(), QStringList({"A.grf", "b.grf", "C.GRF"}));
    QCOMPARE(g.flbGrf.property("folder").toString(), g.folder);
    QVERIFY(QDir(g.folder).removeRecursively());
    GrfList::fill(g.flbGrf, g.folder);
    QCOMPARE(g.flbGrf.count(), 0);
    QCOMPARE(g.flbGrf.property("folder").toString(), g.folder);
}

void SearchGrfTest::doubleClickAddsAnEntry_data()
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
    QTest::newRow("last line disabled") << QStringLiteral("#z.grf") << 1 << "#z.grf\r\n" + entry;
}

void SearchGrfTest::doubleClickAddsAnEntry()
{
    QFETCH(QString, before);
    QFETCH(int, clicks);
    QFETCH(QString, after);
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
    QCOMPARE(list.text(), after);
    QVERIFY(list.lineColour(g.rtbGrf.document()->lastBlock()) != green);
    QVERIFY(!state().FilesModified);
}

void SearchGrfTest::deleteKeyAsksFirst_data()
{
    QTest::addColumn<QString>("name"); // selected; empty: nothing
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QStringList>("listed");
    const QStringList all {"A.grf", "b.grf", "C.GRF"};
    QTest::newRow("no") << QStringLiteral("b.grf") << Answer::No << true << all;
    QTest::newRow("yes") << QStringLiteral("b.grf") << Answer::Yes << true << QStringList({"A.grf", "C.GRF"});
    QTest::newRow("nothing selected") << QString() << Answer::Yes << false << all;
    QTest::newRow("name leaving the folder") << QStringLiteral("../victim.grf") << Answer::Yes << true << all;
}

void SearchGrfTest::deleteKeyAsksFirst()
{
    QFETCH(QString, name);
    QFETCH(Answer, answer);
    QFETCH(bool, asked);
    QFETCH(QStringList, listed);
    Folder g;
    const QString list = QStringLiteral("newgrf/b.grf\r\n");
    EditorText(g.rtbGrf).setText(list);
    if (!name.isEmpty()) {
        const auto found = g.flbGrf.findItems(name, Qt::MatchExactly);
        QListWidgetItem *item = found.isEmpty() ? new QListWidgetItem(name, &g.flbGrf) : found.first();
        item->setSelected(true);
    }
    g.dialogs.queueAnswer(answer);
    QTest::keyClick(&g.flbGrf, Qt::Key_Delete);
    const auto prompts = g.dialogs.takePrompts();
    QCOMPARE(prompts.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(prompts.first().title, QStringLiteral("Vexal Pro"));
        QCOMPARE(prompts.first().text, QStringLiteral("Are you sure you want to delete the selected GRF file?"));
        QCOMPARE(prompts.first().icon, MessageIcon::Question);
        QCOMPARE(prompts.first().buttons, MessageButtons::YesNo);
    }
    QCOMPARE(QFileInfo::exists(g.folder + QStringLiteral("/b.grf")), listed.contains(QStringLiteral("b.grf")));
    QCOMPARE(readBytes(g.dir.filePath(QStringLiteral("victim.grf"))), QByteArray("keep"));
    QCOMPARE(g.names(), listed);
    QVERIFY(g.flbGrf.selectedItems().isEmpty());
    QCOMPARE(EditorText(g.rtbGrf).text(), list);
}

QTEST_MAIN(SearchGrfTest)
#include "tst_textsearch.moc"
