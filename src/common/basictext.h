#pragma once

#include <QString>

// The text rules of the classic Basic run time that the program's rules are written in.
namespace basicText {

// Removes leading and trailing space characters only; tabs stay.
QString trimBlanks(const QString &text);
// An optional sign and digits from the start; the rest is ignored, an empty or non-numeric text is 0.
qint64 leadingNumber(const QString &text);
// Letter case ignored, as Basic's text compare does: ASCII case folding only.
bool equalsIgnoringCase(QStringView a, QStringView b);
bool containsIgnoringCase(QStringView haystack, QStringView needle);

// Lines as the classic line reader gives them: CR LF, a lone CR and a lone LF each end a line;
// a last line without an ending still counts.
QStringList lineInputLines(const QString &text);

} // namespace basicText
