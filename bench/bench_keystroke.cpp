// One keystroke at the start of a line, which makes the colour coding and the switch marks look at
// that line again, in a 100,000-line configuration against the same in a 100-line one. The key goes through the
// editor's real event path (the colour coding's filter, then the editor), and the window is
// repainted, as after a key a person types.
#include "benchsupport.h"
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/switchmarks.h"
#include "shell/frmmain.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

namespace {

constexpr int LongDocument = 100000;
constexpr int ShortDocument = 100;

QByteArray configurationOf(int lines)
{
    // Switches of the list with a comment and a heading now and then, as a configuration has them.
    // Twenty switches, each set again and again: the lines typed into are repeats in both
    // documents, while the long one's name index holds thousands of lines per name. Numbers have
    // six digits in both documents, so that their lines are alike but for their count.
    const QStringList names = bench::switchNames().mid(0, 20);
    QByteArray text;
    text.reserve(qsizetype(lines) * 24);
    for (int i = 0; i < lines; ++i) {
        const QByteArray number = QByteArray::number(i).rightJustified(6, '0');
        if (i % 10 == 0)
            text += "// switches of group " + number + "\r\n";
        else if (i % 50 == 1)
            text += "[section" + number + "]\r\n";
        else
            text += names.at(i % names.size()).toLatin1() + " = " + QByteArray::number(i % 7) + "\r\n";
    }
    return text;
}

void caretToLineStart(QPlainTextEdit &editor, int line)
{
    editor.setTextCursor(QTextCursor(editor.document()->findBlockByNumber(line)));
    QCoreApplication::processEvents(); // the scrolling and repainting that moving there causes
}

// Seconds each of `count` keystrokes took, each at the start of a line of its own (switch lines
// only, spread over the middle of the document).
QList<double> keystrokes(QPlainTextEdit &editor, int lines, int count)
{
    QList<double> times;
    for (int i = 0; i < count; ++i) {
        int line = lines / 4 + int((qint64(i) * 7919) % (lines / 2));
        if (line % 10 == 0 || line % 50 == 1)
            line += 2;
        caretToLineStart(editor, line);
        times.append(bench::timed([&] {
            QTest::keyClick(&editor, '/');
            QCoreApplication::processEvents();
        }));
    }
    return times;
}

// The benchmark itself; a failure on the way ends it through bench::fail.
int measure(GameSession &session)
{
    const QString shortFile = session.folder + QStringLiteral("short.cfg");
    const QString longFile = session.folder + QStringLiteral("long.cfg");
    writeBytes(shortFile, configurationOf(ShortDocument));
    writeBytes(longFile, configurationOf(LongDocument));
    bench::prepareReturningPlayer(session);
    bench::writeSwitchList(session);
    frmMain &window = session.main();
    QPlainTextEdit &editor = *window.controls().rtbPatch;

    const int perRound = bench::runs(60);
    QList<double> longTimes, shortTimes;
    // Two rounds each, in turn, so that a busy moment of the machine hits both documents alike.
    for (int round = 0; round < 2; ++round) {
        for (const auto &[file, lines] : {std::pair {shortFile, ShortDocument}, std::pair {longFile, LongDocument}}) {
            session.open(file);
            // The keys go to the configuration editor, on show as when a person types into it.
            if (editor.document()->blockCount() != lines + 1 || !editor.isVisible()
                || !window.documents().switchMarks().active())
                bench::fail(QStringLiteral("%1 did not open as %2 visible lines").arg(file).arg(lines));
            const int before = editor.document()->characterCount();
            // A few keystrokes first: the first ones after opening pay for laying out the view.
            keystrokes(editor, lines, 5);
            (lines == LongDocument ? longTimes : shortTimes) += keystrokes(editor, lines, perRound);
            if (editor.document()->characterCount() != before + 5 + perRound)
                bench::fail(QStringLiteral("the keystrokes did not reach the editor"));
        }
    }

    return bench::reportAtMost(QStringLiteral("keystroke"), {bench::median(longTimes), bench::median(shortTimes)}, 1.5,
        QStringLiteral("recolouring key at a line start, 100,000 lines vs 100 lines; median of %1")
            .arg(longTimes.size()));
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::guardedWithProgram(argc, argv, measure);
}
