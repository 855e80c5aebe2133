#include "forceforeground.h"

#include <QWidget>

namespace modForceFore {

bool ForceForeground(QWidget &window)
{
    if (window.isActiveWindow())
        return true;
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
    return window.isActiveWindow();
}

} // namespace modForceFore
