#include "switchmarks.h"

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QCompleter>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QStringListModel>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>

#include <utility>

using namespace switchCheck;

// A judged line. It lives in its block, so Qt deletes it with the block and it leaves the name
// index then.
struct SwitchMarks::LineMark : QTextBlockUserData {
    LineMark(std::shared_ptr<Index> index, const QTextBlock &block)
        : index(std::move(index))
        , block(block)
    { }
    ~LineMark() override;

    std::shared_ptr<Index> index;
    QTextBlock block;
    QString key; // a known switch's lower-case name, as indexed; empty for an unknown one
    bool problem = false;
    bool repeat = false;
    // The underlines the line should show; a line gets them when it is drawn (drawShownUnderlines).
    QList<QTextLayout::FormatRange> underlines;
    bool onLayout = false; // its layout holds underlines put there
};

// The lines of each known switch and which of them sets it first. Blocks being deleted must not
// be asked their place, so a name whose first line went is settled after the edit.
struct SwitchMarks::Index {
    struct Lines {
        LineMark *first = nullptr;
        QSet<LineMark *> all;
    };
    QHash<QString, Lines> byKey;
    QSet<QString> unsettled;
    QSet<LineMark *> redraw; // marks whose repeat changed while another line was judged
    int problems = 0;

    void setRepeat(LineMark *mark, bool repeat, bool fromElsewhere)
    {
        if (mark->repeat == repeat)
            return;
        mark->repeat = repeat;
        problems += repeat ? 1 : -1;
        if (fromElsewhere)
            redraw.insert(mark);
    }
    void setProblem(LineMark *mark, bool problem)
    {
        if (mark->problem != problem)
            problems += problem ? 1 : -1;
        mark->problem = problem;
    }
    // The mark's line is being judged: only other lines need drawing again.
    void add(LineMark *mark)
    {
        Lines &lines = byKey[mark->key];
        lines.all.insert(mark);
        if (unsettled.contains(mark->key))
            return;
        if (!lines.first) {
            lines.first = mark;
            setRepeat(mark, false, false);
        } else if (mark->block.blockNumber() < lines.first->block.blockNumber()) {
            setRepeat(lines.first, true, true);
            lines.first = mark;
            setRepeat(mark, false, false);
        } else {
            setRepeat(mark, true, false);
        }
    }
    void remove(LineMark *mark)
    {
        if (mark->key.isEmpty())
            return;
        Lines &lines = byKey[mark->key];
        lines.all.remove(mark);
        if (lines.first == mark) {
            lines.first = nullptr;
            unsettled.insert(mark->key);
        }
        setRepeat(mark, false, false);
        redraw.remove(mark);
    }
    void settle()
    {
        for (const QString &key : std::as_const(unsettled)) {
            Lines &lines = byKey[key];
            lines.first = nullptr;
            for (LineMark *mark : std::as_const(lines.all)) {
                if (!lines.first || mark->block.blockNumber() < lines.first->block.blockNumber())
                    lines.first = mark;
            }
            for (LineMark *mark : std::as_const(lines.all))
                setRepeat(mark, mark != lines.first, true);
            if (lines.all.isEmpty())
                byKey.remove(key);
        }
        unsettled.clear();
    }
};

SwitchMarks::LineMark::~LineMark()
{
    index->remove(this);
    index->setProblem(this, false);
}

namespace {

const QTextCharFormat &problemFormat()
{
    static const QTextCharFormat format = [] {
        QTextCharFormat wavy;
        wavy.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        wavy.setUnderlineColor(Qt::red);
        return wavy;
    }();
    return format;
}

} // namespace

SwitchMarks::SwitchMarks(QPlainTextEdit &editor)
    : QObject(&editor)
    , m_editor(editor)
    , m_index(std::make_shared<Index>())
{
    connect(editor.document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
        if (m_busy || !active())
            return;
        changed(position, added);
        // One character typed at the caret: a name may be on its way.
        if (removed == 0 && added == 1 && m_editor.textCursor().position() == position + 1)
            offerCompletion();
    });
    m_editor.viewport()->installEventFilter(this);
    m_names = new QStringListModel(this);
}

QCompleter &SwitchMarks::completer()
{
    // Made when first wanted: a completer and its popup are a noticeable part of the start.
    if (!m_completer) {
        m_completer = new QCompleter(m_names, this);
        m_completer->setCaseSensitivity(Qt::CaseInsensitive);
        m_completer->setWidget(&m_editor);
        // The completer hands every key to the editor first, which would take Enter for a new line.
        m_completer->popup()->installEventFilter(this);
        connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this, &SwitchMarks::complete);
    }
    return *m_completer;
}

SwitchMarks::~SwitchMarks() = default;

void SwitchMarks::setList(SwitchList list)
{
    m_list = std::move(list);
    m_names->setStringList(m_list.names());
    changed(0, m_editor.document()->characterCount());
    // Said even when the count stays: the count shows only while there is a list.
    emit problemCountChanged(m_reportedCount);
}

void SwitchMarks::loadFrom(const QString &gameFolder)
{
    setList(SwitchList::inFolder(gameFolder));
}

int SwitchMarks::problemCount() const
{
    return m_index->problems;
}

void SwitchMarks::changed(int position, int added)
{
    // Drawing the underlines again tells the document of a change, which must not come back here.
    const QScopedValueRollback busy(m_busy, true);
    const QTextDocument *document = m_editor.document();
    const QTextBlock last = document->findBlock(position + added);
    for (QTextBlock block = document->findBlock(position); block.isValid(); block = block.next()) {
        judge(block);
        if (block == last)
            break;
    }
    settle();
}

void SwitchMarks::judge(const QTextBlock &block)
{
    auto *mark = static_cast<LineMark *>(block.userData());
    const QString text = block.text();
    const Setting setting = m_list.isEmpty() ? Setting() : settingOf(text);
    if (setting.key.isEmpty()) {
        if (mark && mark->onLayout) {
            block.layout()->setFormats({});
            m_editor.document()->markContentsDirty(block.position(), block.length());
        }
        if (mark)
            QTextBlock(block).setUserData(nullptr);
        return;
    }
    if (!mark) {
        mark = new LineMark(m_index, block);
        QTextBlock(block).setUserData(mark);
    }
    const Verdict verdict = switchCheck::judge(m_list, text, setting);
    const QString key = verdict.known ? setting.key : QString();
    if (mark->key != key) {
        m_index->remove(mark);
        mark->key = key;
        if (!key.isEmpty())
            m_index->add(mark);
    }
    m_index->setProblem(mark, verdict.kind != Kind::None);
    QList<QTextLayout::FormatRange> underlines;
    if (verdict.kind != Kind::None)
        underlines.append({int(verdict.start), int(verdict.length), problemFormat()});
    if (mark->repeat)
        underlines.append({int(setting.nameStart), int(setting.nameLength), problemFormat()});
    if (mark->underlines != underlines) {
        mark->underlines = underlines;
        m_underlinesChanged = true;
    }
}

void SwitchMarks::drawShownUnderlines()
{
    // A line's layout, made and laid out again for its underlines, costs more than judging it; a
    // long file with many problems opened slowly when every line got them at once.
    QTextDocument &document = *m_editor.document();
    const int height = m_editor.viewport()->height();
    QTextBlock block = m_editor.cursorForPosition(QPoint(0, 0)).block();
    int from = -1;
    int to = -1;
    for (qreal top = m_editor.cursorRect(QTextCursor(block)).top(); block.isValid() && top < height;
         block = block.next()) {
        top += document.documentLayout()->blockBoundingRect(block).height();
        auto *mark = static_cast<LineMark *>(block.userData());
        // The layout's own formats, not what was put there last: an input method's composition
        // replaces them, and has them to itself until it ends.
        QTextLayout *line = mark ? block.layout() : nullptr;
        if (line && line->preeditAreaText().isEmpty() && line->formats() != mark->underlines) {
            line->setFormats(mark->underlines);
            mark->onLayout = !mark->underlines.isEmpty();
            from = from < 0 ? block.position() : from;
            to = block.position() + block.length();
        }
    }
    // New formats are a change the document keeps until its next edit, which then laid out every
    // line from here to the edited one again (a keystroke far away in a long file paid for them).
    // Told now, it lays out just these lines, as they are drawn.
    if (from >= 0)
        document.markContentsDirty(from, to - from);
}

void SwitchMarks::settle()
{
    m_index->settle();
    while (!m_index->redraw.isEmpty()) {
        LineMark *mark = *m_index->redraw.cbegin();
        m_index->redraw.remove(mark);
        judge(mark->block);
    }
    // Once for all the lines judged: opening a long file asked as often as it has lines.
    if (std::exchange(m_underlinesChanged, false))
        m_editor.viewport()->update();
    if (m_reportedCount != m_index->problems) {
        m_reportedCount = m_index->problems;
        emit problemCountChanged(m_reportedCount);
    }
}

QString SwitchMarks::problemsOf(const QTextBlock &block) const
{
    const auto *mark = static_cast<const LineMark *>(block.userData());
    if (!mark || (!mark->problem && !mark->repeat))
        return {};
    const QString text = block.text();
    const Setting setting = settingOf(text);
    QStringList reasons;
    if (mark->problem)
        reasons.append(message(switchCheck::judge(m_list, text, setting), text, setting));
    if (mark->repeat) {
        const LineMark *first = m_index->byKey.value(mark->key).first;
        reasons.append(repeatMessage(text, setting, first ? first->block.blockNumber() + 1 : 0));
    }
    return reasons.join(QLatin1Char('\n'));
}

QString SwitchMarks::tipFor(const QTextBlock &block) const
{
    if (!block.userData())
        return {};
    const QString problems = problemsOf(block);
    const Switch *known = m_list.find(settingOf(block.text()).key);
    const QString about = known ? description(*known) : QString();
    return problems.isEmpty() ? about : about.isEmpty() ? problems : problems + QLatin1String("\n\n") + about;
}

bool SwitchMarks::nextProblem()
{
    const QTextBlock start = m_editor.textCursor().block();
    for (QTextBlock block = start.next();; block = block.next()) {
        if (!block.isValid())
            block = m_editor.document()->firstBlock();
        if (!problemsOf(block).isEmpty()) {
            m_editor.setTextCursor(QTextCursor(block));
            m_editor.ensureCursorVisible();
            return true;
        }
        if (block == start)
            return false;
    }
}

void SwitchMarks::offerCompletion()
{
    const QTextCursor caret = m_editor.textCursor();
    const QString before = caret.block().text().left(caret.positionInBlock());
    const qsizetype start = before.size() - QStringView(before).trimmed().size();
    const QString word = before.mid(start);
    const bool name = word.size() >= 2 && word.at(0).isLetter()
        && std::all_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); });
    if (!name) {
        if (m_completer)
            m_completer->popup()->hide();
        return;
    }
    QCompleter &names = completer();
    names.setCompletionPrefix(word);
    if (names.completionCount() == 0
        || (names.completionCount() == 1 && names.currentCompletion().compare(word, Qt::CaseInsensitive) == 0)) {
        names.popup()->hide();
        return;
    }
    QRect where = m_editor.cursorRect();
    where.setWidth(names.popup()->sizeHintForColumn(0) + names.popup()->verticalScrollBar()->sizeHint().width());
    names.complete(where);
}

void SwitchMarks::complete(const QString &name)
{
    QTextCursor caret = m_editor.textCursor();
    const QString before = caret.block().text().left(caret.positionInBlock());
    const int word = int(QStringView(before).trimmed().size());
    caret.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, word);
    caret.insertText(name);
    m_editor.setTextCursor(caret);
}

bool SwitchMarks::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && watched == m_editor.viewport() && active())
        drawShownUnderlines();
    if (event->type() == QEvent::ToolTip && watched == m_editor.viewport()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = active() ? tipFor(m_editor.cursorForPosition(help->pos()).block()) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_editor.viewport());
        return true;
    }
    if (event->type() == QEvent::KeyPress && m_completer && watched == m_completer->popup()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex chosen = m_completer->popup()->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) && chosen.isValid()) {
            m_completer->popup()->hide();
            complete(chosen.data().toString());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
