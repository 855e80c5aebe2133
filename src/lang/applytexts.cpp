#include "applytexts.h"

#include "common/mainwindowhost.h"
#include "common/namedobjects.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QWidget>

namespace {

using modMain::uiText;

struct Caption {
    const char *name;
    int text;
};

constexpr Caption ButtonCaptions[]
    = {{"chkAutoload", 42}, {"chkBlend", 46}, {"chkColor", 151}, {"chkStatusbar", 45}, {"chkTicker", 44},
        {"chkUpdatePatch", 37}, {"chkUpdateVexal", 38}, {"chkVersionget", 43}, {"cmdExit", 5}, {"cmdGetAlpha", 27},
        {"cmdGetStable", 27}, {"cmdLU", 31}, {"cmdOpen", 2}, {"cmdReset", 48}, {"cmdRun", 7}, {"cmdSave", 3}};

constexpr Caption PlainLabelCaptions[] = {{"lblCap(7)", 29}, {"lblCap(9)", 30}, {"lblCap(13)", 41}, {"lblCap(14)", 47},
    {"lblCap(15)", 36}, {"lblCap(16)", 39}, {"lblCap(17)", 32}, {"lblCap(18)", 33}, {"lblCap(19)", 34},
    {"lblCap(20)", 40}, {"lblCap(21)", 35}, {"lblCap(22)", 125}, {"lblCap(23)", 57}, {"lblCap(24)", 150},
    {"lblCap(25)", 178}, {"lblCap(26)", 162}, {"lblCap(27)", 163}, {"lblCap(28)", 122}};

constexpr Caption MenuCaptions[] = {{"mnuFile", 1}, {"mnuActions", 6}, {"mnuHelp", 11}, {"mnuOpen", 2}, {"mnuSave", 3},
    {"mnuSaveAndRun", 4}, {"mnuExit", 5}, {"mnuRunTTD", 7}, {"mnuRunPloven", 8}, {"mnuRunNarwick", 9},
    {"mnuVersionGet", 10}, {"mnuNextProblem", 196}, {"mnuReadme", 12}, {"mnuForums", 13}, {"mnuLinksTTD", 14}, {"mnuLinksTools", 15},
    {"mnuLinksGraphics", 16}, {"mnuPatchAlpha", 18}, {"mnuPatchPrevious", 19}, {"mnuDownloadTTD", 21},
    {"mnuCheckVexal", 22}, {"mnuWebsite", 23}, {"mnuMainsite", 69}, {"mnuMirror1", 70}};

// Controls whose font takes the character set, besides every lblCap element.
constexpr const char *CharsetControls[] = {"chkAutoload", "chkBlend", "chkColor", "chkStatusbar", "chkTicker",
    "chkUpdatePatch", "chkUpdateVexal", "chkVersionget", "cmdExit", "cmdGetAlpha", "cmdGetStable", "cmdLU", "cmdOpen",
    "cmdReset", "cmdRun", "cmdSave", "lstLiveupdate", "stbMain", "TabStrip1"};

constexpr const char *TextSettingHintControls[] = {"cboFont", "cboSize", "chkColor", "chkVersionget"};

void setLabel(const NamedObjects &controls, const QString &name, const QString &text)
{
    if (auto *label = controls.find<QLabel>(name))
        label->setText(text);
}

// Menus are QMenus (their title is the caption) or plain actions.
void setMenuCaption(const NamedObjects &controls, const QString &name, const QString &text)
{
    if (auto *menu = controls.find<QMenu>(name))
        menu->setTitle(text);
    else if (auto *action = controls.find<QAction>(name))
        action->setText(text);
}

QString lblCapName(int index)
{
    return QStringLiteral("lblCap(%1)").arg(index);
}

} // namespace

void setFontCharset(QWidget &control, int charset)
{
    control.setProperty(FontCharsetProperty, charset);
}

void applyInterfaceTexts(QWidget &window, MainWindowHost &host, const modMain::State &state)
{
    // 1. Character set.
    const NamedObjects controls(window);
    for (QLabel *label : controls.findStartingWith<QLabel>(QLatin1String("lblCap(")))
        setFontCharset(*label, state.FontCharset);
    for (const char *name : CharsetControls) {
        if (auto *control = controls.find<QWidget>(QLatin1String(name)))
            setFontCharset(*control, state.FontCharset);
    }

    // 2. Tool tips.
    for (const char *name : TextSettingHintControls) {
        if (auto *control = controls.find<QWidget>(QLatin1String(name)))
            control->setToolTip(uiText(152));
    }

    // 3. Check boxes and buttons.
    for (const auto &caption : ButtonCaptions) {
        if (auto *button = controls.find<QAbstractButton>(QLatin1String(caption.name)))
            button->setText(uiText(caption.text));
    }

    // 4. The label array; 6, 8 and 12 are status labels that other procedures fill.
    const QString blank = QStringLiteral(" ");
    setLabel(controls, lblCapName(0), blank + uiText(25) + blank);
    setLabel(controls, lblCapName(1), uiText(78) + state.LatestStable);
    setLabel(controls, lblCapName(2), uiText(95) + state.LatestStableDate);
    setLabel(controls, lblCapName(3), blank + uiText(26) + blank);
    setLabel(controls, lblCapName(4), uiText(78) + state.LatestAlpha);
    setLabel(controls, lblCapName(5), uiText(95) + state.LatestAlphaDate);
    setLabel(controls, lblCapName(10), uiText(80) + state.LatestVersionGot);
    setLabel(controls, lblCapName(11), uiText(79) + state.LastCheckDate);
    for (const auto &caption : PlainLabelCaptions)
        setLabel(controls, QLatin1String(caption.name), uiText(caption.text));

    // 5. Menus.
    for (const auto &caption : MenuCaptions)
        setMenuCaption(controls, QLatin1String(caption.name), uiText(caption.text));
    QString alter = uiText(8);
    setMenuCaption(
        controls, QStringLiteral("mnuRunAlter"), alter.replace(QLatin1String("Ploven"), QLatin1String("TTD Alter")));
    setMenuCaption(controls, QStringLiteral("mnuRegedit"), uiText(81) + QLatin1String("..."));
    setMenuCaption(controls, QStringLiteral("mnuPatchUsa"), uiText(17) + QLatin1String(" (USA)"));
    setMenuCaption(controls, QStringLiteral("mnuPatchUk"), uiText(17) + QLatin1String(" (UK)"));
    setMenuCaption(controls, QStringLiteral("mnuPatchDk"), uiText(17) + QLatin1String(" (Denmark)"));
    setMenuCaption(controls, QStringLiteral("mnuAbout"), uiText(24) + QLatin1String("..."));

    // 6. Live-update display.
    host.UpdateLUDisplay();

    // 7. The settings tab; the other three keep their fixed captions.
    if (auto *tabs = controls.find<QTabBar>(QStringLiteral("TabStrip1")); tabs && tabs->count() == 4)
        tabs->setTabText(3, uiText(148));

    // 8. Version display once a file is open, else the welcome line.
    if (host.tabStripVisible())
        host.UpdateVersionDisplay();
    else
        host.UpdateStatusBar(QString(), uiText(57));
}
