#pragma once

#include "common/modmain.h"

#include <QString>
#include <QStringList>

#include <optional>

// The main window's rules, free of widgets so that they are tested on their own.
namespace mainWindowRules {

// Status icon numbers of the version display.
namespace icon {
inline constexpr int Unknown = 97;
inline constexpr int Detecting = 98;
inline constexpr int Windows = 100;
inline constexpr int Dos = 101;
inline constexpr int None = 104;
} // namespace icon

struct VersionDisplay {
    QString status; // title suffix, lblCap(6) and the first status-bar text
    QString tip2;
    int icon = icon::None;
};
VersionDisplay versionDisplay(const QString &detectedPatchVersion, modMain::Edition edition);

// "Vexal Pro 1.2.3"
QString programTitle(const QString &programVersion);
// "Vexal Pro 1.2.3 - <status>"
QString programTitle(const QString &programVersion, const QString &status);
// Where the animation restarts after a version update: just after "Vexal Pro <version> ".
int titleLengthAfterVersion(const QString &programVersion);
// One tick of the title animation: two more characters.
inline int nextTitleLength(int titleLength)
{
    return titleLength + 2;
}

struct HintContext {
    QString gameFolder;
    QString latestAlpha;
    QString patchStatus; // the caption of lblCap(6)
};
// The control names (object names) of the controls that have a status-bar hint.
QStringList hintedControls();
// The status-bar hint of a control, by its control name; none for controls without one.
std::optional<QString> controlHint(const QString &controlName, const HintContext &context);

struct BackgroundContext {
    bool overWindowBackground = false; // false: over a panel or the tab strip
    bool tabStripVisible = false;
    int selectedTab = 0; // 0-based
    QString cfgFileName;
    QString grfFileName;
    QString patchStatus;
};
// The hint for the window background, the panels and the tab strip; none leaves the bar as it is.
std::optional<QString> backgroundHint(const BackgroundContext &context);

} // namespace mainWindowRules
