#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The small window shown while the updater waits and works; the texts come in the user's language.
class UpdaterWindow : public QWidget {
    Q_OBJECT

public:
    UpdaterWindow(const QString &heading, const QString &text, const QString &cancelCaption, QWidget *parent = nullptr);

    // Once the replacement has begun there is nothing left to cancel.
    void lockCancel();

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *lblHeading;
    QLabel *lblMessage;
    QPushButton *cmdCancel;
};
