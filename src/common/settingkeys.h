#pragma once

#include "platform/executables.h"

#include <QString>

class SettingsStore;

// Every key the program keeps in the settings store, with its section and default, in one table.
struct SettingKey {
    const char *section;
    const char *name;
    const char *defaultValue;
};

namespace settingKeys {

inline constexpr const char *Application = "Brakemoor Solutions";
// An application name of its own that earlier versions wrote to; emptied at every start.
inline constexpr const char *LegacyApplication = "VexalP";

inline constexpr const char *Section = "VexalP";

inline constexpr SettingKey Language {Section, "Language", "---"};
inline constexpr SettingKey AutoLU {Section, "AutoLU", "3"};
inline constexpr SettingKey PatchServer {Section, "PatchServer", "0"};
inline constexpr SettingKey VexalServer {Section, "VexalServer", "0"};
// A server address typed in the Settings tab, chosen instead of the list's entries; empty when none.
inline constexpr SettingKey PatchServerAddress {Section, "PatchServerAddress", ""};
inline constexpr SettingKey VexalServerAddress {Section, "VexalServerAddress", ""};
inline constexpr SettingKey FontName {Section, "FontName", "1"};
inline constexpr SettingKey FontSize {Section, "FontSize", "2"};
inline constexpr SettingKey ColorCoding {Section, "ColorCoding", "1"};
inline constexpr SettingKey AutoLoadLast {Section, "AutoLoadLast", "1"};
inline constexpr SettingKey VersionGet {Section, "VersionGet", "1"};
inline constexpr SettingKey News {Section, "News", "1"};
inline constexpr SettingKey Statbar {Section, "Statbar", "1"};
inline constexpr SettingKey Blend {Section, "Blend", "0"};
inline constexpr SettingKey nBlend {Section, "nBlend", "200"};
inline constexpr SettingKey Tab {Section, "Tab", "0"};
inline constexpr SettingKey LatestStable {Section, "LatestStable", "TTDPatch 2.0 rev 1"};
inline constexpr SettingKey LatestStableDate {Section, "LatestStableDate", "October 24, 2003"};
inline constexpr SettingKey LatestAlpha {Section, "LatestAlpha", "2.0.1 alpha 29"};
inline constexpr SettingKey LatestAlphaDate {Section, "LatestAlphaDate", "June 25, 2004"};
inline constexpr SettingKey LatestVersionGot {Section, "LatestVersionGot", ""};
inline constexpr SettingKey LastCheckDate {Section, "LastCheckDate", "May 6, 2004"};
inline constexpr SettingKey LastVexalCheckDate {Section, "LastVexalCheckDate", ""};
inline constexpr SettingKey Recent1 {Section, "Recent1", "---"};
inline constexpr SettingKey Recent2 {Section, "Recent2", "---"};
inline constexpr SettingKey WinTempPath {Section, "WinTempPath", ""};
inline constexpr SettingKey PatchVersion {Section, "PatchVersion", "(unknown TTDPatch version)"};
inline constexpr SettingKey PatchVersionSize {Section, "PatchVersionSize", "1"};
inline constexpr SettingKey TTDAlter {Section, "TTDAlter", "---"};
inline constexpr SettingKey AppPath {Section, "AppPath", ""};
inline constexpr SettingKey AppExeName {Section, "AppExeName", ""};
inline constexpr SettingKey msg1 {Section, "msg1", ""};
inline constexpr SettingKey msg2 {Section, "msg2", ""};
inline constexpr SettingKey msg3 {Section, "msg3", ""};
// How Windows and DOS programs are started on Linux: command templates (see executables.h).
inline constexpr SettingKey WindowsRunner {Section, "WindowsRunner", "wine"};
inline constexpr SettingKey DosRunner {Section, "DosRunner", "dosbox"};

// The companion tools' own sections; their defaults are built from the program folder.
inline constexpr const char *PlovenSection = "PLVN";
inline constexpr const char *NarwickSection = "NRWK";
inline constexpr const char *LocationKey = "Location";

} // namespace settingKeys

QString readSetting(const SettingsStore &store, const SettingKey &key);
// The leading number of the stored text (0 when it has none).
qint64 readSettingNumber(const SettingsStore &store, const SettingKey &key);
void writeSetting(SettingsStore &store, const SettingKey &key, const QString &value);
void writeSetting(SettingsStore &store, const SettingKey &key, qint64 value);
// The configured runners: every start of a Windows or DOS program uses them, so a changed Wine or
// DOSBox command applies to the game, the patch's version query and the tools alike.
executables::Runners runnersFrom(const SettingsStore &store);
