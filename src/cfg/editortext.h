#pragma once

#include <QColor>
#include <QString>
#include <QTextBlock>

#include <functional>
#include <optional>

class QPlainTextEdit;

// The editors as the colour rules see them: one text whose lines end with CR LF, addressed by
// 0-based offsets in which CR and LF count one each. The document keeps one block per line; a
// lone LF inside a line is kept as a line separator (U+2028) in its block.
//
// Everything here works on the caret's block and its neighbours, never on the whole text, so a
// keystroke costs the same in a long document as in a short one.
class EditorText {
public:
    explicit EditorText(QPlainTextEdit &editor);

    // The whole text with CR LF between lines and lone LFs restored (for saving).
    QString text() const;
    // Replaces the whole text; CR LF or lone CR start a new line, a lone LF stays in its line.
    void setText(const QString &text);

    // The caret as an offset into text().
    qsizetype caretOffset() const;
    // Up to `count` characters of text() just before the caret.
    QString charactersBeforeCaret(int count) const;
    // Nothing but blanks (a text with a line break is never blank).
    bool isBlank() const;

    // The line that holds the caret, delimited as the recolouring rule does: the first line ends
    // at the first CR; a later line runs from the CR before the caret to the next CR. None when
    // there is no CR to end it.
    std::optional<QTextBlock> caretLine() const;
    // The text of a line as text() holds it (lone LFs restored).
    static QString lineText(const QTextBlock &block);

    // Colours a line's characters, leaving the caret and selection as they were.
    void colourLine(const QTextBlock &block, const QColor &colour);
    // Replaces the text by these lines, each followed by a line break, each in the colour the
    // function gives it (invalid: the text colour). One edit, not one per line; the caller places
    // the caret.
    void setLines(const QStringList &lines, const std::function<QColor(const QString &)> &colourOf);
    // The colour a line's first character shows.
    QColor lineColour(const QTextBlock &block) const;
    // Inserts text at the very start in `colour`; the caret ends after it.
    void insertAtStart(const QString &text, const QColor &colour);
    void moveCaretToStart();
    // The caret at an offset into text() with nothing selected, scrolled into view. An offset
    // between a CR and its LF has no place of its own in the document: it means the end of that line.
    void setCaret(qsizetype offset);
    // Selects `length` characters of text() from `offset`, the caret at the end.
    void select(qsizetype offset, qsizetype length);

    QPlainTextEdit &editor() const { return m_editor; }

private:
    // The document position of an offset into text(), clamped to the text.
    int documentPosition(qsizetype offset) const;

    QPlainTextEdit &m_editor;
};
