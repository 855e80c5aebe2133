#include "runningprocesses.h"

#include "platform/systeminfo.h"

#include <QDir>
#include <QFileInfo>

namespace runningProcesses {

namespace {

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : resolved;
}

} // namespace

bool runsExecutable(const QString &path)
{
    const QString wanted = canonical(path);
    for (const QString &entry : systemInfo::runningProcessIds()) {
        // Empty for kernel threads and for processes of other users.
        const QString executable = QFile::symLinkTarget(QLatin1String("/proc/") + entry + QLatin1String("/exe"));
        if (!executable.isEmpty() && canonical(executable) == wanted)
            return true;
    }
    return false;
}

} // namespace runningProcesses
