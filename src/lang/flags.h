#pragma once

#include <QPixmap>
#include <QString>

class QLabel;

// The flag of a language, painted by the program (resource language names such as "SPANISH").
// An unknown language gets a neutral grey flag.
QPixmap flagPixmap(const QString &languageName, int width = 30, int height = 20);
// Shows the flag of the language in row `languageIndex`; the label remembers the picture's
// number (row + 2) in its "iconNumber" property.
void setFlag(QLabel &label, int languageIndex, const QString &languageName);
