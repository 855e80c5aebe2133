#include "registryaccess.h"

#include "common/errortrap.h"
#include "common/modmain.h"
#include "platform/dialogs.h"
#include "platform/textcodec.h"

RegistryAccess::RegistryAccess(Dialogs &dialogs, QWidget *parent, QString prefix, QString serverRoot)
    : m_dialogs(dialogs)
    , m_parent(parent)
    , m_prefix(std::move(prefix))
    , m_serverRoot(std::move(serverRoot))
{ }

bool RegistryAccess::load()
{
    if (m_registry)
        return true;
    m_registry = WineRegistry::load(fileName(), &m_lastError);
    return m_registry.has_value();
}

bool RegistryAccess::serverRunning() const
{
    return wine::serverRunning(m_prefix, m_serverRoot);
}

QString RegistryAccess::whyNotWritable()
{
    if (!load())
        return m_lastError;
    if (serverRunning())
        return QStringLiteral("Wine is running for the prefix %1 and would overwrite any change when it stops.")
            .arg(m_prefix);
    return {};
}

void RegistryAccess::showError(const QString &what, const QString &name) const
{
    if (ShowRegistryErrors)
        m_dialogs.message(m_parent,
            {QStringLiteral("Registry Error"), what + QLatin1String(": \"") + name + QLatin1Char('"'),
                MessageIcon::Critical});
}

quint32 RegistryAccess::CreateKey(quint32 ROOT, const QString &SubKey)
{
    // The game is a 32-bit program: in a 64-bit prefix Wine keeps its machine keys apart.
    if (ROOT != HKEY_LOCAL_MACHINE || !load()) {
        showError(QStringLiteral("Unable to open registry key"), SubKey);
        return 0;
    }
    const QString path = m_registry->keyFor32BitProgram(SubKey);
    m_registry->createKey(path);
    const quint32 handle = m_nextHandle++;
    m_keys[handle] = {path, false};
    return handle;
}

void RegistryAccess::unsupportedType(quint32 hkey)
{
    RegCloseKey(hkey);
    throw RuntimeError {errorNumber::UnsupportedValueType, QStringLiteral("Unsupported Value Type")};
}

QVariant RegistryAccess::ReadKeyValue(quint32 hkey, const QString &ValueName)
{
    const auto key = m_keys.find(hkey);
    std::optional<WineRegistry::Value> value;
    if (key != m_keys.end())
        value = m_registry->value(key->second.path, ValueName);
    if (!value)
        showError(QStringLiteral("Unable to read registry value"), ValueName);
    switch (value ? value->type : quint32(WineRegistry::None)) {
    case WineRegistry::String: {
        // The game reads the text into a buffer of its own, ending with a NUL.
        const TextCodec codec(modMain::state().AnsiCodePage);
        QByteArray ansi = codec.encode(value->text);
        if (ansi.size() >= ReadBufferSize) {
            showError(QStringLiteral("Unable to read registry value"), ValueName);
            ansi.truncate(ReadBufferSize - 1);
        }
        return codec.decode(ansi);
    }
    case WineRegistry::Dword: return QVariant(qint32(value->number));
    default: unsupportedType(hkey);
    }
}

qint32 RegistryAccess::SetKeyValue(quint32 hkey, const QString &ValueName, const QVariant &regData, int tType)
{
    if (tType != WineRegistry::String && tType != WineRegistry::Dword)
        unsupportedType(hkey);
    qint32 result = 0;
    const auto key = m_keys.find(hkey);
    bool isNumber = false;
    const qint32 number = regData.toInt(&isNumber);
    if (tType == WineRegistry::String && regData.typeId() != QMetaType::QString)
        result = NotText;
    else if (tType == WineRegistry::Dword && !isNumber)
        throw RuntimeError::of(errorNumber::TypeMismatch);
    else if (key == m_keys.end())
        result = InvalidHandle;
    else if (serverRunning())
        result = AccessDenied;
    if (result == 0) {
        if (tType == WineRegistry::String)
            m_registry->setString(key->second.path, ValueName, regData.toString());
        else
            m_registry->setDword(key->second.path, ValueName, quint32(number));
        key->second.changed = true;
    }
    if (result != 0)
        showError(QStringLiteral("Unable to write registry value"), ValueName);
    return result;
}

qint32 RegistryAccess::RegCloseKey(quint32 hkey)
{
    const auto key = m_keys.find(hkey);
    if (key == m_keys.end())
        return InvalidHandle;
    const bool changed = key->second.changed;
    m_keys.erase(key);
    if (changed && !m_registry->save(&m_lastError))
        return 1;
    return 0;
}
