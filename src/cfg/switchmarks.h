#pragma once

#include "switchcheck.h"

#include <QObject>
#include <QTextBlock>

#include <memory>

class QCompleter;
class QPlainTextEdit;
class QStringListModel;

// The configuration editor's knowledge of the patch's switches: problem lines get a wavy
// underline (over the colours the lines already have) and their reason as a tooltip, a switch
// shows its description when hovered, names are completed at a line start, and the problems are
// counted. Only the lines an edit touched are judged again; a name index finds repeated switches
// without looking at the other lines. Without a switch list all of this is off.
//
// The underlines are the lines' layout formats, which Qt draws merged over the document's own
// formats: they change neither the text's colours nor the document (no undo step, no
// modification). Set here rather than through QSyntaxHighlighter, which builds a format for every
// character of every line it looks at, and only on the lines being drawn.
class SwitchMarks : public QObject {
    Q_OBJECT
public:
    explicit SwitchMarks(QPlainTextEdit &editor);
    ~SwitchMarks() override;

    // A new list (empty to turn everything off); the whole text is judged again.
    void setList(switchCheck::SwitchList list);
    // The list of a game folder, as the patch last wrote it.
    void loadFrom(const QString &gameFolder);
    bool active() const { return !m_list.isEmpty(); }

    int problemCount() const;
    // The reasons of a line's problems, one per line; empty when it has none.
    QString problemsOf(const QTextBlock &block) const;
    // What the tooltip over this block shows.
    QString tipFor(const QTextBlock &block) const;
    // Puts the caret at the start of the first problem line after the caret's line, from the top
    // again after the last; false when there is none.
    bool nextProblem();

signals:
    void problemCountChanged(int count);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Index;
    struct LineMark;
    // The lines from `position` to `position + added` changed.
    void changed(int position, int added);
    // Judges one line again: its mark, its place in the index and the underlines it should show.
    void judge(const QTextBlock &block);
    // Puts their underlines on the lines about to be drawn.
    void drawShownUnderlines();
    void settle();
    void offerCompletion();
    QCompleter &completer();
    void complete(const QString &name);

    QPlainTextEdit &m_editor;
    switchCheck::SwitchList m_list;
    std::shared_ptr<Index> m_index;
    QCompleter *m_completer = nullptr;
    QStringListModel *m_names = nullptr;
    bool m_busy = false;
    bool m_underlinesChanged = false; // a line's underlines changed since the window was asked to redraw
    int m_reportedCount = 0;
};
