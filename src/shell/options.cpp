#include "options.h"

#include "common/modmain.h"
#include "common/settingkeys.h"
#include "liveupdate/liveupdate.h"
#include "liveupdate/liveupdaterules.h"
#include "mainwindowcontrols.h"
#include "platform/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabBar>

namespace options {

namespace k = settingKeys;

namespace {

void setTicked(QCheckBox &box, qint64 value)
{
    // A check box holds 0, 1 or 2 (greyed); anything else is not a value it can take.
    if (value < 0 || value > 2)
        throw RuntimeError::of(errorNumber::InvalidPropertyValue);
    box.setChecked(value != 0);
}

QString flag(const QCheckBox *box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void loadServer(
    QComboBox &box, SettingsStore &store, const char *variable, const SettingKey &index, const SettingKey &address)
{
    if (liveUpdateRules::serverGiven(variable))
        return;
    if (const auto typed = liveUpdateRules::mirrorAddress(readSetting(store, address)))
        chooseServer(box, *typed);
    else
        modMain::setListIndex(box, readSettingNumber(store, index));
}

void saveServer(const QComboBox &box, SettingsStore &store, const char *variable, qsizetype builtIn,
    const SettingKey &index, const SettingKey &address)
{
    if (liveUpdateRules::serverGiven(variable))
        return;
    const bool typed = box.currentIndex() >= builtIn;
    writeSetting(store, index, typed ? 0 : box.currentIndex());
    writeSetting(store, address, typed ? box.itemText(box.currentIndex()) : QString());
}

} // namespace

void LoadOptions(MainWindowControls &c, SettingsStore &store, modMain::State &state, ErrorTrap &trap)
{
    // An application name of its own was used once; nothing there is wanted any more.
    store.removeApplication(QLatin1String(k::LegacyApplication));
    trap.step([&] {
        state.AutoLUMode = int(readSettingNumber(store, k::AutoLU));
        c.chkUpdatePatch->setChecked(state.AutoLUMode == 1 || state.AutoLUMode == 3);
        c.chkUpdateVexal->setChecked(state.AutoLUMode == 2 || state.AutoLUMode == 3);
    });
    // A server given for this run is its list's only entry: the choice stored among the mirrors is
    // neither applied nor an error, and it is kept for a start without that server.
    trap.step([&] {
        loadServer(
            *c.cboPatchServer, store, liveUpdateRules::PatchServerVariable, k::PatchServer, k::PatchServerAddress);
    });
    trap.step([&] {
        loadServer(
            *c.cboVexalServer, store, liveUpdateRules::ToolServerVariable, k::VexalServer, k::VexalServerAddress);
    });
    trap.step([&] { modMain::setListIndex(*c.cboFont, readSettingNumber(store, k::FontName)); });
    trap.step([&] { modMain::setListIndex(*c.cboSize, readSettingNumber(store, k::FontSize)); });
    trap.step([&] {
        QFont font = c.rtbPatch->font();
        font.setFamily(c.cboFont->currentText());
        // A configuration's lines are Latin text in a typewriter-like font: laid out without
        // ligatures and kerning, they spare the text shaping that was a good part of opening a file
        // (and of the start, which reopens the last one).
        font.setStyleStrategy(QFont::PreferNoShaping);
        c.rtbPatch->setFont(font);
        c.rtbGrf->setFont(font);
        c.txtFind->setFont(font);
    });
    trap.step([&] { setTicked(*c.chkColor, readSettingNumber(store, k::ColorCoding)); });
    trap.step([&] { setTicked(*c.chkAutoload, readSettingNumber(store, k::AutoLoadLast)); });
    trap.step([&] { setTicked(*c.chkVersionget, readSettingNumber(store, k::VersionGet)); });
    trap.step([&] { setTicked(*c.chkTicker, readSettingNumber(store, k::News)); });
    trap.step([&] { setTicked(*c.chkStatusbar, readSettingNumber(store, k::Statbar)); });
    trap.step([&] {
        if (!state.IsWin2000OrXP)
            return;
        if (readSettingNumber(store, k::Blend) == 1) {
            const qint64 level = readSettingNumber(store, k::nBlend);
            if (level < c.sldBlend->minimum() || level > c.sldBlend->maximum())
                throw RuntimeError::of(errorNumber::InvalidPropertyValue);
            c.sldBlend->setValue(int(level));
            c.chkBlend->setChecked(true);
        }
        c.chkBlend->setEnabled(true);
    });
    trap.step([&] {
        state.LatestStable = readSetting(store, k::LatestStable);
        state.LatestStableDate = readSetting(store, k::LatestStableDate);
        state.LatestAlpha = readSetting(store, k::LatestAlpha);
        state.LatestAlphaDate = readSetting(store, k::LatestAlphaDate);
        state.LatestVersionGot = readSetting(store, k::LatestVersionGot);
        state.LastCheckDate = readSetting(store, k::LastCheckDate);
        state.LastVexalCheckDate = readSetting(store, k::LastVexalCheckDate);
    });
}

void SaveOptions(const MainWindowControls &c, SettingsStore &store, modMain::State &state)
{
    writeSetting(store, k::Language, state.LanguageName);
    state.AutoLUMode = (c.chkUpdatePatch->isChecked() ? 1 : 0) + (c.chkUpdateVexal->isChecked() ? 2 : 0);
    writeSetting(store, k::AutoLU, state.AutoLUMode);
    saveServer(*c.cboPatchServer, store, liveUpdateRules::PatchServerVariable, liveUpdateRules::patchMirrors().size(),
        k::PatchServer, k::PatchServerAddress);
    saveServer(*c.cboVexalServer, store, liveUpdateRules::ToolServerVariable, liveUpdateRules::toolMirrors().size(),
        k::VexalServer, k::VexalServerAddress);
    writeSetting(store, k::FontName, c.cboFont->currentIndex());
    writeSetting(store, k::FontSize, c.cboSize->currentIndex());
    writeSetting(store, k::AutoLoadLast, flag(c.chkAutoload));
    writeSetting(store, k::ColorCoding, flag(c.chkColor));
    writeSetting(store, k::VersionGet, flag(c.chkVersionget));
    writeSetting(store, k::News, flag(c.chkTicker));
    writeSetting(store, k::Statbar, flag(c.chkStatusbar));
    writeSetting(store, k::Blend, flag(c.chkBlend));
    writeSetting(store, k::nBlend, state.BlendLevel);
    // The tab strip's index was 1-based; "minus 1" makes the stored value the 0-based index.
    writeSetting(store, k::Tab, c.TabStrip1->currentIndex());
    writeSetting(store, k::LatestStable, state.LatestStable);
    writeSetting(store, k::LatestStableDate, state.LatestStableDate);
    writeSetting(store, k::LatestAlpha, state.LatestAlpha);
    writeSetting(store, k::LatestAlphaDate, state.LatestAlphaDate);
    writeSetting(store, k::LatestVersionGot, state.LatestVersionGot);
    writeSetting(store, k::LastCheckDate, state.LastCheckDate);
    writeSetting(store, k::LastVexalCheckDate, state.LastVexalCheckDate);
    store.sync();
}

void ResetOptions(MainWindowControls &c)
{
    c.chkUpdatePatch->setChecked(true);
    c.chkUpdateVexal->setChecked(true);
    c.cboPatchServer->setCurrentIndex(0);
    c.cboVexalServer->setCurrentIndex(0);
    c.cboFont->setCurrentIndex(1);
    c.cboSize->setCurrentIndex(2);
    for (QCheckBox *box : {c.chkAutoload, c.chkVersionget, c.chkTicker, c.chkStatusbar, c.chkColor})
        box->setChecked(true);
    c.chkBlend->setChecked(false);
}

} // namespace options
