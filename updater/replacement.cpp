#include "replacement.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t ProgramMode = 0755;
constexpr qint64 ChunkSize = 1 << 16;

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Test hook: VEXALP_UPDATER_FAIL_AT=<step> makes that step fail as if the file system had refused
// it, so that tests can show that every failure leaves the previous program in place.
bool injected(const char *step, QString *why)
{
    static const QByteArray failAt = qgetenv("VEXALP_UPDATER_FAIL_AT");
    if (failAt != step)
        return false;
    *why = reason(EACCES);
    return true;
}

bool copyBytes(const QString &from, QFile &to, QString *why)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *why = source.errorString();
        return false;
    }
    for (QByteArray chunk = source.read(ChunkSize); !chunk.isEmpty(); chunk = source.read(ChunkSize)) {
        if (to.write(chunk) != chunk.size()) {
            *why = to.errorString();
            return false;
        }
    }
    // An empty read also ends the loop on a read error.
    if (source.error() != QFileDevice::NoError) {
        *why = source.errorString();
        return false;
    }
    return true;
}

bool syncToDisk(QFile &file, QString *why)
{
    if (!file.flush()) {
        *why = file.errorString();
        return false;
    }
    if (::fsync(file.handle()) != 0) {
        *why = reason(errno);
        return false;
    }
    return true;
}

// Without this a crash right after the rename could still bring back the old directory entry.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a), second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(ChunkSize);
        if (chunk.isEmpty() || chunk != second.read(chunk.size()))
            return false;
    }
    return true;
}

bool copyWithMode(const QString &source, const QString &copyPath, QString *why)
{
    struct stat status { };
    if (::stat(QFile::encodeName(source).constData(), &status) != 0) {
        *why = reason(errno);
        return false;
    }
    QFile copy(copyPath);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *why = copy.errorString();
        return false;
    }
    bool ok = copyBytes(source, copy, why);
    if (ok && ::fchmod(copy.handle(), status.st_mode & 07777) != 0) {
        *why = reason(errno);
        ok = false;
    }
    ok = ok && syncToDisk(copy, why);
    copy.close();
    if (!ok)
        copy.remove();
    return ok;
}

// Makes `target` name the file `source` names, replacing what it named before in one step. A hard
// link costs no space and keeps the very file; where links are refused, a copy with the same mode.
bool placeAtomically(const QString &source, const QString &target, QString *why)
{
    const QByteArray staging = QFile::encodeName(target + QStringLiteral(".%1.part").arg(::getpid()));
    ::unlink(staging.constData());
    if (::link(QFile::encodeName(source).constData(), staging.constData()) != 0
        && !copyWithMode(source, QFile::decodeName(staging), why))
        return false;
    if (::rename(staging.constData(), QFile::encodeName(target).constData()) != 0) {
        *why = reason(errno);
        ::unlink(staging.constData());
        return false;
    }
    // When source and target were already one file (an update stopped after the backup), rename()
    // succeeds without doing anything and the staging link would stay behind.
    ::unlink(staging.constData());
    return true;
}

} // namespace

Replacement::Replacement(UpdatePlan plan)
    : m_plan(std::move(plan))
{ }

std::optional<Replacement::Identity> Replacement::identityOf(const QString &path)
{
    struct stat status { };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return Identity {status.st_dev, status.st_ino};
}

bool Replacement::programFolderWritable() const
{
    QString why;
    if (injected("writable", &why))
        return false;
    QTemporaryFile probe(m_plan.programFolder + QLatin1String(".vexalpro-updater-XXXXXX"));
    return probe.open();
}

bool Replacement::fail(const QString &text)
{
    m_error = text;
    return false;
}

bool Replacement::replace()
{
    m_error.clear();
    m_previous = identityOf(m_plan.executablePath());
    m_backupMade = false;
    m_previousInPlace = true;
    if (installCopy())
        return true;
    putPreviousBack();
    return false;
}

bool Replacement::installCopy()
{
    const QString target = m_plan.executablePath();
    const QString folder = m_plan.programFolder;
    QString why;
    // In the program folder, so that the final rename stays on one file system and is atomic.
    // Until that rename succeeds the copy removes itself when this function returns.
    QTemporaryFile copy(folder + QLatin1Char('.') + m_plan.executableName + QLatin1String(".new-XXXXXX"));
    if (!copy.open())
        return fail(QStringLiteral("Cannot create a file in %1: %2").arg(folder, copy.errorString()));
    if (!copyBytes(m_plan.downloadedFile, copy, &why) || injected("copy", &why))
        return fail(QStringLiteral("Cannot copy the new version into %1: %2").arg(folder, why));
    if (::fchmod(copy.handle(), ProgramMode) != 0)
        why = reason(errno);
    if (!why.isEmpty() || injected("mode", &why))
        return fail(QStringLiteral("Cannot make the new version executable: %1").arg(why));
    if (!syncToDisk(copy, &why) || injected("sync", &why))
        return fail(QStringLiteral("Cannot write the new version to disk: %1").arg(why));
    copy.close();

    if (m_previous) {
        if (injected("backup", &why) || !placeAtomically(target, m_plan.backupPath(), &why))
            return fail(QStringLiteral("Cannot keep the previous version as %1: %2").arg(m_plan.backupPath(), why));
        m_backupMade = true;
    }

    if (injected("rename", &why))
        return fail(QStringLiteral("Cannot put the new version in place of %1: %2").arg(target, why));
    if (::rename(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return fail(QStringLiteral("Cannot put the new version in place of %1: %2").arg(target, reason(errno)));
    copy.setAutoRemove(false);
    syncFolder(folder);

    // Another process writing into the folder at the same moment would show here.
    if (!sameContent(m_plan.downloadedFile, target) || !QFileInfo(target).isExecutable())
        why = QStringLiteral("the installed file differs from the download");
    if (!why.isEmpty() || injected("verify", &why))
        return fail(QStringLiteral("The new version at %1 is not intact: %2").arg(target, why));
    return true;
}

void Replacement::putPreviousBack()
{
    const QString target = m_plan.executablePath();
    if (identityOf(target) == m_previous)
        return;
    QString why;
    if (!m_previous) {
        // There was no program before, and a broken one is no better than none.
        if (::unlink(QFile::encodeName(target).constData()) == 0)
            return;
        why = reason(errno);
    } else if (!m_backupMade) {
        why = QStringLiteral("no copy of it was kept");
    } else if (placeAtomically(m_plan.backupPath(), target, &why)) {
        syncFolder(m_plan.programFolder);
        return;
    }
    m_previousInPlace = false;
    m_error += QStringLiteral("\nThe previous version could not be put back at %1: %2").arg(target, why);
    if (m_backupMade)
        m_error += QStringLiteral("\nIt is kept as %1.").arg(m_plan.backupPath());
}

bool Replacement::removeDownload()
{
    return QFile::remove(m_plan.downloadedFile);
}

bool Replacement::startProgram()
{
    QString why;
    QProcess program;
    program.setProgram(m_plan.executablePath());
    program.setWorkingDirectory(m_plan.programFolder);
    if (!injected("start", &why) && program.startDetached())
        return true;
    return fail(QStringLiteral("Cannot start %1: %2")
                    .arg(m_plan.executablePath(), why.isEmpty() ? program.errorString() : why));
}
