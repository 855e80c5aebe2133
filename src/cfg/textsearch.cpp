#include "textsearch.h"

#include "common/basictext.h"
#include "common/modmain.h"
#include "editortext.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include <algorithm>

namespace {

constexpr int CaptionFind = 178;
constexpr int CaptionFindNext = 179;
constexpr int CaptionNoMatches = 180;

// The first match at or after `from`, letter case ignored; -1 for none. An empty text matches
// nothing: a match of no characters would select nothing and never move the search on.
qsizetype findIgnoringCase(QStringView haystack, QStringView needle, qsizetype from)
{
    if (needle.isEmpty())
        return -1;
    for (qsizetype start = std::max(from, qsizetype(0)); start + needle.size() <= haystack.size(); ++start) {
        if (basicText::equalsIgnoringCase(haystack.mid(start, needle.size()), needle))
            return start;
    }
    return -1;
}

// Only a key that types a character edits the search text (Backspace and Ctrl+letters too).
// Shift, the arrows, Home and End type nothing, and restarting on them would make Shift+Enter or
// a look at the text find the same match again; Delete counts as moving, as it did on Windows.
bool typesACharacter(const QKeyEvent &event)
{
    return !event.text().isEmpty() && event.key() != Qt::Key_Delete;
}

} // namespace

TextSearch::TextSearch(QPlainTextEdit &rtbPatch, QLineEdit &txtFind, QLabel &imgFind, QLabel &caption, QObject *parent)
    : QObject(parent)
    , m_rtbPatch(rtbPatch)
    , m_txtFind(txtFind)
    , m_imgFind(imgFind)
    , m_caption(caption)
{
    m_txtFind.installEventFilter(this);
    m_imgFind.installEventFilter(this);
}

void TextSearch::SearchString()
{
    EditorText editor(m_rtbPatch);
    editor.setCaret(m_searchPos);
    const QString wanted = basicText::trimBlanks(m_txtFind.text());
    const qsizetype match = findIgnoringCase(editor.text(), wanted, m_searchPos);
    if (match < 0) {
        // SearchPos stays, so the same search keeps reporting the miss until the text changes.
        m_caption.setText(modMain::uiText(CaptionNoMatches));
        return;
    }
    m_caption.setText(modMain::uiText(CaptionFindNext));
    // Qt keeps drawing a selection while the editor lacks the focus, so the match stays
    // highlighted while the person works in the find box.
    editor.select(match, wanted.size());
    m_searchPos = match + wanted.size();
}

void TextSearch::reset()
{
    m_txtFind.clear();
    restart();
}

void TextSearch::restart()
{
    m_searchPos = 0;
    m_caption.setText(modMain::uiText(CaptionFind));
}

bool TextSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_txtFind) {
        if (event->type() == QEvent::KeyPress) {
            const auto &keyEvent = *static_cast<QKeyEvent *>(event);
            if (keyEvent.key() == Qt::Key_Return || keyEvent.key() == Qt::Key_Enter) {
                SearchString();
                return true;
            }
            // Editing the search text starts the search again at the top.
            if (typesACharacter(keyEvent))
                restart();
        } else if (event->type() == QEvent::FocusOut) {
            // Switching to another program or opening the box's context menu leaves the focus
            // with the box as far as this window is concerned.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                restart();
        }
    } else if (watched == &m_imgFind && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        SearchString();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
