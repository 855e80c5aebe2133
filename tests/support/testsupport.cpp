#include "testsupport.h"

#include <QDir>
#include <QSettings>

bool RecordingShell::openDocument(const QString &pathOrUrl)
{
    calls.append({Call::Kind::Open, pathOrUrl, {}, {}, {}});
    return result;
}

bool RecordingShell::startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder,
                                  WindowMode)
{
    calls.append({Call::Kind::Start, program, arguments, workingFolder, {}});
    return result;
}

bool RecordingShell::runToFile(const QString &program, const QStringList &arguments, const QString &workingFolder,
                               const QString &outputFile)
{
    calls.append({Call::Kind::RunToFile, program, arguments, workingFolder, outputFile});
    return result;
}

TestServices::TestServices()
{
    modMain::resetState();
    QDir(root()).mkpath(QStringLiteral("settings"));
    QDir(root()).mkpath(QStringLiteral("program"));
    reopenSettings();
}

TestServices::~TestServices() = default;

QString TestServices::settingsFile() const
{
    return QDir(settingsFolder()).filePath(QStringLiteral("Brakemoor Solutions.ini"));
}

void TestServices::reopenSettings()
{
    services.reset();
    settings.reset();
    settings = std::make_unique<SettingsStore>(settingsFolder());
    services = std::make_unique<Services>(
        Services{dialogs, shell, clock, probe, *settings, [this] { ++endProgramCalls; }});
}

void TestServices::presetSettings(const QList<std::pair<QString, QString>> &values)
{
    {
        QSettings file(settingsFile(), QSettings::IniFormat);
        for (const auto &[key, value] : values)
            file.setValue(QStringLiteral("VexalP/") + key, value);
    }
    reopenSettings();
}

StartupEnvironment TestServices::environment(const QString &localeLanguage) const
{
    StartupEnvironment env;
    env.osName = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    env.programFolder = QDir(root()).filePath(QStringLiteral("program")) + QLatin1Char('/');
    env.systemFolder = QStringLiteral("/usr/");
    env.cacheFolder = QDir(root()).filePath(QStringLiteral("cache/vexalp")) + QLatin1Char('/');
    env.localeLanguageName = localeLanguage;
    env.ansiCodePage = QStringLiteral("1252");
    env.translucency = true;
    env.onNetworkFileSystem = false;
    return env;
}

QList<Component> testComponents(const QString &missing)
{
    QList<Component> components;
    for (const char *name : {"LIBSSL.SO.3", "XDG-OPEN"}) {
        const QString file = QString::fromLatin1(name);
        components.append({file, file + QLatin1String(" for tests"), [file, missing] { return file != missing; }});
    }
    return components;
}
