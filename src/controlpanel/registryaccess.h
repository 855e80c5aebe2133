#pragma once

#include "platform/wineregistry.h"

#include <QString>
#include <QVariant>

#include <map>
#include <optional>

class Dialogs;
class QWidget;

// The game's settings in the machine registry of its Wine prefix, reached the way the game's own
// Windows calls reach them: open a key for a handle, read and write text and 32-bit values, close.
class RegistryAccess {
public:
    static constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002;
    // Query, set, create sub-key, enumerate, notify and create link.
    static constexpr quint32 KeyAccess = 63;
    static constexpr int ReadBufferSize = 1024;
    // Windows' codes for the failures a write reports.
    static constexpr qint32 AccessDenied = 5;
    static constexpr qint32 InvalidHandle = 6;
    static constexpr qint32 NotText = 7;

    // The registry of this prefix; `serverRoot` is where Wine keeps its server folders.
    RegistryAccess(Dialogs &dialogs, QWidget *parent, QString prefix, QString serverRoot = QStringLiteral("/tmp"));

    // Failed opens, reads and writes show a "Registry Error" box while this is set.
    bool ShowRegistryErrors = false;

    // The opened or newly created key; 0 when it cannot be opened.
    quint32 CreateKey(quint32 ROOT, const QString &SubKey);
    // Text or a 32-bit number; any other type (a failed query too) closes the key and raises 1001.
    QVariant ReadKeyValue(quint32 hkey, const QString &ValueName);
    // 0 on success, else a nonzero code; a type other than 1 or 4 closes the key and raises 1001.
    qint32 SetKeyValue(quint32 hkey, const QString &ValueName, const QVariant &regData, int tType);
    // Closing a changed key writes the registry file: 0, or 1 with lastError() saying why.
    qint32 RegCloseKey(quint32 hkey);

    // Why the registry cannot be written now (a running wineserver, a damaged file); empty when it can.
    QString whyNotWritable();
    bool serverRunning() const;
    QString lastError() const { return m_lastError; }
    QString prefix() const { return m_prefix; }
    QString fileName() const { return m_prefix + QLatin1String("system.reg"); }

private:
    struct OpenKey {
        QString path;
        bool changed = false;
    };
    bool load();
    void showError(const QString &what, const QString &name) const;
    [[noreturn]] void unsupportedType(quint32 hkey);

    Dialogs &m_dialogs;
    QWidget *m_parent;
    QString m_prefix;
    QString m_serverRoot;
    std::optional<WineRegistry> m_registry;
    std::map<quint32, OpenKey> m_keys;
    quint32 m_nextHandle = 0x100;
    QString m_lastError;
};
