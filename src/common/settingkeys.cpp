#include "settingkeys.h"

#include "basictext.h"
#include "platform/settingsstore.h"

QString readSetting(const SettingsStore &store, const SettingKey &key)
{
    return store.read(QLatin1String(settingKeys::Application), QLatin1String(key.section), QLatin1String(key.name),
        QString::fromUtf8(key.defaultValue));
}

qint64 readSettingNumber(const SettingsStore &store, const SettingKey &key)
{
    return basicText::leadingNumber(readSetting(store, key));
}

void writeSetting(SettingsStore &store, const SettingKey &key, const QString &value)
{
    store.write(QLatin1String(settingKeys::Application), QLatin1String(key.section), QLatin1String(key.name), value);
}

void writeSetting(SettingsStore &store, const SettingKey &key, qint64 value)
{
    writeSetting(store, key, QString::number(value));
}

executables::Runners runnersFrom(const SettingsStore &store)
{
    return {readSetting(store, settingKeys::WindowsRunner), readSetting(store, settingKeys::DosRunner)};
}
