#pragma once

#include <QWidget>

// The window layouts were drawn in twips, 1440 to the inch: 15 to a pixel on a 96 dpi screen.
// Screens set to a larger text size get proportionally more pixels.
inline int twipsToPixels(const QWidget &widget, int twips)
{
    return qRound(double(twips) * widget.logicalDpiX() / (15.0 * 96.0));
}
