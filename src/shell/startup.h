#pragma once

#include <QList>
#include <QString>

#include <functional>

// What start-up learns about the machine; tests give their own.
struct StartupEnvironment {
    QString osName;
    QString programFolder; // with a trailing '/'
    QString systemFolder; // with a trailing '/'
    QString cacheFolder; // with a trailing '/'
    QString localeLanguageName; // e.g. "SPANISH"
    QString ansiCodePage; // e.g. "1252"
    bool translucency = true; // the desktop can make windows translucent
    bool onNetworkFileSystem = false;

    static StartupEnvironment current();
};

// A separately installed piece the program needs and that can be missing.
struct Component {
    QString fileName;
    QString description;
    std::function<bool()> present;
};
// What this Linux build checks: the pieces it loads or runs at run time rather than links.
QList<Component> standardComponents();
// The row of the zip library: a person who starts without it can still do everything but install
// an update.
inline const QString ZipLibraryComponent = QStringLiteral("LIBZIP.SO.4");
