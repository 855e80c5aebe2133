// Stand-in program for the fault tests: the program's own saves of its settings and of a Wine
// registry, one per run.
//
//   fault-platform-save settings <settings folder>
//       writes the values of newSettings() through SettingsStore and syncs them.
//   fault-platform-save registry <system.reg> <value length> [<expected file>]
//       sets a text of that length and a number under Software\Vexal Fault and saves; with an
//       expected file, first writes there the bytes the save is about to put in place (the keys'
//       times make them differ from run to run).
//
// Exit codes: 0 saved, 1 the save failed (its message on standard error), 2 bad call or input.
#include "faultdata.h"

#include "platform/settingsstore.h"
#include "platform/wineregistry.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int say(int code, const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return code;
}

int saveSettings(const QString &folder)
{
    SettingsStore store(folder);
    for (const auto &[key, value] : faultData::newSettings())
        store.write(QString::fromLatin1(faultData::SettingsApplication),
            QString::fromLatin1(faultData::SettingsSection), key, value);
    return store.sync() ? 0 : say(1, QStringLiteral("The settings could not be saved in %1.").arg(folder));
}

int saveRegistry(const QString &path, qsizetype length, const QString &expected)
{
    QString error;
    std::optional<WineRegistry> registry = WineRegistry::load(path, &error);
    if (!registry)
        return say(2, error);
    registry->setString(QString::fromLatin1(faultData::RegistryKey), QStringLiteral("Data"), faultData::text(length));
    registry->setDword(QString::fromLatin1(faultData::RegistryKey), QStringLiteral("Length"), quint32(length));
    if (!expected.isEmpty()) {
        QFile file(expected);
        if (!file.open(QIODevice::WriteOnly) || file.write(registry->serialized()) != registry->serialized().size())
            return say(2, QStringLiteral("cannot write %1").arg(expected));
    }
    return registry->save(&error) ? 0 : say(1, error);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QLatin1String("settings"))
        return saveSettings(arguments[2]);
    bool number = false;
    const qsizetype length = arguments.size() >= 4 ? arguments[3].toLongLong(&number) : 0;
    if (arguments.size() >= 4 && arguments.size() <= 5 && arguments[1] == QLatin1String("registry") && number)
        return saveRegistry(arguments[2], length, arguments.value(4));
    return say(2,
        QStringLiteral("usage: fault-platform-save settings <folder> | registry <system.reg> <length> [<expected>]"));
}
