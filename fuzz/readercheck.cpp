#include "readercheck.h"

#include "fuzzsupport.h"

#include "cfg/editortext.h"
#include "platform/textcodec.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace readerCheck {

namespace {

// Colouring is one cursor per line; past this many lines the editor's text is still compared whole.
constexpr int ColourCheckedLines = 256;

// A line end is a CR with the LF after it, if any; what follows the last CR is a line when not empty.
void checkSplit(const QString &text, const QStringList &split)
{
    QString withoutEnds = text;
    withoutEnds.remove(QLatin1String("\r\n")).remove(QLatin1Char('\r'));
    FUZZ_CHECK(split.join(QString()) == withoutEnds, QStringLiteral("splitLines lost or added characters"));
    const qsizetype lastCr = text.lastIndexOf(QLatin1Char('\r'));
    qsizetype tail = lastCr + 1;
    if (lastCr >= 0 && tail < text.size() && text.at(tail) == QLatin1Char('\n'))
        ++tail;
    const qsizetype expected = text.count(QLatin1Char('\r')) + (tail < text.size() ? 1 : 0);
    FUZZ_CHECK(split.size() == expected,
        QStringLiteral("%1 lines where the line ends make %2").arg(split.size()).arg(expected));
    for (const QString &line : split)
        FUZZ_CHECK(!line.contains(QLatin1Char('\r')), QStringLiteral("a line keeps its CR"));
}

void checkEditor(const QStringList &lines, KindOf kindOf)
{
    QPlainTextEdit editor;
    EditorText text(editor);
    text.setLines(lines, [kindOf](const QString &line) { return cfgRules::colourOf(kindOf(line)); });

    // Each line is followed by a line break; saving the editor must give back exactly what it got.
    const QString expected = lines.isEmpty() ? QString() : lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
    const QString shown = text.text();
    if (shown != expected) {
        qsizetype at = 0;
        while (at < shown.size() && at < expected.size() && shown.at(at) == expected.at(at))
            ++at;
        fuzzSupport::fail(__FILE__, __LINE__,
            QStringLiteral("the editor's text differs from its lines at offset %1 (U+%2 instead of U+%3)")
                .arg(at)
                .arg(at < shown.size() ? shown.at(at).unicode() : 0, 4, 16, QLatin1Char('0'))
                .arg(at < expected.size() ? expected.at(at).unicode() : 0, 4, 16, QLatin1Char('0')));
    }
    FUZZ_CHECK(editor.document()->blockCount() == lines.size() + 1,
        QStringLiteral("%1 blocks for %2 lines").arg(editor.document()->blockCount()).arg(lines.size()));

    const QColor textColour = editor.palette().color(QPalette::Text);
    QTextBlock block = editor.document()->firstBlock();
    for (qsizetype i = 0; i < lines.size() && i < ColourCheckedLines; ++i, block = block.next()) {
        const QColor wanted = cfgRules::colourOf(kindOf(lines.at(i)));
        const QColor shownColour = text.lineColour(block);
        FUZZ_CHECK(shownColour == (wanted.isValid() ? wanted : textColour),
            QStringLiteral("line %1 shows %2 instead of %3").arg(i).arg(shownColour.name(), wanted.name()));
    }
}

} // namespace

bool isBlankLine(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

Reading read(const QByteArray &bytes, LinesOf linesOf, KindOf kindOf)
{
    const TextCodec codec(QStringLiteral("1252"));
    const QString text = codec.decode(bytes);
    // A file opened and saved without edits has to come back byte for byte.
    FUZZ_CHECK(codec.encode(text) == bytes, QStringLiteral("code page 1252 does not give the bytes back"));
    FUZZ_CHECK(text.size() == bytes.size(), QStringLiteral("a single-byte page changed the length"));

    Reading reading;
    reading.split = cfgRules::splitLines(text);
    checkSplit(text, reading.split);
    reading.lines = linesOf(reading.split);
    for (const QString &line : reading.lines) {
        const cfgRules::LineKind kind = kindOf(line);
        const QColor colour = cfgRules::colourOf(kind);
        // Only the plain lines keep the text colour.
        FUZZ_CHECK(colour.isValid() == (kind != cfgRules::LineKind::Other), QStringLiteral("colour of a kind"));
    }
    checkEditor(reading.lines, kindOf);
    return reading;
}

void checkNonBlankLinesKept(const QStringList &split, const QStringList &kept)
{
    qsizetype next = 0;
    for (const QString &line : split) {
        if (isBlankLine(line))
            continue;
        while (next < kept.size() && kept.at(next).isEmpty())
            ++next;
        FUZZ_CHECK(next < kept.size(), QStringLiteral("a line with text was dropped: \"%1\"").arg(line));
        const QString &mine = kept.at(next++);
        FUZZ_CHECK(!mine.startsWith(QLatin1Char(' ')) && !mine.endsWith(QLatin1Char(' ')),
            QStringLiteral("blanks around \"%1\"").arg(mine));
        const qsizetype lead = line.indexOf(mine);
        FUZZ_CHECK(lead >= 0 && isBlankLine(line.left(lead)) && isBlankLine(line.mid(lead + mine.size())),
            QStringLiteral("\"%1\" is not \"%2\" without its outer blanks").arg(mine, line));
    }
    while (next < kept.size() && kept.at(next).isEmpty())
        ++next;
    FUZZ_CHECK(next == kept.size(), QStringLiteral("a line with text was added: \"%1\"").arg(kept.value(next)));
}

} // namespace readerCheck
