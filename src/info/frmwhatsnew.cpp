#include "frmwhatsnew.h"

#include "common/modmain.h"
#include "lang/applytexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using modMain::uiText;

frmWhatsNew::frmWhatsNew(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmWhatsNew"));
    setModal(true);
    lblMain = new QLabel;
    lblMain->setObjectName(QStringLiteral("lblMain"));
    QFont heading = lblMain->font();
    heading.setBold(true);
    lblMain->setFont(heading);
    txtMain = new QPlainTextEdit;
    txtMain->setObjectName(QStringLiteral("txtMain"));
    txtMain->setReadOnly(true);
    cmdOK = new QPushButton;
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    setFontCharset(*cmdOK, modMain::state().FontCharset);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMain);
    layout->addWidget(txtMain, 1);
    layout->addLayout(buttons);
    resize(460, 320);
}

void frmWhatsNew::showEvent(QShowEvent *event)
{
    Form_Activate();
    QDialog::showEvent(event);
}

void frmWhatsNew::Form_Activate()
{
    const auto &s = modMain::state();
    setWindowTitle(uiText(26));
    // The version comes from the patch server: shown as it is, never as markup.
    lblMain->setTextFormat(Qt::PlainText);
    lblMain->setText(QLatin1String(" What's new in ") + s.LatestAlpha + QLatin1Char(' '));
    txtMain->setPlainText(QString(s.AlphaDescription).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    cmdOK->setText(uiText(68));
    modMain::applyChosenOpacity(*this);
}
