#include "updaterwindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UpdaterWindow::UpdaterWindow(const QString &heading, const QString &text, const QString &cancelCaption, QWidget *parent)
    : QWidget(parent)
    , lblHeading(new QLabel(heading, this))
    , lblMessage(new QLabel(text, this))
    , cmdCancel(new QPushButton(cancelCaption, this))
{
    setObjectName(QStringLiteral("frmUpdater"));
    setWindowTitle(QStringLiteral("Vexal Pro"));
    lblHeading->setObjectName(QStringLiteral("lblHeading"));
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    QFont bold = lblHeading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lblHeading->setFont(bold);
    lblMessage->setWordWrap(true);

    // No measurable progress: the wait ends when the program has exited.
    auto *busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblHeading);
    layout->addWidget(lblMessage);
    layout->addWidget(busy);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(cmdCancel, &QPushButton::clicked, this, &UpdaterWindow::cancelRequested);
}

void UpdaterWindow::lockCancel()
{
    cmdCancel->setEnabled(false);
}

void UpdaterWindow::closeEvent(QCloseEvent *event)
{
    // Closing means Cancel; the session ends the program, or refuses once the replacement runs.
    event->ignore();
    if (cmdCancel->isEnabled())
        emit cancelRequested();
}
