#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QStringView>

// How the program reads TTDPatch configuration files and new-graphics lists, free of widgets.
namespace cfgRules {

// A line ends at CR LF or at a lone CR; a lone LF is part of its line. The text after the last
// line end is a line of its own when it is not empty.
QStringList splitLines(const QString &text);

enum class LineKind { Comment, Heading, Disabled, Other };
// The tests look at a line's first characters only, case-sensitively.
LineKind cfgLineKind(QStringView line);
LineKind listLineKind(QStringView line);
// Green for comments and disabled entries, teal for headings; invalid for the text colour.
QColor colourOf(LineKind kind);

// The configuration lines as the editor receives them: trimmed, blank ones dropped.
QStringList configurationLines(const QStringList &lines);
// The list lines as the editor receives them: trimmed, a blank line kept only after a line that
// was not blank (a blank first line is kept).
QStringList listLines(const QStringList &lines);

// Whether a key at this caret recolours its line: within the first five characters of the text,
// or one of the three characters before the caret is a line feed.
bool lineStartRule(qsizetype caretOffset, QStringView charactersBefore);

inline constexpr const char *VexalHeaderMark = "//vexal";
inline constexpr const char *PatchHeaderMark = "//ttdpatch";
QString vexalHeader(const QString &programVersion);
QString patchHeader(const QString &detectedPatchVersion);
// Anywhere in the text, letter case ignored.
bool hasHeader(const QString &text, const char *mark);
// One left-to-right pass: every CR LF CR LF becomes CR LF.
QString thinLineBreaks(QString text);

// Files that are never opened as a configuration: the new-graphics lists and the sound settings.
bool isNewGraphicsList(const QString &path);
bool isSoundSettings(const QString &path);

} // namespace cfgRules
