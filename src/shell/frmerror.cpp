#include "frmerror.h"

#include "lang/applytexts.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "platform/systeminfo.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using modMain::uiText;

frmError::frmError(Services &services, QWidget *parent)
    : QDialog(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmError"));
    setWindowTitle(modMain::ProductName);
    setModal(true);

    auto named = [](auto *widget, const char *name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    lblTop = named(new QLabel, "lblTop");
    lblMain = named(new QLabel, "lblMain");
    lblSecond = named(new QLabel, "lblSecond");
    txtReport = named(new QPlainTextEdit, "txtReport");
    cmdIgnore = named(new QPushButton, "cmdIgnore");
    cmdRestart = named(new QPushButton, "cmdRestart");
    cmdReport = named(new QPushButton, "cmdReport");
    auto *imgRight = named(new QLabel, "imgRight");
    imgRight->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(48, 48));

    QFont headline = lblTop->font();
    headline.setBold(true);
    lblTop->setFont(headline);
    for (QLabel *label : {lblTop, lblMain, lblSecond})
        label->setWordWrap(true);
    txtReport->setReadOnly(true);
    txtReport->setFixedHeight(72);

    auto *shpTop = named(new QFrame, "shpTop");
    auto *top = new QHBoxLayout(shpTop);
    top->addWidget(lblTop, 1);
    top->addWidget(imgRight);
    auto *line = named(new QFrame, "Line2");
    line->setFrameShape(QFrame::HLine);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdReport);
    buttons->addStretch();
    buttons->addWidget(cmdRestart);
    buttons->addWidget(cmdIgnore);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(shpTop);
    layout->addWidget(line);
    layout->addWidget(lblMain);
    layout->addWidget(lblSecond);
    layout->addWidget(txtReport);
    layout->addLayout(buttons);
    setMinimumWidth(440);

    cmdIgnore->setDefault(true);
    connect(cmdIgnore, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdRestart, &QPushButton::clicked, this, &frmError::cmdRestart_Click);
    connect(cmdReport, &QPushButton::clicked, this, &frmError::cmdReport_Click);

    // Form_Load
    for (QWidget *control :
        std::initializer_list<QWidget *> {lblTop, lblMain, lblSecond, cmdReport, cmdRestart, cmdIgnore})
        setFontCharset(*control, modMain::state().FontCharset);
}

bool frmError::controlPanelShown()
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->objectName() == QLatin1String("frmControlPanel") && window->isVisible())
            return true;
    }
    return false;
}

void frmError::setReport(const QString &reportText)
{
    m_report = reportText;
    txtReport->setPlainText(QString(reportText).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void frmError::showEvent(QShowEvent *event)
{
    Form_Activate();
    QDialog::showEvent(event);
}

void frmError::Form_Activate()
{
    cmdReport->setText(uiText(136));
    cmdRestart->setText(uiText(137));
    m_registryMode = controlPanelShown();
    lblTop->setText(uiText(m_registryMode ? 100 : 133));
    lblMain->setText(uiText(m_registryMode ? 101 : 134));
    lblSecond->setText(uiText(m_registryMode ? 102 : 135));
    for (QWidget *control : std::initializer_list<QWidget *> {cmdReport, cmdRestart, txtReport})
        control->setVisible(!m_registryMode);
    cmdIgnore->setText(uiText(m_registryMode ? 50 : 54));
    modMain::applyChosenOpacity(*this);
}

void frmError::cmdRestart_Click()
{
    // A failed start still ends this instance: the person asked for a fresh one.
    const auto &s = modMain::state();
    m_services.shell.startProgram(
        s.AppFolder + systemInfo::programFileName(), s.ProgramArguments, s.AppFolder, WindowMode::Normal);
    m_services.endProgram();
}

void frmError::cmdReport_Click()
{
    const auto &state = modMain::state();
    modMain::mailReport(m_services, this,
        QLatin1String("vexal ") + state.ProgramVersion + QLatin1Char(' ') + state.OSName + QLatin1String(" report"));
    cmdReport->setEnabled(false);
}

ErrorDialogReporter::ErrorDialogReporter(Services &services)
    : m_services(services)
{ }

ErrorDialogReporter::~ErrorDialogReporter() = default;

void ErrorDialogReporter::showReport(const QString &reportText)
{
    if (!m_form)
        m_form = std::make_unique<frmError>(m_services);
    m_form->setReport(reportText);
    m_services.dialogs.showModal(*m_form);
}
