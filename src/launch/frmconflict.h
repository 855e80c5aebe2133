#pragma once

#include "common/modmain.h"

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QRadioButton;

// The edition dialog: says that the game or the patch is missing, and lets the person choose
// which edition the program manages.
class frmConflict : public QDialog {
    Q_OBJECT
public:
    explicit frmConflict(Services &services, QWidget *parent = nullptr);

    enum class Page { GameNotFound, PatchNotFound };
    // Puts the page's texts on; the dialog's own captions come when it is shown.
    void prepare(Page page, const QString &gameFolder);

    std::array<QLabel *, 3> lblMain {};
    QRadioButton *optDos;
    QRadioButton *optWin;
    QLabel *imgVersion;
    QPushButton *cmdGetttd;
    QPushButton *cmdOK;

    // Escape and the window's close button do nothing: the dialog ends only through OK, so that a
    // launch it interrupted is always dropped.
    void reject() override { }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Activate();
    void cmdOK_Click();

    Services &m_services;
};
