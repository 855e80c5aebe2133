#include "frmabout.h"

#include "common/modmain.h"
#include "lang/applytexts.h"
#include "lang/stringresources.h"
#include "liveupdate/unziplibrary.h"
#include "platform/dialogs.h"
#include "platform/systeminfo.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

using modMain::uiText;

namespace {
constexpr int MemoInterval = 1000;
constexpr int NoticeResource = 501;

// The maker's lines carry typographic characters; under a non-western character set they fall
// back to plain ASCII, which every code page shows the same.
QString copyrightText(bool plain)
{
    return plain ? QStringLiteral("Copyright (c) 2004-2026 Brakemoor Solutions. All rights reserved.")
                 : QStringLiteral("Copyright \u00A9 2004\u20132026 Brakemoor Solutions. All rights reserved.");
}

QString authorText(bool plain)
{
    return plain ? QStringLiteral("Written by Brakemoor Solutions - click to e-mail the author")
                 : QStringLiteral("Written by Brakemoor Solutions \u2013 click to e-mail the author");
}

QLabel *namedLabel(const char *name)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(name));
    // Texts come from resources and translations; none of them is markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The clickable labels look like links so that a person knows a click does something.
void makeClickable(QLabel &label)
{
    label.setCursor(Qt::PointingHandCursor);
    QFont font = label.font();
    font.setUnderline(true);
    label.setFont(font);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label.setPalette(palette);
}
} // namespace

std::optional<qint64> frmAbout::systemAvailableBytes()
{
    const std::optional<quint64> bytes = systemInfo::availableMemoryBytes();
    if (!bytes)
        return std::nullopt;
    return qint64(qMin<quint64>(*bytes, quint64(std::numeric_limits<qint64>::max())));
}

QString frmAbout::kilobytesText(qint64 bytes)
{
    // A quotient by 1024 has at most ten binary places, so ten decimal places hold it exactly;
    // the shortest round-trip form would drop digits of a large amount, and 'g' would switch
    // to an exponent. The zeros the fixed form pads with are then cut off again.
    QString text = QString::number(double(bytes) / 1024.0, 'f', 10);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString frmAbout::zipLibraryCredit()
{
    // The credit names the zip library with the version found on this system, if any.
    QString credit = StringResources::builtIn().string(500).value_or(QString());
    const QString version = unzipLibrary::libzipVersion();
    return version.isEmpty() ? credit : credit.replace(QStringLiteral("libzip,"), QStringLiteral("libzip %1,").arg(version));
}

frmAbout::frmAbout(Services &services, QWidget *parent, MemorySource availableBytes)
    : QDialog(parent)
    , m_services(services)
    , m_availableBytes(std::move(availableBytes))
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);

    imgIcon = namedLabel("imgIcon");
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_DesktopIcon);
    imgIcon->setPixmap(icon.pixmap(64, 64));
    auto *lblProduct = new QLabel(modMain::ProductName);
    QFont heading = lblProduct->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.5);
    lblProduct->setFont(heading);

    lblVersion = namedLabel("lblVersion");
    lblTtdp = namedLabel("lblTtdp");
    lblCopyr = namedLabel("lblCopyr");
    lblBrakemoor = namedLabel("lblBrakemoor");
    lblVexalsite = namedLabel("lblVexalsite");
    lblInfoZip = namedLabel("lblInfoZip");
    const QString libzip = unzipLibrary::libzipVersion();
    lblInfoZip->setText(QStringLiteral("Zip archives: libzip %1").arg(libzip.isEmpty() ? QStringLiteral("not found") : libzip));
    lblFree = namedLabel("lblFree");
    lblMemo = namedLabel("lblMemo");
    lblMemo->setWordWrap(true);
    cmdOK = new QPushButton;
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    tmrMemo = new QTimer(this);
    tmrMemo->setObjectName(QStringLiteral("tmrMemo"));
    tmrMemo->setInterval(MemoInterval);

    for (QLabel *link : {lblVexalsite, lblBrakemoor, lblInfoZip}) {
        makeClickable(*link);
        link->installEventFilter(this);
    }

    auto *text = new QVBoxLayout;
    text->addWidget(lblProduct);
    text->addWidget(lblVersion);
    text->addWidget(lblTtdp);
    text->addSpacing(8);
    text->addWidget(lblCopyr);
    text->addWidget(lblBrakemoor);
    text->addWidget(lblVexalsite);
    text->addWidget(lblInfoZip);
    text->addSpacing(8);
    text->addWidget(lblFree);
    text->addWidget(lblMemo);
    auto *top = new QHBoxLayout;
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch();
    layout->addLayout(buttons);
    setMinimumWidth(440);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(tmrMemo, &QTimer::timeout, this, &frmAbout::ShowFreeMemory);

    // Form_Load
    const int charset = modMain::state().FontCharset;
    for (QWidget *control :
        std::initializer_list<QWidget *> {cmdOK, lblFree, lblTtdp, lblVersion, lblVexalsite, lblMemo})
        setFontCharset(*control, charset);
    lblCopyr->setText(copyrightText(charset != 0));
    lblBrakemoor->setText(authorText(charset != 0));
    ShowFreeMemory();
}

void frmAbout::showEvent(QShowEvent *event)
{
    Form_Activate();
    tmrMemo->start();
    QDialog::showEvent(event);
}

void frmAbout::hideEvent(QHideEvent *event)
{
    // Nobody reads the line while the box is hidden; the next showing refreshes it at once.
    tmrMemo->stop();
    QDialog::hideEvent(event);
}

void frmAbout::Form_Activate()
{
    const auto &s = modMain::state();
    setWindowTitle(uiText(24));
    cmdOK->setText(uiText(50));
    lblVersion->setText(uiText(58) + QLatin1Char(' ') + s.ProgramVersion);
    lblFree->setText(uiText(60));
    lblFree->setVisible(!lblFree->text().isEmpty());
    lblTtdp->setText(uiText(59));
    lblVexalsite->setText(uiText(23));
    ShowFreeMemory();
    modMain::applyChosenOpacity(*this);
}

void frmAbout::ShowFreeMemory()
{
    const std::optional<qint64> bytes = m_availableBytes ? m_availableBytes() : std::nullopt;
    QString line = uiText(61);
    line.replace(QLatin1String("#MFREE#"), bytes ? kilobytesText(*bytes) : QStringLiteral("?"));
    lblMemo->setText(line);
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    // A click is a left button released over the label it was pressed on, as with a button.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *label = qobject_cast<QLabel *>(watched);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (label && mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (label == lblVexalsite)
                lblVexalsite_Click();
            else if (label == lblBrakemoor)
                lblBrakemoor_Click();
            else if (label == lblInfoZip)
                lblInfoZip_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::lblVexalsite_Click()
{
    modMain::openProgramPage(m_services, true);
}

void frmAbout::lblBrakemoor_Click()
{
    // The notice is the same in every interface language: it says which languages the maker reads.
    const QString notice = StringResources::builtIn().string(NoticeResource).value_or(QString());
    modMain::mailReport(m_services, this, QLatin1String("Vexal Pro ") + modMain::state().ProgramVersion, notice);
}

void frmAbout::lblInfoZip_Click()
{
    m_services.dialogs.message(this,
        {QStringLiteral("InfoZip Controls"), zipLibraryCredit(), MessageIcon::Information, MessageButtons::Ok,
            Answer::Ok});
}
