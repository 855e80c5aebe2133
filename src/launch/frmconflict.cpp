#include "frmconflict.h"

#include "common/icons.h"
#include "lang/applytexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

using modMain::uiText;

namespace {
constexpr int WindowsPicture = 100;
constexpr int DosPicture = 101;
} // namespace

frmConflict::frmConflict(Services &services, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmConflict"));
    setModal(true);
    for (int i = 0; i < 3; ++i) {
        lblMain[std::size_t(i)] = new QLabel;
        lblMain[std::size_t(i)]->setObjectName(QStringLiteral("lblMain(%1)").arg(i));
        lblMain[std::size_t(i)]->setWordWrap(true);
    }
    QFont heading = lblMain[0]->font();
    heading.setBold(true);
    lblMain[0]->setFont(heading);
    optDos = new QRadioButton(QStringLiteral(" DOS TTDPatch"));
    optDos->setObjectName(QStringLiteral("optDos"));
    optWin = new QRadioButton(QStringLiteral(" Windows TTDPatch"));
    optWin->setObjectName(QStringLiteral("optWin"));
    imgVersion = new QLabel;
    imgVersion->setObjectName(QStringLiteral("imgVersion"));
    cmdGetttd = new QPushButton;
    cmdGetttd->setObjectName(QStringLiteral("cmdGetttd"));
    cmdOK = new QPushButton;
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    auto *imgIco = new QLabel;
    imgIco->setObjectName(QStringLiteral("imgIco"));
    imgIco->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    auto *top = new QHBoxLayout;
    top->addWidget(imgIco, 0, Qt::AlignTop);
    top->addWidget(lblMain[0], 1);
    auto *choice = new QHBoxLayout;
    choice->addWidget(optWin);
    choice->addWidget(optDos);
    choice->addStretch();
    choice->addWidget(imgVersion);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdGetttd);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblMain[1]);
    layout->addWidget(lblMain[2]);
    layout->addLayout(choice);
    layout->addLayout(buttons);
    setMinimumWidth(440);

    connect(optDos, &QRadioButton::clicked, this, [this] {
        setNumberedIcon(*imgVersion, DosPicture, 32);
        cmdOK->setEnabled(true);
    });
    connect(optWin, &QRadioButton::clicked, this, [this] {
        setNumberedIcon(*imgVersion, WindowsPicture, 32);
        cmdOK->setEnabled(true);
    });
    connect(cmdOK, &QPushButton::clicked, this, &frmConflict::cmdOK_Click);
    connect(cmdGetttd, &QPushButton::clicked, this,
        [this] { modMain::openDocument(m_services, modMain::gameDownloadPage()); });

    // Form_Load
    for (QWidget *control :
        std::initializer_list<QWidget *> {optWin, optDos, cmdGetttd, cmdOK, lblMain[0], lblMain[1], lblMain[2]})
        setFontCharset(*control, modMain::state().FontCharset);
}

void frmConflict::prepare(Page page, const QString &gameFolder)
{
    const bool gameMissing = page == Page::GameNotFound;
    if (gameMissing) {
        lblMain[0]->setText(uiText(139));
        lblMain[1]->setText(uiText(140));
        lblMain[2]->setText(uiText(146) + QLatin1String("\r\n\r\n") + gameFolder);
    } else {
        lblMain[0]->setText(uiText(77));
        lblMain[1]->setText(uiText(143));
        lblMain[2]->setText(uiText(141));
    }
    for (QWidget *choice : std::initializer_list<QWidget *> {optDos, optWin, imgVersion})
        choice->setVisible(!gameMissing);
    cmdGetttd->setVisible(gameMissing);
}

void frmConflict::showEvent(QShowEvent *event)
{
    Form_Activate();
    QDialog::showEvent(event);
}

void frmConflict::Form_Activate()
{
    setWindowTitle(uiText(49));
    cmdGetttd->setText(uiText(82));
    cmdOK->setText(uiText(50));
    setNumberedIcon(*imgVersion, WindowsPicture, 32);
    optWin->setChecked(true);
    modMain::applyChosenOpacity(*this);
}

void frmConflict::cmdOK_Click()
{
    auto &s = modMain::state();
    if (!imgVersion->isHidden())
        s.PatchEdition = optWin->isChecked() ? modMain::Edition::Windows : modMain::Edition::Dos;
    s.EditionDialogConfirmed = true;
    hide();
}
