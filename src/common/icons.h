#pragma once

#include <QStyle>

class QLabel;

// The program's numbered pictures: 97 unknown version, 98 detecting, 100 Windows edition, 101 DOS
// edition, 104 nothing found. They are drawn from the style's icons; the label keeps the number
// in its "iconNumber" property.
void setNumberedIcon(QLabel &label, int iconNumber, int size = 16);

// One of the style's pictures on a label, read from its file when the label is first shown.
// The pictures of pages nobody has opened yet, and Qt's loading of every image-format plugin at
// the first picture it reads, were a good part of the program's start.
void setStandardPicture(QLabel &label, QStyle::StandardPixmap picture, int size);
