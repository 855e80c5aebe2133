// The patch's switch list against configuration lines: in the checker, in `vexalpro --check` and in
// the configuration editor.
#include "testsupport.h"

#include "cfg/cfgrules.h"
#include "cfg/switchcheck.h"
#include "cfg/switchmarks.h"
#include "shell/frmmain.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolTip>
#include <QtTest>

using namespace switchCheck;

namespace {

const QString CorpusList = QStringLiteral(VEXAL_CORPUS_DIR "/swtchlst-windows.txt");

SwitchList corpusList()
{
    return SwitchList::parse(QString::fromLatin1(readBytes(CorpusList)));
}

QStringList findingsOf(const QString &text)
{
    QStringList found;
    for (const Finding &finding : check(corpusList(), text.split(QStringLiteral("\r\n"))))
        found.append(QString::number(finding.line) + QLatin1String(": ") + finding.message);
    return found;
}

// The layout's extra formats of a line: the underlines drawn over the document's colours.
QList<QTextLayout::FormatRange> underlinesOf(const QTextBlock &block)
{
    QList<QTextLayout::FormatRange> underlines;
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
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

class SwitchesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useEnglishTexts(); }

    void soundLinesAreQuiet_data()
    {
        QTest::addColumn<QString>("line");
        for (const char *line : {"// a comment", "//", "[TTDPatch]", "#old", "; other", "   ", "", "abandonedroads=2",
                 "ABANDONEDROADS 1", "abandonedroads : 0", "\tabandonedroads 2   ", "autoreplace", "autoreplace off",
                 "autoreplace No", "autoreplace 0", "autorenew -128", "autorenew=-6", "autorenew 127",
                 "cdstcargoclassgentype 33333333333", "cdstcargoclassgentype 0", "cdpath C:\\TTD", "cdpath",
                 "cdstopts.noaddactivityscore off   // Don't add", "cdstopts 2147483647", "bribe Yes", "bribe y",
                 "bribe", "bribe 0", "bribe on\r// a lone CR keeps this in the line"})
            QTest::newRow(line) << QString::fromLatin1(line);
    }

    void soundLinesAreQuiet()
    {
        QFETCH(QString, line);
        QCOMPARE(findingsOf(line), QStringList());
    }

    // The file TTDPatch writes itself: the only findings are the switches the list's excerpt lacks.
    void theGeneratedConfigurationIsSoundWhereTheListKnowsItsSwitches()
    {
        const SwitchList list = corpusList();
        const QStringList lines
            = QString::fromLatin1(readBytes(QStringLiteral(VEXAL_CORPUS_DIR "/ttdpatch-default-english.cfg")))
                  .split(QStringLiteral("\r\n"));
        int known = 0;
        for (const Finding &finding : check(list, lines)) {
            const QString name = settingOf(lines.at(finding.line - 1)).key;
            QVERIFY2(!list.find(name), qPrintable(finding.message));
        }
        for (const QString &line : lines)
            known += list.find(settingOf(line).key) ? 1 : 0;
        QCOMPARE(known, 30); // the excerpt's 29 switches, cdstopts written as its two bits
    }

    void eachProblemOnItsLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("above the range") << "// x\r\nabandonedroads 3"
                                         << QStringList {"2: abandonedroads: 3 is outside the range 0..2"};
        QTest::newRow("below a negative range")
            << "autorenew -129" << QStringList {"1: autorenew: -129 is outside the range -128..127"};
        QTest::newRow("beyond any number")
            << "autoreplace 99999999999999999999"
            << QStringList {"1: autoreplace: 99999999999999999999 is outside the range 1..100"};
        QTest::newRow("a word for a number")
            << "autoreplace=many" << QStringList {"1: autoreplace: many is not a number"};
        QTest::newRow("a digit its base lacks")
            << "cdstcargoclassgentype 4" << QStringList {"1: cdstcargoclassgentype: 4 is not a number"};
        QTest::newRow("not yes or no") << "[x]\r\n\r\nbribe perhaps"
                                       << QStringList {
                                              "3: bribe: perhaps is not a yes/no value (yes, y, on, 1, no, n, off, 0)"};
        QTest::newRow("a number for a bit")
            << "cdstopts.farroutewait 2"
            << QStringList {"1: cdstopts.farroutewait: 2 is not a yes/no value (yes, y, on, 1, no, n, off, 0)"};
        QTest::newRow("unknown") << "briibe on" << QStringList {"1: Unknown switch: briibe"};
        QTest::newRow("unknown bit of unknown switch") << "bribes.x on" << QStringList {"1: Unknown switch: bribes.x"};
        QTest::newRow("set again, in other letters")
            << "bribe on\r\n// c\r\nBRIBE off\r\nbribe"
            << QStringList {"3: BRIBE is set again; it was first set on line 1",
                   "4: bribe is set again; it was first set on line 1"};
        QTest::newRow("a bad value set again")
            << "canals\r\ncanals 5"
            << QStringList {"2: canals: 5 is not a yes/no value (yes, y, on, 1, no, n, off, 0)",
                   "2: canals is set again; it was first set on line 1"};
    }

    void eachProblemOnItsLine()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QCOMPARE(findingsOf(text), found);
    }

    void damagedListLinesAreSkipped_data()
    {
        QTest::addColumn<QString>("damaged");
        QTest::newRow("too few fields") << "-Q damaged 1 2";
        QTest::newRow("non-numeric range") << "-Q damaged a 5 2 `damaged' text";
        QTest::newRow("half a range") << "-Q damaged - 5 - `damaged' text";
        QTest::newRow("minimum above maximum") << "-Q damaged 9 1 5 `damaged' text";
        QTest::newRow("no option field") << "damaged 1 2 3 text";
        QTest::newRow("control characters") << QStringLiteral("-Q \u0001damaged 1 2 3 \u0000");
    }

    void damagedListLinesAreSkipped()
    {
        QFETCH(QString, damaged);
        QString text = QString::fromLatin1(readBytes(CorpusList));
        text.insert(text.indexOf(QLatin1String("-Xb bribe")), damaged + QLatin1String("\r\n"));
        const SwitchList list = SwitchList::parse(text);
        QVERIFY(!list.find(u"damaged"));
        QCOMPARE(list.names().size(), 29); // every switch line of the excerpt, the damaged one aside
        QVERIFY(list.find(u"bribe") && list.find(u"autoslope"));
    }

    void theDosHelpIsNoList()
    {
        QVERIFY(SwitchList::fromFile(QStringLiteral(VEXAL_CORPUS_DIR "/help-dos.txt")).isEmpty());
    }

    // The real program, without a display: exit code and the lines editors and CI logs read.
    void checkCommand_data()
    {
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QString>("listWhere"); // "beside": the file's folder; else a --switches path
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("output");
        QTest::newRow("sound, list named in capitals elsewhere")
            << QByteArray("bribe on\r\nautorenew -6\r\n") << "Other/SWTCHLST.TXT" << 0 << QStringList();
        QTest::newRow("problems, list elsewhere")
            << QByteArray("[x]\r\nbribe on\r\nbribe maybe\nbriibe\r\n") << "Other/SWTCHLST.TXT" << 1
            << QStringList {"%1:3: warning: bribe: maybe is not a yes/no value "
                            "(yes, y, on, 1, no, n, off, 0)",
                   "%1:3: warning: bribe is set again; it was first set on line 2",
                   "%1:4: warning: Unknown switch: briibe"};
        QTest::newRow("list beside, any letter case")
            << QByteArray("autoreplace 101\r\n") << "beside" << 1
            << QStringList {"%1:1: warning: autoreplace: 101 is outside the range 1..100"};
        QTest::newRow("list missing") << QByteArray("bribe\r\n") << "Other/none.txt" << 2 << QStringList();
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
        QStringList expected;
        for (const QString &line : output)
            expected.append(line.arg(file));
        QCOMPARE(
            QString::fromUtf8(program.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
        QCOMPARE(program.readAllStandardError().isEmpty(), exitCode != 2);
    }

    // A list that cannot be read leaves the editor as it is without one, the file opened.
    void anUnreadableListIsNone()
    {
        GameSession s;
        writeBytes(s.path(QStringLiteral("swtchlst.txt")), QByteArray(9 * 1024 * 1024, 'x'));
        s.open();
        const QStringList lines
            = cfgRules::configurationLines(cfgRules::splitLines(QString::fromLatin1(readBytes(s.path()))));
        QCOMPARE(s.main().controls().rtbPatch->document()->blockCount(), lines.size() + 1);
        QVERIFY(s.main().controls().lblProblems->isHidden());
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
        QCOMPARE(underlinesOf(problem).size(), 1);
        const QTextLayout::FormatRange underline = underlinesOf(problem).constFirst();
        QCOMPARE(problem.text().mid(underline.start, underline.length), QStringLiteral("7"));
        // Only the underline is drawn over the line: its colour stays the colour coding's.
        QVERIFY(!underline.format.hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(tooltipOver(editor, problem).startsWith(QLatin1String("abandonedroads: 7 is outside the range 0..2")));
        QVERIFY(underlinesOf(editor.document()->findBlockByNumber(1)).isEmpty());
        QVERIFY(tooltipOver(editor, editor.document()->findBlockByNumber(1))
                    .contains(QLatin1String("(-Xb) adds a `bribe'")));

        editor.setTextCursor(QTextCursor(problem));
        editor.moveCursor(QTextCursor::EndOfBlock);
        QTest::keyClick(&editor, Qt::Key_Backspace);
        QTest::keyClick(&editor, '2');
        QCOMPARE(problem.text(), QStringLiteral("abandonedroads 2"));
        QVERIFY(underlinesOf(problem).isEmpty());
        const QString tip = tooltipOver(editor, problem);
        QVERIFY2(tip.contains(QLatin1String("Range 0..2, default 0")) && !tip.contains(QLatin1String("outside")),
            qPrintable(tip));
        QCOMPARE(count.text(), QStringLiteral("Problems: 0"));

        // A line set again above the first one: the mark moves to the later line.
        editor.moveCursor(QTextCursor::Start);
        QTest::keyClicks(&editor, "bribe off");
        QTest::keyClick(&editor, Qt::Key_Return);
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        QVERIFY(underlinesOf(editor.document()->findBlockByNumber(0)).isEmpty());
        QVERIFY(tooltipOver(editor, editor.document()->findBlockByNumber(2))
                    .startsWith(QLatin1String("bribe is set again; it was first set on line 1")));
        editor.moveCursor(QTextCursor::End);
        s.main().controls().mnuNextProblem->trigger();
        QCOMPARE(editor.textCursor().blockNumber(), 2);

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

        // The version query rewrites the list in capitals; a list that is gone turns it all off.
        s.main().controls().mnuVersionGet->trigger();
        QCOMPARE(count.text(), QStringLiteral("Problems: 1"));
        s.t.shell.onCall = {};
        s.main().controls().mnuVersionGet->trigger();
        QVERIFY(count.isHidden());
        QVERIFY(underlinesOf(editor.document()->findBlockByNumber(2)).isEmpty());
    }
};

QTEST_MAIN(SwitchesTest)
#include "tst_switches.moc"
