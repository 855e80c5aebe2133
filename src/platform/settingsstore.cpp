#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {
QString groupKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

// QSettings reads a double quote left open on past the line's end, swallowing the keys after it
// without any error; what it writes itself is always escaped or paired. Its reading is followed:
// a backslash escapes the next character and ';' outside quotes starts a comment.
bool hasOpenQuote(const QByteArray &line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ';' && !quoted)
            break;
    }
    return quoted;
}

// QSettings reads nearly anything as INI: it flags only an unterminated section header, and a
// second QSettings on the same file in one process reuses the cached parse without that flag. So
// the bytes are judged here too: a settings file is text, and text holds no NUL.
bool looksDamaged(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return true;
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = line.trimmed();
        if ((trimmed.startsWith('[') && !trimmed.contains(']')) || hasOpenQuote(trimmed))
            return true;
    }
    return false;
}
} // namespace

QString SettingsStore::defaultFolder()
{
    const QString fromEnvironment = qEnvironmentVariable(FolderVariable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/vexalpro");
}

SettingsStore::SettingsStore(QString folder)
    : m_folder(std::move(folder))
{ }

SettingsStore::~SettingsStore()
{
    sync();
}

QString SettingsStore::filePath(const QString &application) const
{
    return QDir(m_folder).filePath(application + QLatin1String(".ini"));
}

SettingsStore::File &SettingsStore::file(const QString &application) const
{
    auto it = m_files.find(application);
    if (it != m_files.end())
        return it->second;
    File entry;
    entry.settings = std::make_unique<QSettings>(filePath(application), QSettings::IniFormat);
    entry.damaged = entry.settings->status() != QSettings::NoError || looksDamaged(filePath(application));
    return m_files.emplace(application, std::move(entry)).first->second;
}

QString SettingsStore::read(
    const QString &application, const QString &section, const QString &key, const QString &defaultValue) const
{
    File &f = file(application);
    if (f.damaged)
        return defaultValue;
    const QVariant value = f.settings->value(groupKey(section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-edited value with bare commas parses as a list; we only ever store single texts.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

bool SettingsStore::contains(const QString &application, const QString &section, const QString &key) const
{
    File &f = file(application);
    return !f.damaged && f.settings->contains(groupKey(section, key));
}

void SettingsStore::write(const QString &application, const QString &section, const QString &key, const QString &value)
{
    File &f = file(application);
    if (f.damaged) {
        const QString path = filePath(application);
        const QString keep = path + QLatin1String(".bad");
        QFile::remove(keep);
        QFile::rename(path, keep);
        f.settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        f.damaged = false;
    }
    QDir().mkpath(m_folder);
    f.settings->setValue(groupKey(section, key), value);
}

bool SettingsStore::removeApplication(const QString &application)
{
    m_files.erase(application);
    return QFile::remove(filePath(application));
}

bool SettingsStore::sync()
{
    bool ok = true;
    for (auto &[name, f] : m_files) {
        if (f.damaged)
            continue;
        f.settings->sync();
        ok = ok && f.settings->status() == QSettings::NoError;
    }
    return ok;
}
