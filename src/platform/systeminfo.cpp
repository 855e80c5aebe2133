#include "systeminfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysinfo.h>

namespace systemInfo {

namespace {
QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// The mount whose mount point is the longest prefix of the path, from /proc/self/mountinfo:
// its file system type, e.g. "fuse.sshfs".
QString mountTypeOf(const QString &path)
{
    QFile info(QStringLiteral("/proc/self/mountinfo"));
    if (!info.open(QIODevice::ReadOnly))
        return {};
    QString best;
    int bestLength = -1;
    const QList<QByteArray> lines = info.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const int dash = int(fields.indexOf("-"));
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        const QString mountPoint = QString::fromUtf8(fields[4]);
        const bool under = path == mountPoint || path.startsWith(withSlash(mountPoint));
        if (under && mountPoint.size() > bestLength) {
            bestLength = int(mountPoint.size());
            best = QString::fromUtf8(fields[dash + 1]);
        }
    }
    return best;
}
} // namespace

QString osName()
{
    return QSysInfo::prettyProductName();
}

QString programFolder()
{
    return withSlash(QCoreApplication::applicationDirPath());
}

QString programFileName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QString systemFolder()
{
    return withSlash(QLibraryInfo::path(QLibraryInfo::PrefixPath));
}

QString cacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1String("/.cache");
    return withSlash(base) + QLatin1String("vexalp/");
}

QStringList runningProcessIds()
{
    QStringList ids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ids.removeIf([](const QString &name) {
        bool number = false;
        name.toUInt(&number);
        return !number;
    });
    return ids;
}

bool createPrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    if (::mkdir(native.constData(), 0700) == 0)
        return true;
    return QFileInfo(path).isDir();
}

QString localeLanguageName(const QLocale &locale)
{
    return QLocale::languageToString(locale.language()).toUpper();
}

QString ansiCodePage(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Japanese: return QStringLiteral("932");
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ? QStringLiteral("950") : QStringLiteral("936");
    case QLocale::Korean: return QStringLiteral("949");
    case QLocale::Thai: return QStringLiteral("874");
    case QLocale::Czech:
    case QLocale::Hungarian:
    case QLocale::Polish:
    case QLocale::Slovak:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Albanian:
    case QLocale::Bosnian: return QStringLiteral("1250");
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Macedonian:
    case QLocale::Serbian:
    case QLocale::Kazakh: return QStringLiteral("1251");
    case QLocale::Greek: return QStringLiteral("1253");
    case QLocale::Turkish:
    case QLocale::Azerbaijani: return QStringLiteral("1254");
    case QLocale::Hebrew: return QStringLiteral("1255");
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu: return QStringLiteral("1256");
    case QLocale::Estonian:
    case QLocale::Latvian:
    case QLocale::Lithuanian: return QStringLiteral("1257");
    case QLocale::Vietnamese: return QStringLiteral("1258");
    default: return QStringLiteral("1252");
    }
}

std::optional<quint64> availableMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        while (!meminfo.atEnd()) {
            const QByteArray line = meminfo.readLine();
            if (line.startsWith("MemAvailable:")) {
                bool ok = false;
                const quint64 kb = line.mid(13).trimmed().split(' ').value(0).toULongLong(&ok);
                if (ok)
                    return kb * 1024;
            }
        }
    }
    struct sysinfo info { };
    if (::sysinfo(&info) == 0)
        return quint64(info.freeram) * info.mem_unit;
    return std::nullopt;
}

bool isNetworkFileSystemType(unsigned long magic, const QString &fuseSubtype)
{
    switch (magic) {
    case 0x6969UL: // NFS
    case 0x517BUL: // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x01021997UL: // 9P
        return true;
    case 0x65735546UL: // FUSE: only the network ones
        return fuseSubtype.endsWith(QLatin1String("sshfs")) || fuseSubtype.endsWith(QLatin1String("smbnetfs"))
            || fuseSubtype.endsWith(QLatin1String("curlftpfs"));
    default: return false;
    }
}

bool isOnNetworkFileSystem(const QString &path)
{
    if (path.startsWith(QLatin1String("//")))
        return true;
    struct statfs fs { };
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0)
        return false;
    const auto magic = static_cast<unsigned long>(fs.f_type);
    return isNetworkFileSystemType(magic, magic == 0x65735546UL ? mountTypeOf(QDir::cleanPath(path)) : QString());
}

} // namespace systemInfo
