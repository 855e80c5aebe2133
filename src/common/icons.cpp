#include "icons.h"

#include <QEvent>
#include <QLabel>

namespace {

const QString PendingName = QStringLiteral("pendingPicture");

// Puts the picture on the label at its first show, then goes.
class PictureOnShow : public QObject {
public:
    PictureOnShow(QLabel &label, QStyle::StandardPixmap picture, int size)
        : QObject(&label)
        , m_picture(picture)
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
            label.setPixmap(label.style()->standardIcon(m_picture).pixmap(m_size, m_size));
            deleteLater();
        }
        return false;
    }

private:
    QStyle::StandardPixmap m_picture;
    int m_size;
};

} // namespace

void setStandardPicture(QLabel &label, QStyle::StandardPixmap picture, int size)
{
    // A picture asked for later replaces one that was never shown.
    delete label.findChild<QObject *>(PendingName, Qt::FindDirectChildrenOnly);
    if (label.isVisible())
        label.setPixmap(label.style()->standardIcon(picture).pixmap(size, size));
    else
        new PictureOnShow(label, picture, size);
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
