#include "startup.h"

#include "platform/systeminfo.h"
#include "platform/systemlibrary.h"

#include <QStandardPaths>

StartupEnvironment StartupEnvironment::current()
{
    StartupEnvironment env;
    env.osName = systemInfo::osName();
    env.programFolder = systemInfo::programFolder();
    env.systemFolder = systemInfo::systemFolder();
    env.cacheFolder = systemInfo::cacheFolder();
    env.localeLanguageName = systemInfo::localeLanguageName();
    env.ansiCodePage = systemInfo::ansiCodePage();
    env.translucency = true;
    env.onNetworkFileSystem = systemInfo::isOnNetworkFileSystem(env.programFolder);
    return env;
}

QList<Component> standardComponents()
{
    // The widgets and the rich editors are linked into the program and cannot be missing when it
    // runs. These are found only at run time; without the zip library no update can be installed.
    // The libraries are looked for, not loaded: each is loaded when first used.
    return {{ZipLibraryComponent, QStringLiteral("Zip library for installing TTDPatch updates (libzip4)"),
                [] { return SystemLibrary::installed(QStringLiteral("zip"), 4); }},
        {QStringLiteral("LIBSSL.SO.3"), QStringLiteral("OpenSSL library for secure downloads (libssl3)"),
                [] { return SystemLibrary::installed(QStringLiteral("ssl"), 3); }},
        {QStringLiteral("XDG-OPEN"), QStringLiteral("Desktop helper that opens web pages and mail (xdg-utils)"),
            [] { return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty(); }}};
}
