#include "frmcomponents.h"

#include "common/icons.h"
#include "common/settingkeys.h"
#include "frmerror.h"
#include "frmmain.h"
#include "lang/applytexts.h"
#include "lang/modlanguage.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/systeminfo.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using modMain::uiText;

namespace {
QLabel *namedLabel(const QString &name, QStyle::StandardPixmap icon = QStyle::SP_CustomBase)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    if (icon != QStyle::SP_CustomBase)
        setStandardPicture(*label, icon, 32);
    return label;
}

QLabel *linkLabel(const QString &name)
{
    QLabel *label = namedLabel(name);
    label->setCursor(Qt::PointingHandCursor);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: palette(link);"));
    return label;
}
} // namespace

frmComponents::frmComponents(
    Services &services, const StringResources &resources, StartupEnvironment environment, QList<Component> components)
    : m_services(services)
    , m_resources(resources)
    , m_environment(std::move(environment))
    , m_components(std::move(components))
    , m_reporter(std::make_unique<ErrorDialogReporter>(services))
{
    setObjectName(QStringLiteral("frmComponents"));
    setWindowTitle(modMain::ProductName);
}

frmComponents::~frmComponents() = default;

void frmComponents::buildPage()
{
    fraProblem = new QGroupBox;
    fraProblem->setObjectName(QStringLiteral("fraProblem"));
    imgProblem = namedLabel(QStringLiteral("imgProblem"), QStyle::SP_MessageBoxCritical);
    lblProblem = namedLabel(QStringLiteral("lblProblem"));
    lblProblem->setWordWrap(true);
    auto *problem = new QGridLayout(fraProblem);
    problem->addWidget(imgProblem, 0, 0);
    problem->addWidget(lblProblem, 0, 1);
    for (int i = 0; i < m_components.size(); ++i) {
        Label2.append(namedLabel(QStringLiteral("Label2(%1)").arg(i)));
        Label3.append(namedLabel(QStringLiteral("Label3(%1)").arg(i)));
        Label2.last()->setText(m_components.at(i).fileName);
        Label3.last()->setText(m_components.at(i).description);
        QFont bold = Label2.last()->font();
        bold.setBold(true);
        Label2.last()->setFont(bold);
        problem->addWidget(Label2.last(), i + 1, 0);
        problem->addWidget(Label3.last(), i + 1, 1);
    }

    fraSolution = new QGroupBox;
    fraSolution->setObjectName(QStringLiteral("fraSolution"));
    imgSolution = namedLabel(QStringLiteral("imgSolution"), QStyle::SP_DialogApplyButton);
    lblSolution = namedLabel(QStringLiteral("lblSolution"));
    lblSolution->setWordWrap(true);
    lblMainsite = linkLabel(QStringLiteral("lblMainsite"));
    lblMirror1 = linkLabel(QStringLiteral("lblMirror1"));
    imgInfo = namedLabel(QStringLiteral("imgInfo"), QStyle::SP_MessageBoxInformation);
    lblInfo = linkLabel(QStringLiteral("lblInfo"));
    problem->setColumnStretch(1, 1);
    auto *solution = new QGridLayout(fraSolution);
    solution->setColumnStretch(1, 1);
    solution->addWidget(imgSolution, 0, 0);
    solution->addWidget(lblSolution, 0, 1);
    solution->addWidget(lblMainsite, 1, 1);
    solution->addWidget(lblMirror1, 2, 1);
    solution->addWidget(imgInfo, 3, 0);
    solution->addWidget(lblInfo, 3, 1);

    cmdIgnore = new QPushButton;
    cmdIgnore->setObjectName(QStringLiteral("cmdIgnore"));
    cmdExit = new QPushButton;
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdIgnore);
    buttons->addWidget(cmdExit);

    auto *image1 = namedLabel(QStringLiteral("Image1"));
    setProgramPicture(*image1, 48);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(image1, 0, Qt::AlignLeft);
    layout->addWidget(fraProblem);
    layout->addWidget(fraSolution);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    connect(cmdIgnore, &QPushButton::clicked, this, &frmComponents::cmdIgnore_Click);
    connect(cmdExit, &QPushButton::clicked, this, [this] { m_services.endProgram(); });
    for (QLabel *link : {lblInfo, lblMainsite, lblMirror1})
        link->installEventFilter(this);
}

frmComponents::Outcome frmComponents::Form_Load()
{
    auto &s = modMain::state();
    // Every step's failure is passed over: start-up goes on with what it has.
    s.OSName = m_environment.osName;
    s.IsWin2000OrXP = m_environment.translucency;
    s.ShellPrefix.clear(); // programs start from argument lists, never through a command interpreter

    modLanguage::chooseCharacterSet(s, m_environment.ansiCodePage);
    s.AnsiCodePage = m_environment.ansiCodePage;
    modLanguage::buildLanguageList(s, m_resources);

    s.SystemPath = m_environment.systemFolder;
    s.TempPath = m_environment.cacheFolder;
    // The cache's parent (~/.cache) may not exist yet on a new account; the folder itself is ours.
    QDir().mkpath(QDir::cleanPath(s.TempPath + QLatin1String("/..")));
    systemInfo::createPrivateFolder(s.TempPath);
    // Written only when it moved: saving the settings waits for the disk, which every start
    // would otherwise pay for the same value.
    if (readSetting(m_services.settings, settingKeys::WinTempPath) != s.TempPath) {
        writeSetting(m_services.settings, settingKeys::WinTempPath, s.TempPath);
        m_services.settings.sync();
    }
    checkComponents();

    s.LanguageName = readSetting(m_services.settings, settingKeys::Language);
    if (s.LanguageName == QLatin1String("---"))
        modLanguage::detectDefaultLanguage(s, m_environment.localeLanguageName);
    modLanguage::findLanguageIndex(s);
    modLanguage::loadInterfaceTexts(s, m_resources);

    if (m_environment.onNetworkFileSystem || m_environment.programFolder.startsWith(QLatin1String("//"))) {
        m_services.dialogs.message(
            nullptr, {modMain::ProductName, uiText(129), MessageIcon::Critical, MessageButtons::Ok, Answer::Ok});
        m_services.endProgram();
        return Outcome::RefusedNetworkFolder;
    }

    if (!s.ComponentsMissing) {
        showMainWindow();
        hide();
        return Outcome::MainWindowShown;
    }
    putTexts();
    show();
    return Outcome::ComponentsMissing;
}

void frmComponents::checkComponents()
{
    auto &s = modMain::state();
    s.UnzipAvailable = true;
    s.ComponentsMissing = false;
    for (int i = 0; i < m_components.size(); ++i) {
        if (m_components.at(i).present())
            continue;
        if (m_components.at(i).fileName == ZipLibraryComponent)
            s.UnzipAvailable = false;
        if (!fraProblem)
            buildPage(); // the page exists only to be shown, which only a missing component does
        for (QLabel *label : {Label2.at(i), Label3.at(i)})
            label->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
        s.ComponentsMissing = true;
    }
}

void frmComponents::putTexts()
{
    const int charset = modMain::state().FontCharset;
    for (QWidget *control : std::initializer_list<QWidget *> {
             cmdIgnore, cmdExit, fraProblem, fraSolution, lblProblem, lblSolution, lblInfo, lblMainsite, lblMirror1})
        setFontCharset(*control, charset);
    fraProblem->setTitle(uiText(172));
    lblProblem->setText(uiText(173));
    fraSolution->setTitle(uiText(174));
    lblSolution->setText(uiText(175));
    lblMainsite->setText(uiText(23) + QLatin1String(" (") + uiText(69) + QLatin1Char(')'));
    lblMirror1->setText(uiText(23) + QLatin1String(" (") + uiText(70) + QLatin1Char(')'));
    lblInfo->setText(uiText(176));
    cmdIgnore->setText(uiText(54));
    cmdExit->setText(uiText(5));
}

void frmComponents::showMainWindow()
{
    if (!m_main) {
        m_main = std::make_unique<frmMain>(m_services, m_resources, *m_reporter, m_environment.programFolder);
        m_main->setFileToOpen(m_fileToOpen);
        m_main->Form_Load();
    }
    m_main->show();
}

void frmComponents::cmdIgnore_Click()
{
    hide();
    modMain::state().ComponentsMissing = false;
    showMainWindow();
}

void frmComponents::lblInfo_MouseDown()
{
    m_services.dialogs.message(this,
        {modMain::ProductName,
            QString(uiText(177)).replace(QLatin1String("#SYSPATH#"), modMain::state().SystemPath),
            MessageIcon::Information, MessageButtons::Ok, Answer::Ok});
}

bool frmComponents::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == lblInfo)
            lblInfo_MouseDown();
        else if (watched == lblMainsite)
            modMain::openProgramPage(m_services, true);
        else if (watched == lblMirror1)
            modMain::openProgramPage(m_services, false);
    }
    return QDialog::eventFilter(watched, event);
}
