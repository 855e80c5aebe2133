#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// What's new in the latest alpha/beta release, as the last release check read it.
class frmWhatsNew : public QDialog {
    Q_OBJECT
public:
    explicit frmWhatsNew(QWidget *parent = nullptr);

    QLabel *lblMain;
    QPlainTextEdit *txtMain;
    QPushButton *cmdOK;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Activate();
};
