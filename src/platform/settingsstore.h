#pragma once

#include <QString>

#include <map>
#include <memory>

class QSettings;

// The per-user store of string values addressed by application, section and key: one INI file per
// application name in one folder. Every value comes back exactly as written.
//
// A file that cannot be read or parsed reads as empty (every key takes its default); before the
// first write it is moved aside to "<name>.ini.bad", so a damaged file is never lost.
class SettingsStore {
public:
    // The folder: $VEXALP_SETTINGS_DIR when set, otherwise the user's configuration folder.
    static QString defaultFolder();
    static constexpr const char *FolderVariable = "VEXALP_SETTINGS_DIR";

    explicit SettingsStore(QString folder = defaultFolder());
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    QString folder() const { return m_folder; }
    QString filePath(const QString &application) const;

    QString read(
        const QString &application, const QString &section, const QString &key, const QString &defaultValue) const;
    bool contains(const QString &application, const QString &section, const QString &key) const;
    // Values reach the file at sync() or when the store is destroyed.
    void write(const QString &application, const QString &section, const QString &key, const QString &value);
    // Returns false when there was nothing to remove.
    bool removeApplication(const QString &application);
    // Returns false when a file could not be written.
    bool sync();

private:
    struct File {
        std::unique_ptr<QSettings> settings;
        bool damaged = false;
    };
    File &file(const QString &application) const;

    QString m_folder;
    mutable std::map<QString, File> m_files;
};
