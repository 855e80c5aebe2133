#include "runningprocesses.h"

#include <QDir>
#include <QFileInfo>

namespace runningProcesses {

namespace {

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : resolved;
}

bool isProcessId(const QString &name)
{
    bool number = false;
    name.toUInt(&number);
    return number;
}

} // namespace

bool runsExecutable(const QString &path)
{
    const QString wanted = canonical(path);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!isProcessId(entry))
            continue;
        // Empty for kernel threads and for processes of other users.
        const QString executable = QFile::symLinkTarget(QLatin1String("/proc/") + entry + QLatin1String("/exe"));
        if (!executable.isEmpty() && canonical(executable) == wanted)
            return true;
    }
    return false;
}

} // namespace runningProcesses
