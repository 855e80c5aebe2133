#pragma once

#include <QObject>

class Dialogs;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QString;
class QWidget;

// The newgrf folder's file list beside the new-graphics list: double-click adds a file to the list,
// Delete removes the file from the disk.
class GrfList : public QObject {
    Q_OBJECT
public:
    GrfList(QListWidget &flbGrf, QPlainTextEdit &rtbGrf, Dialogs &dialogs, QWidget *dialogParent,
        QObject *parent = nullptr);

    // Fills the list with the *.grf files of the folder (sorted by name ignoring case) and
    // remembers the folder in the list's "folder" property. An empty or vanished folder gives an empty list.
    static void fill(QListWidget &flbGrf, const QString &folder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addToList(QListWidgetItem *item);
    void deleteSelected();

    QListWidget &m_flbGrf;
    QPlainTextEdit &m_rtbGrf;
    Dialogs &m_dialogs;
    QWidget *m_dialogParent;
};
