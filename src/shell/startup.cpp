#include "startup.h"

#include "platform/systeminfo.h"

#include <QSslSocket>
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
    // The zip library, the widgets and the rich editors are linked into the program and cannot
    // be missing when it runs. These two are found only at run time.
    return {{QStringLiteral("LIBSSL.SO.3"), QStringLiteral("OpenSSL library for secure downloads (libssl3)"),
                [] { return QSslSocket::supportsSsl(); }},
        {QStringLiteral("XDG-OPEN"), QStringLiteral("Desktop helper that opens web pages and mail (xdg-utils)"),
            [] { return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty(); }}};
}

WindowsVersion detectWindowsVersion(int major, int minor, int platform)
{
    WindowsVersion v;
    if (major == 4 && minor == 0 && platform == 1)
        v.OSName = QStringLiteral("Windows 95");
    else if (major == 4 && minor == 10)
        v.OSName = QStringLiteral("Windows 98");
    else if (major == 4 && minor == 90)
        v.OSName = QStringLiteral("Windows ME");
    else if (major == 3 && minor == 51)
        v.OSName = QStringLiteral("Windows NT 3.51");
    else if (major == 4 && minor == 0 && platform == 2)
        v.OSName = QStringLiteral("Windows NT 4.0");
    else if (major == 5 && minor == 0)
        v = {QStringLiteral("Windows 2000"), true, {}};
    else if (major == 5 && minor == 1)
        v = {QStringLiteral("Windows XP"), true, {}};
    v.ShellPrefix = v.IsWin2000OrXP ? QStringLiteral("cmd.exe /c ") : QStringLiteral("command.com /c ");
    return v;
}
