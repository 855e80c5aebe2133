#include "editortext.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr QChar LineSeparator(0x2028);

QString toDocument(QString line)
{
    return line.replace(QLatin1Char('\n'), LineSeparator);
}

QTextCharFormat formatFor(const QPlainTextEdit &editor, const QColor &colour)
{
    QTextCharFormat format;
    format.setForeground(colour.isValid() ? colour : editor.palette().color(QPalette::Text));
    return format;
}

} // namespace

EditorText::EditorText(QPlainTextEdit &editor)
    : m_editor(editor)
{ }

QString EditorText::lineText(const QTextBlock &block)
{
    QString line = block.text();
    return line.replace(LineSeparator, QLatin1Char('\n'));
}

QString EditorText::text() const
{
    QString text;
    const QTextDocument *document = m_editor.document();
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        if (block != document->firstBlock())
            text += QLatin1String("\r\n");
        text += lineText(block);
    }
    return text;
}

void EditorText::setText(const QString &text)
{
    QString lines;
    lines.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            lines += QChar::ParagraphSeparator;
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            lines += LineSeparator;
        } else {
            lines += c;
        }
    }
    QTextCursor cursor(m_editor.document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(lines);
    cursor.endEditBlock();
}

qsizetype EditorText::caretOffset() const
{
    const QTextCursor cursor = m_editor.textCursor();
    // Each line break before the caret is one paragraph separator here and CR LF in the text.
    return cursor.position() + cursor.block().blockNumber();
}

QString EditorText::charactersBeforeCaret(int count) const
{
    const QTextCursor cursor = m_editor.textCursor();
    QString before = lineText(cursor.block()).left(cursor.positionInBlock());
    for (QTextBlock block = cursor.block().previous(); before.size() < count && block.isValid();
         block = block.previous())
        before = lineText(block) + QLatin1String("\r\n") + before;
    return before.right(count);
}

bool EditorText::isBlank() const
{
    const QTextDocument *document = m_editor.document();
    if (document->blockCount() > 1)
        return false;
    const QString only = document->firstBlock().text();
    return std::all_of(only.cbegin(), only.cend(), [](QChar c) { return c == QLatin1Char(' '); });
}

std::optional<QTextBlock> EditorText::caretLine() const
{
    const QTextDocument *document = m_editor.document();
    const QTextBlock first = document->firstBlock();
    if (!first.next().isValid())
        return std::nullopt; // no CR at all
    // F, the 1-based position of the first CR.
    const qsizetype firstCr = first.length() - 1 + 1;
    const qsizetype caret = caretOffset();
    if (caret <= firstCr)
        return first;
    // Below the first line: the CR before the caret opens the line, the next CR ends it.
    const QTextBlock line = m_editor.textCursor().block();
    if (!line.next().isValid())
        return std::nullopt;
    return line;
}

void EditorText::colourLine(const QTextBlock &block, const QColor &colour)
{
    const QTextCharFormat format = formatFor(m_editor, colour);
    QTextCursor cursor(block);
    // Set, not moved: moving to the end of a block lays the block out first, which opening a long
    // file would pay for on every coloured line.
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.setCharFormat(format);
    // An empty line has no characters to colour: what is typed into it takes the block's format.
    cursor.setBlockCharFormat(format);
    // The caret remembers the format it last typed with; a fresh cursor at the same place takes
    // the line's new colour instead.
    const QTextCursor caret = m_editor.textCursor();
    if (caret.block() == block) {
        QTextCursor fresh(m_editor.document());
        fresh.setPosition(caret.anchor());
        fresh.setPosition(caret.position(), QTextCursor::KeepAnchor);
        m_editor.setTextCursor(fresh);
    }
}

void EditorText::setLines(const QStringList &lines, const std::function<QColor(const QString &)> &colourOf)
{
    QTextDocument *document = m_editor.document();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    // Each line goes in with its colour: colouring it afterwards would split its text once more.
    const QTextBlockFormat blockFormat = cursor.blockFormat();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QTextCharFormat format = formatFor(m_editor, colourOf(lines.at(i)));
        // An empty line has no characters to colour: what is typed into it takes the block's format.
        if (i == 0)
            cursor.setBlockCharFormat(format);
        else
            cursor.insertBlock(blockFormat, format);
        cursor.insertText(toDocument(lines.at(i)), format);
    }
    if (!lines.isEmpty())
        cursor.insertBlock(blockFormat, formatFor(m_editor, QColor()));
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
}

QColor EditorText::lineColour(const QTextBlock &block) const
{
    QTextCursor cursor(block);
    if (block.length() > 1)
        cursor.movePosition(QTextCursor::NextCharacter);
    const QBrush brush = cursor.charFormat().foreground();
    return brush.style() == Qt::NoBrush ? m_editor.palette().color(QPalette::Text) : brush.color();
}

void EditorText::insertAtStart(const QString &text, const QColor &colour)
{
    QTextCursor cursor(m_editor.document());
    cursor.movePosition(QTextCursor::Start);
    const QStringList lines = text.split(QLatin1String("\r\n"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), formatFor(m_editor, colour));
        cursor.insertText(toDocument(lines.at(i)), formatFor(m_editor, colour));
    }
    m_editor.setTextCursor(cursor);
}

void EditorText::moveCaretToStart()
{
    QTextCursor cursor = m_editor.textCursor();
    cursor.movePosition(QTextCursor::Start);
    m_editor.setTextCursor(cursor);
}

int EditorText::documentPosition(qsizetype offset) const
{
    const QTextDocument *document = m_editor.document();
    // Line i starts at document position p and at text offset p + i (each earlier line break is
    // one separator here and CR LF there), so the line of an offset is found by halving.
    auto textStart = [document](int line) { return qsizetype(document->findBlockByNumber(line).position()) + line; };
    int low = 0;
    int high = document->blockCount() - 1;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (textStart(middle) <= offset)
            low = middle;
        else
            high = middle - 1;
    }
    const QTextBlock block = document->findBlockByNumber(low);
    const qsizetype column = std::clamp(offset - textStart(low), qsizetype(0), qsizetype(block.length() - 1));
    return block.position() + int(column);
}

void EditorText::setCaret(qsizetype offset)
{
    select(offset, 0);
}

void EditorText::select(qsizetype offset, qsizetype length)
{
    QTextCursor cursor(m_editor.document());
    cursor.setPosition(documentPosition(offset));
    cursor.setPosition(documentPosition(offset + length), QTextCursor::KeepAnchor);
    m_editor.setTextCursor(cursor);
    m_editor.ensureCursorVisible();
}
