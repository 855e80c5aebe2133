#pragma once

#include <QObject>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The find box of the configuration editor: each search selects the next match after the last.
class TextSearch : public QObject {
    Q_OBJECT
public:
    TextSearch(QPlainTextEdit &rtbPatch, QLineEdit &txtFind, QLabel &imgFind, QLabel &caption /* lblCap(25) */,
        QObject *parent = nullptr);

    // One search step: from SearchPos, letter case ignored; a match is selected and the next step
    // starts after it, a miss leaves SearchPos where it was.
    void SearchString();
    // A tab was selected: the next search starts at the top with an empty box.
    void reset();
    // The offset into the configuration text (CR LF counting two) where the next search starts.
    qsizetype SearchPos() const { return m_searchPos; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();

    QPlainTextEdit &m_rtbPatch;
    QLineEdit &m_txtFind;
    QLabel &m_imgFind;
    QLabel &m_caption;
    qsizetype m_searchPos = 0;
};
