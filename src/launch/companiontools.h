#pragma once

#include "common/modmain.h"

#include <QObject>
#include <QString>

class QWidget;

// The three companion tools: started from their remembered place, else looked for with a folder browser.
class CompanionTools : public QObject {
    Q_OBJECT
public:
    enum class Tool { TTDAlter, Ploven, Narwick };

    CompanionTools(Services &services, QWidget *dialogParent, QObject *parent = nullptr);

    void run(Tool tool); // the menu entries mnuRunAlter, mnuRunPloven, mnuRunNarwick
    // The chosen folder, lower-cased, with '/' appended when missing, followed by fileName unchanged;
    // empty when the person cancels.
    QString SelectFolderPath(const QString &caption, const QString &fileName);

private:
    // The chosen folder as the browser gave it, ending in '/'; empty when the person cancels.
    QString chooseFolder(const QString &caption);
    void start(const QString &path);

    Services &m_services;
    QWidget *m_dialogParent;
};
