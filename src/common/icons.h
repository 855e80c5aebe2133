#pragma once

#include <QStyle>

class QIcon;
class QLabel;
class QWidget;

// The program's numbered pictures: 97 unknown version, 98 detecting, 100 Windows edition, 101 DOS
// edition, 104 nothing found. They are drawn from the style's icons; the label keeps the number
// in its "iconNumber" property.
void setNumberedIcon(QLabel &label, int iconNumber, int size = 16);

// The application's style: Qt's chosen style, with pictures nobody may see read when first drawn.
void useProgramStyle();

// The program's own picture, read once and shared by everything that shows it.
const QIcon &programIcon();

// The program's picture on a label, made when the label is first drawn.
void setProgramPicture(QLabel &label, int size);

// One of the style's pictures, for showing at `size` pixels.
QIcon styleIcon(const QWidget &widget, QStyle::StandardPixmap picture, int size);

// One of the style's pictures on a label, read when the label is first drawn.
void setStandardPicture(QLabel &label, QStyle::StandardPixmap picture, int size);
