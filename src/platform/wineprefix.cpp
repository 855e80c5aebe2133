#include "platform/wineregistry.h"

#include "platform/systeminfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace wine {

QString prefixFor(const QString &gameFolder)
{
    // The innermost prefix wins when one prefix lies inside another's drive_c.
    const QString folder = QDir::cleanPath(gameFolder) + u'/';
    const qsizetype at = folder.lastIndexOf(QLatin1String("/drive_c/"));
    if (at >= 0)
        return folder.left(at + 1);
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    prefix = QDir::cleanPath(prefix);
    return prefix.endsWith(u'/') ? prefix : prefix + u'/';
}

QString windowsPathFor(const QString &prefix, const QString &folder)
{
    const QFileInfo folderInfo(folder);
    QString target = folderInfo.canonicalFilePath();
    if (target.isEmpty())
        target = QDir::cleanPath(folderInfo.absoluteFilePath());

    struct Drive {
        QChar letter;
        QString root;
    };
    QList<Drive> drives;
    const QDir devices(QDir(prefix).filePath(QStringLiteral("dosdevices")));
    if (devices.exists()) {
        // Broken links are listed as system entries; they have no canonical path and drop out.
        const QFileInfoList entries
            = devices.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (name.size() != 2 || name[1] != u':' || name[0].toLower() < u'a' || name[0].toLower() > u'z')
                continue;
            const QString root = entry.canonicalFilePath();
            if (!root.isEmpty())
                drives.append({name[0].toUpper(), root});
        }
    } else {
        const QString root = QFileInfo(QDir(prefix).filePath(QStringLiteral("drive_c"))).canonicalFilePath();
        if (!root.isEmpty())
            drives.append({QChar(u'C'), root});
    }

    const Drive *best = nullptr;
    QString relative;
    for (const Drive &drive : std::as_const(drives)) {
        const QString root = drive.root.endsWith(u'/') ? drive.root : drive.root + u'/';
        if (target != drive.root && !target.startsWith(root))
            continue;
        if (best && best->root.size() >= drive.root.size())
            continue;
        best = &drive;
        relative = target.mid(root.size());
    }
    if (!best)
        return {};
    QString path = best->letter + QStringLiteral(":\\") + relative.replace(u'/', u'\\');
    return path.endsWith(u'\\') ? path : path + u'\\';
}

// Wine's server keeps the prefix's registry in memory and lives in
// <serverRoot>/.wine-<uid>/server-<device>-<inode> of the prefix folder, which is its working folder.
bool serverRunning(const QString &prefix, const QString &serverRoot)
{
    struct stat info { };
    if (::stat(QFile::encodeName(prefix).constData(), &info) != 0)
        return false;
    const QString folder
        = QStringLiteral("%1/.wine-%2/server-%3-%4")
              .arg(serverRoot)
              .arg(::getuid())
              .arg(QString::number(quint64(info.st_dev), 16), QString::number(quint64(info.st_ino), 16));
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    const QByteArray wanted = QFile::encodeName(canonical);
    for (const QString &pid : systemInfo::runningProcessIds()) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        // Debian installs the server as wineserver32 and wineserver64.
        const QByteArray name = comm.readAll().trimmed();
        if (name != "wineserver" && name != "wineserver32" && name != "wineserver64")
            continue;
        char cwd[PATH_MAX];
        const ssize_t length
            = ::readlink(QFile::encodeName(QStringLiteral("/proc/%1/cwd").arg(pid)).constData(), cwd, sizeof cwd);
        if (length > 0 && QByteArrayView(cwd, length) == wanted)
            return true;
    }
    return false;
}

} // namespace wine
