#pragma once

#include "switchcheck.h"

#include <QSyntaxHighlighter>

#include <memory>

class QCompleter;
class QPlainTextEdit;
class QStringListModel;

// The configuration editor's knowledge of the patch's switches: problem lines get a wavy
// underline (over the colours the lines already have) and their reason as a tooltip, a switch
// shows its description when hovered, names are completed at a line start, and the problems are
// counted. Only the lines an edit touched are judged again; a name index finds repeated switches
// without looking at the other lines. Without a switch list all of this is off.
class SwitchMarks : public QSyntaxHighlighter {
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
    void highlightBlock(const QString &text) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Index;
    struct LineMark;
    void settle();
    void offerCompletion();
    void complete(const QString &name);

    QPlainTextEdit &m_editor;
    switchCheck::SwitchList m_list;
    std::shared_ptr<Index> m_index;
    QCompleter *m_completer = nullptr;
    QStringListModel *m_names = nullptr;
    bool m_settling = false;
    bool m_completed = false;
    int m_reportedCount = 0;
};
