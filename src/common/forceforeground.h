#pragma once

class QWidget;

namespace modForceFore {

// Brings a window to the front, restoring it when minimised, before it asks the person something.
// True when it is the active window afterwards (a window manager may refuse the focus).
bool ForceForeground(QWidget &window);

} // namespace modForceFore
