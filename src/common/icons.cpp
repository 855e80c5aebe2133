#include "icons.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QProxyStyle>

#include <functional>
#include <optional>

namespace {

const QString PendingName = QStringLiteral("pendingPicture");

using Picture = std::function<QIcon(const QLabel &)>;

// Puts the picture on the label when the label is first drawn, then goes; the label then draws
// it (a filter sees the paint before the label does).
class PictureOnPaint : public QObject {
public:
    PictureOnPaint(QLabel &label, Picture picture, int size)
        : QObject(&label)
        , m_picture(std::move(picture))
        , m_size(size)
    {
        setObjectName(PendingName);
        label.installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
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

// The picture is made (and its file read) only when the label is drawn: the pictures of pages
// nobody has opened yet, and of the welcome page when the last file reopens before the window is
// first drawn, were a good part of the program's start.
void setPictureWhenDrawn(QLabel &label, Picture picture, int size)
{
    // A picture asked for later replaces one that was never drawn.
    delete label.findChild<QObject *>(PendingName, Qt::FindDirectChildrenOnly);
    if (label.isVisible()) {
        label.setPixmap(picture(label).pixmap(size, size));
        return;
    }
    // The room the picture will take, so that the window's layout does not move when it comes.
    label.setMinimumSize(label.minimumSize().expandedTo(QSize(size, size)));
    new PictureOnPaint(label, std::move(picture), size);
}

// An icon made when it is first drawn or measured; until then it costs nothing.
class DeferredIcon : public QIconEngine {
public:
    explicit DeferredIcon(std::function<QIcon()> make)
        : m_make(std::move(make))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QIconEngine *clone() const override { return new DeferredIcon(*this); }

private:
    const QIcon &icon()
    {
        if (!m_icon)
            m_icon = m_make();
        return *m_icon;
    }

    std::function<QIcon()> m_make;
    std::optional<QIcon> m_icon;
};

// The file of Qt's own picture of a standard pixmap the main window shows from the start.
const char *builtInPicture(QStyle::StandardPixmap picture)
{
    switch (picture) {
    case QStyle::SP_DialogOpenButton: return "standardbutton-open-16";
    case QStyle::SP_DialogSaveButton: return "standardbutton-save-16";
    case QStyle::SP_MediaPlay: return "media-play-32";
    case QStyle::SP_FileDialogContentsView: return "filecontents-16";
    default: return nullptr;
    }
}

// Qt's widgets ask for some pictures when they are made, and reading the first picture loads
// every image-format plugin: a good part of the program's start, for pictures that show only
// later, if ever (the menu bar's arrow for a window too narrow for its menus, the search box's
// clear button once something is typed).
class ProgramStyle : public QProxyStyle {
public:
    // Without an icon theme Qt draws these from its own PNG files, through a reader that first
    // loads every image-format plugin to ask whether one of them reads PNG. Read as PNG from the
    // start, the same pictures cost none of that.
    QPixmap standardPixmap(StandardPixmap picture, const QStyleOption *option, const QWidget *widget) const override
    {
        const char *name = builtInPicture(picture);
        if (name && QIcon::themeName().isEmpty()) {
            QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1.png")
                                    .arg(QLatin1String(name)),
                "png");
            reader.setAutoDetectImageFormat(false);
            const QImage image = reader.read();
            if (!image.isNull())
                return QPixmap::fromImage(image);
        }
        return QProxyStyle::standardPixmap(picture, option, widget);
    }

    QIcon standardIcon(StandardPixmap picture, const QStyleOption *option, const QWidget *widget) const override
    {
        if (picture == SP_ToolBarHorizontalExtensionButton || picture == SP_ToolBarVerticalExtensionButton
            || picture == SP_LineEditClearButton)
            return QIcon(new DeferredIcon([style = baseStyle(), picture] { return style->standardIcon(picture); }));
        return QProxyStyle::standardIcon(picture, option, widget);
    }
};

} // namespace

void useProgramStyle()
{
    // Without a base, the proxy builds the style Qt would have chosen, a -style option included.
    QApplication::setStyle(new ProgramStyle);
}

const QIcon &programIcon()
{
    // Reading the picture loads Qt's SVG support, which a window wants only when it draws it.
    static const QIcon icon(new DeferredIcon([] { return QIcon(QStringLiteral(":/icons/vexalpro.svg")); }));
    return icon;
}

void setProgramPicture(QLabel &label, int size)
{
    setPictureWhenDrawn(label, [](const QLabel &) { return programIcon(); }, size);
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
    setPictureWhenDrawn(
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
