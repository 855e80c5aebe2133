#pragma once

class QLabel;

// The program's numbered pictures: 97 unknown version, 98 detecting, 100 Windows edition, 101 DOS
// edition, 104 nothing found. They are drawn from the style's icons; the label keeps the number
// in its "iconNumber" property.
void setNumberedIcon(QLabel &label, int iconNumber, int size = 16);
