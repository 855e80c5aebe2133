#include "mainwindowrules.h"

namespace mainWindowRules {

using modMain::uiText;

namespace {

struct HintEntry {
    const char *control;
    int text;
};

// Controls whose hint is one interface text.
constexpr HintEntry PlainHints[] = {{"chkColor", 151}, {"cboFont", 152}, {"cboSize", 152}, {"lblCap(26)", 152},
    {"lblCap(27)", 152}, {"chkStatusbar", 153}, {"chkUpdatePatch", 154}, {"chkUpdateVexal", 155}, {"chkAutoload", 156},
    {"chkVersionget", 157}, {"chkTicker", 158}, {"chkBlend", 159}, {"sldBlend", 160}, {"cmdReset", 161}, {"cmdLU", 164},
    {"cmdSave", 165}, {"cmdRun", 166}, {"cmdExit", 167}, {"cmdDetails", 170}, {"cmdOpen", 71}};

// Controls whose hint is built from the current state.
constexpr const char *BuiltHints[] = {"cmdGetStable", "cmdGetAlpha", "cmdInfo", "picUpdates"};

} // namespace

VersionDisplay versionDisplay(const QString &detected, modMain::Edition edition)
{
    const bool windows = edition == modMain::Edition::Windows;
    if (detected == QLatin1String("quering..."))
        return {uiText(72), uiText(67), icon::Detecting};
    if (detected == QLatin1String("(unknown TTDPatch version)"))
        return {uiText(76), uiText(68), icon::Unknown};
    if (detected == QLatin1String("none"))
        return {uiText(77), uiText(68), icon::None};
    const int editionIcon = windows ? icon::Windows : icon::Dos;
    if (detected == QLatin1String("(version detection off)"))
        return {uiText(windows ? 73 : 74), uiText(68), editionIcon};
    QString status = uiText(75);
    status.replace(QLatin1String("#TTDPVERSION#"), detected);
    return {status, uiText(68), editionIcon};
}

QString programTitle(const QString &programVersion)
{
    return QLatin1String("Vexal Pro ") + programVersion;
}

QString programTitle(const QString &programVersion, const QString &status)
{
    return programTitle(programVersion) + QLatin1String(" - ") + status;
}

int titleLengthAfterVersion(const QString &programVersion)
{
    return int(programVersion.size()) + 11;
}

QStringList hintedControls()
{
    QStringList names;
    for (const HintEntry &entry : PlainHints)
        names.append(QLatin1String(entry.control));
    for (const char *name : BuiltHints)
        names.append(QLatin1String(name));
    return names;
}

std::optional<QString> controlHint(const QString &name, const HintContext &context)
{
    for (const HintEntry &entry : PlainHints) {
        if (name == QLatin1String(entry.control))
            return uiText(entry.text);
    }
    if (name == QLatin1String("cmdGetStable") || name == QLatin1String("cmdGetAlpha"))
        return QString(uiText(168)).replace(QLatin1String("#CFGPATH#"), context.gameFolder);
    if (name == QLatin1String("cmdInfo"))
        return QString(uiText(169)).replace(QLatin1String("#LATESTALPHA#"), context.latestAlpha);
    if (name == QLatin1String("picUpdates"))
        return context.patchStatus;
    return std::nullopt;
}

std::optional<QString> backgroundHint(const BackgroundContext &context)
{
    if (context.overWindowBackground && !context.tabStripVisible)
        return uiText(57);
    auto editing = [](const QString &fileName) {
        return QString(uiText(149)).replace(QLatin1String("#FNAMECFG#"), fileName.toLower());
    };
    switch (context.selectedTab) {
    case 0: return editing(context.cfgFileName);
    case 1: return editing(context.grfFileName);
    default:
        if (context.overWindowBackground)
            return std::nullopt;
        return context.patchStatus;
    }
}

} // namespace mainWindowRules
