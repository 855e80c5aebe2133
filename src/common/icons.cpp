#include "icons.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

#include <functional>

namespace {

const QString PendingName = QStringLiteral("pendingPicture");

using Picture = std::function<QIcon(const QLabel &)>;

// Puts the picture on the label at its first show, then goes.
class PictureOnShow : public QObject {
public:
    PictureOnShow(QLabel &label, Picture picture, int size)
        : QObject(&label)
        , m_picture(std::move(picture))
        , m_size(size)
    {
        setObjectName(PendingName);
        label.installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto &label = static_cast<QLabel &>(*watched);
            label.removeEventFilter(this);
            label.setPixmap(m_picture(label).pixmap(m_size, m_size));
            deleteLater();
        }
        return false;
    }

private:
    Picture m_picture;
    int m_size;
};

// The picture is made (and its file read) only when the label shows: the pictures of pages nobody
// has opened yet, and Qt's loading of every image-format plugin at the first picture it reads,
// were a good part of the program's start.
void setPictureOnShow(QLabel &label, Picture picture, int size)
{
    // A picture asked for later replaces one that was never shown.
    delete label.findChild<QObject *>(PendingName, Qt::FindDirectChildrenOnly);
    if (label.isVisible())
        label.setPixmap(picture(label).pixmap(size, size));
    else
        new PictureOnShow(label, std::move(picture), size);
}

} // namespace

const QIcon &programIcon()
{
    static const QIcon icon(QStringLiteral(":/icons/vexalpro.svg"));
    return icon;
}

void setProgramPicture(QLabel &label, int size)
{
    setPictureOnShow(label, [](const QLabel &) { return programIcon(); }, size);
}

QIcon styleIcon(const QWidget &widget, QStyle::StandardPixmap picture, int size)
{
    // The style's pixmap is one small picture; its icon decodes every size it has (up to 128
    // pixels), which was a good part of the program's start. The pixmap serves where it is enough.
    QStyle &style = *widget.style();
    if (widget.devicePixelRatio() == 1) {
        const QPixmap small = style.standardPixmap(picture, nullptr, &widget);
        if (!small.isNull() && small.width() >= size)
            return QIcon(small);
    }
    return style.standardIcon(picture, nullptr, &widget);
}

void setStandardPicture(QLabel &label, QStyle::StandardPixmap picture, int size)
{
    setPictureOnShow(
        label, [picture, size](const QLabel &shown) { return styleIcon(shown, picture, size); }, size);
}

void setNumberedIcon(QLabel &label, int iconNumber, int size)
{
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxWarning;
    switch (iconNumber) {
    case 97: pixmap = QStyle::SP_MessageBoxQuestion; break;
    case 98: pixmap = QStyle::SP_BrowserReload; break;
    case 100: pixmap = QStyle::SP_ComputerIcon; break;
    case 101: pixmap = QStyle::SP_DriveFDIcon; break;
    default: break;
    }
    setStandardPicture(label, pixmap, size);
    label.setProperty("iconNumber", iconNumber);
}
