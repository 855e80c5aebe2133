#pragma once

#include <QString>

#include <optional>

class SettingsStore;

// What the program leaves behind for the updater before it exits: where it lives, the new file
// it downloaded, and the updater's texts in the user's language.
struct UpdatePlan {
    QString programFolder; // absolute, with one trailing '/'
    QString executableName;
    QString downloadedFile;
    QString waitingText;
    QString heading;
    QString cancelCaption;

    QString executablePath() const { return programFolder + executableName; }
    QString backupPath() const { return executablePath() + QLatin1String(".old"); }
};

namespace updatePlan {

inline constexpr char Application[] = "Brakemoor Solutions";
inline constexpr char Section[] = "VexalP";
inline constexpr char DownloadedFileName[] = "vexalpro.exe.tmp";

// The plan from the settings store and the cache folder (with trailing '/'). Without a usable
// plan, `problem` tells the user what is missing; nothing may be changed then.
std::optional<UpdatePlan> read(const SettingsStore &settings, const QString &cacheFolder, QString *problem);

} // namespace updatePlan
