#pragma once

// What the fault tests' stand-in programs save, known to the tests as well.
#include <QList>
#include <QString>

#include <utility>

namespace faultData {

inline constexpr char SettingsApplication[] = "Brakemoor Solutions";
inline constexpr char SettingsSection[] = "VexalP";
inline constexpr char RegistryKey[] = "Software\\Vexal Fault";

// A text of that length whose lines differ, so that a piece of it in the wrong place would show.
inline QString text(qsizetype length)
{
    QString out;
    out.reserve(length);
    for (int line = 0; out.size() < length; ++line)
        out += QStringLiteral("line %1 of the saved text; ").arg(line);
    out.truncate(length);
    return out;
}

using Values = QList<std::pair<QString, QString>>;

// As the program has them before the save...
inline Values oldSettings()
{
    return {{QStringLiteral("Recent1"), QStringLiteral("/games/old/ttdpatch.cfg")},
        {QStringLiteral("Tab"), QStringLiteral("1")}, {QStringLiteral("Kept"), QStringLiteral("untouched")}};
}

// ...and what the save writes: changed values and new ones that need escaping.
inline Values newSettings()
{
    return {{QStringLiteral("Recent1"), QStringLiteral("/games/new, \"quoted\"/ttdpatch.cfg")},
        {QStringLiteral("Tab"), QStringLiteral("3")}, {QStringLiteral("Path"), QStringLiteral("C:\\TTD\\ ñ ; x")},
        {QStringLiteral("Long"), text(600)}};
}

} // namespace faultData
