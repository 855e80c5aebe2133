#include "systemlibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>

#include <algorithm>

namespace {

// The folders listed in the loader's configuration (Debian's multiarch folders are there).
QStringList configuredFolders(const QString &configuration)
{
    QStringList folders;
    const QDir conf(configuration);
    for (const QString &name : conf.entryList(QDir::Files, QDir::Name)) {
        QFile file(conf.filePath(name));
        if (!name.endsWith(QLatin1String(".conf")) || !file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        while (!file.atEnd()) {
            const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('/')))
                folders.append(line);
        }
    }
    return folders;
}

} // namespace

bool SystemLibrary::installed(const QString &name, int majorVersion, const QString &loaderConfiguration)
{
    // In the loader's order: the environment's folders, the configured ones, the default ones.
    QStringList folders = qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders += configuredFolders(loaderConfiguration);
    folders += {QLibraryInfo::path(QLibraryInfo::LibrariesPath), QStringLiteral("/lib64"),
        QStringLiteral("/usr/lib64"), QStringLiteral("/lib"), QStringLiteral("/usr/lib")};
    const QString file = QStringLiteral("/lib%1.so.%2").arg(name).arg(majorVersion);
    return std::any_of(folders.cbegin(), folders.cend(),
        [&file](const QString &folder) { return QFileInfo(folder + file).isFile(); });
}
