#include "icons.h"

#include <QLabel>
#include <QStyle>

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
    label.setPixmap(label.style()->standardIcon(pixmap).pixmap(size, size));
    label.setProperty("iconNumber", iconNumber);
}
