#include "unziplibrary.h"

#include "common/modmain.h"
#include "libzipfunctions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace unzipLibrary {

namespace {

// Everything below runs only once available() said yes.
const LibZip &zip()
{
    return *libZip();
}

constexpr qint64 ChunkSize = 64 * 1024;
qint64 g_bytesDecompressed = 0;

void fillBlanks(char *field, std::size_t size)
{
    std::memset(field, ' ', size - 1);
    field[size - 1] = '\0';
}

void copyText(char *field, std::size_t size, const char *text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

// "1.7.3" -> 1, 7, 3, 0
std::array<quint8, 4> versionBytes(const char *text)
{
    std::array<quint8, 4> bytes {};
    const QStringList parts = QString::fromLatin1(text).split(QLatin1Char('.'));
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        bytes[std::size_t(i)] = quint8(parts[i].toUInt() & 0xFF);
    return bytes;
}

bool matchesAny(const QString &name, const QList<QByteArray> &patterns, int count, bool caseInsensitive)
{
    for (int i = 0; i < count && i < patterns.size(); ++i) {
        const QString pattern = QFile::decodeName(patterns[i]);
        if (pattern.isEmpty())
            continue;
        QRegularExpression expression(
            QRegularExpression::wildcardToRegularExpression(pattern, QRegularExpression::UnanchoredWildcardConversion));
        expression.setPattern(QLatin1Char('^') + expression.pattern() + QLatin1Char('$'));
        if (caseInsensitive)
            expression.setPatternOptions(QRegularExpression::CaseInsensitiveOption);
        if (expression.match(name).hasMatch())
            return true;
    }
    return false;
}

using ZipArchive = std::unique_ptr<zip_t, decltype(&zip_discard)>;
using ZipFile = std::unique_ptr<zip_file_t, decltype(&zip_fclose)>;

int resultOfOpenError(int code)
{
    switch (code) {
    case ZIP_ER_MEMORY: return result::OutOfMemory;
    case ZIP_ER_EOF: return result::UnexpectedEnd;
    case ZIP_ER_INCONS: return result::SevereError;
    default: return result::NotAnArchive;
    }
}

int resultOfReadError(int code)
{
    switch (code) {
    case ZIP_ER_MEMORY: return result::OutOfMemory;
    case ZIP_ER_EOF: return result::UnexpectedEnd;
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_NOPASSWD: return result::BadPassword;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP: return result::Unsupported;
    default: return result::ArchiveError;
    }
}

// One extraction run: the archive, the options, the callbacks and the first error met.
class Extraction {
public:
    Extraction(zip_t *archive, const Options &options, const UserFunctions &callbacks, const QString &root)
        : m_archive(archive)
        , m_options(options)
        , m_callbacks(callbacks)
        , m_root(root)
        , m_budget(options.totalSizeLimit)
    { }

    void print(const QString &text, bool always = false)
    {
        if (!m_callbacks.print || (!always && m_options.flag(4) != 0))
            return;
        const QByteArray bytes = text.toLocal8Bit();
        m_callbacks.print(bytes.constData(), static_cast<unsigned long>(bytes.size()));
    }
    void fail(int code)
    {
        if (m_result == result::Ok)
            m_result = code;
    }
    void refuse(const QString &name, const QString &reason, int code = result::ArchiveError)
    {
        print(QStringLiteral("   refused: %1 (%2)").arg(name, reason), true);
        fail(code);
    }
    int outcome() const { return m_result; }
    bool stopped() const { return m_stop; }

    void entry(zip_uint64_t index, const QString &name);

private:
    std::optional<QStringList> existingSpelling(const QStringList &names, const QString &name);
    std::optional<QString> prepareFolders(const QStringList &folders, const QString &name);
    bool mayWrite(const QString &target, const zip_stat_t &stat);
    zip_file_t *open(zip_uint64_t index, const zip_stat_t &stat, const QString &name);
    void copyOut(zip_file_t *file, const zip_stat_t &stat, const QString &target, const QString &name);

    zip_t *m_archive;
    const Options &m_options;
    const UserFunctions &m_callbacks;
    QString m_root; // canonical, with a trailing '/'
    qint64 m_budget;
    int m_result = result::Ok;
    bool m_stop = false;
    bool m_replaceAll = false;
    bool m_replaceNone = false;
    QByteArray m_password;
    bool m_havePassword = false;
};

void Extraction::entry(zip_uint64_t index, const QString &name)
{
    zip_stat_t stat;
    zip().stat_init(&stat);
    if (zip().stat_index(m_archive, index, 0, &stat) != 0) {
        refuse(name, QStringLiteral("unreadable directory entry"));
        return;
    }
    const bool encrypted = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
    if (m_options.flag(7) != 0 || m_options.flag(13) != 0) {
        if (m_callbacks.message)
            m_callbacks.message(stat.size, stat.comp_size, QFile::encodeName(name).constData(), stat.crc, encrypted);
        return;
    }
    const PathCheck check = checkEntryName(name);
    if (!check.path) {
        refuse(name, check.refusal);
        return;
    }
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    zip().file_get_external_attributes(m_archive, index, 0, &opsys, &attributes);
    const quint32 type = unixFileType(opsys, attributes);
    if (type != 0 && type != S_IFREG && type != S_IFDIR) {
        refuse(name, type == S_IFLNK ? QStringLiteral("symbolic link") : QStringLiteral("special file"));
        return;
    }
    if (m_callbacks.service) {
        const QByteArray encoded = QFile::encodeName(name);
        if (m_callbacks.service(encoded.constData(), static_cast<unsigned long>(stat.size)) != 0) {
            print(QStringLiteral("Extraction cancelled."), true);
            fail(result::Cancelled);
            m_stop = true;
            return;
        }
    }
    QStringList components = check.path->components;
    if (m_options.flag(2) != 0) {
        for (QString &component : components)
            component.replace(QLatin1Char(' '), QLatin1Char('_'));
    }
    const bool honorDirectories = m_options.flag(10) != 0;
    if (check.path->directory && !honorDirectories)
        return;
    const bool testOnly = m_options.flag(6) != 0;
    QString target;
    if (!testOnly) {
        const std::optional<QStringList> written
            = existingSpelling(honorDirectories ? components : QStringList {components.last()}, name);
        if (!written)
            return;
        const std::optional<QString> folder
            = prepareFolders(check.path->directory ? *written : written->mid(0, written->size() - 1), name);
        if (!folder)
            return;
        if (check.path->directory) {
            print(QStringLiteral("   creating: %1").arg(name));
            return;
        }
        target = *folder + written->last();
        const QFileInfo existing(target);
        if (existing.isSymLink()) {
            refuse(name, QStringLiteral("the target is a symbolic link"));
            return;
        }
        if (existing.exists() && !existing.isFile()) {
            refuse(name, QStringLiteral("the target is not a file"));
            return;
        }
        if (!mayWrite(target, stat))
            return;
    } else if (check.path->directory) {
        return;
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(m_budget)) {
        refuse(name, QStringLiteral("larger than the archive size limit"), result::ArchiveBomb);
        m_stop = true;
        return;
    }
    ZipFile file(open(index, stat, name), zip().fclose);
    if (file)
        copyOut(file.get(), stat, target, name);
}

// The game folder comes from Windows, where TTDPATCHW.EXE and ttdpatchw.exe are one file: a
// member takes the spelling of the files and folders already there, so that it replaces them
// instead of appearing a second time beside them. Each name found must be the member's own in
// another case, never anything that leads elsewhere.
std::optional<QStringList> Extraction::existingSpelling(const QStringList &names, const QString &name)
{
    const QString path = modMain::pathIgnoringCase(m_root, names);
    const QStringList found = path.startsWith(m_root) ? path.mid(m_root.size()).split(QLatin1Char('/')) : QStringList();
    bool same = found.size() == names.size();
    for (qsizetype i = 0; same && i < found.size(); ++i) {
        same = found[i].compare(names[i], Qt::CaseInsensitive) == 0 && found[i] != QLatin1String(".")
            && found[i] != QLatin1String("..");
    }
    if (!same) {
        refuse(name, QStringLiteral("no safe place in the extract folder"));
        return std::nullopt;
    }
    return found;
}

// Creates the member's folders one by one below the extract folder; a link or a file where a
// folder should be refuses the member, so nothing is ever written through a link.
std::optional<QString> Extraction::prepareFolders(const QStringList &folders, const QString &name)
{
    QString path = m_root;
    for (const QString &folder : folders) {
        path += folder;
        const QFileInfo info(path);
        if (info.isSymLink()) {
            refuse(name, QStringLiteral("%1 is a symbolic link").arg(folder));
            return std::nullopt;
        }
        if (!info.exists() && !QDir().mkdir(path)) {
            print(QStringLiteral("   cannot create folder: %1").arg(path), true);
            fail(result::DiskError);
            return std::nullopt;
        }
        if (!QFileInfo(path).isDir() || QFileInfo(path).isSymLink()) {
            refuse(name, QStringLiteral("%1 is not a folder").arg(folder));
            return std::nullopt;
        }
        path += QLatin1Char('/');
    }
    return path;
}

bool Extraction::mayWrite(const QString &target, const zip_stat_t &stat)
{
    const QFileInfo existing(target);
    const bool newer = !(stat.valid & ZIP_STAT_MTIME) || !existing.exists()
        || QDateTime::fromSecsSinceEpoch(stat.mtime) > existing.lastModified();
    if (m_options.flag(8) != 0 && (!existing.exists() || !newer))
        return false;
    if (!existing.exists())
        return true;
    if (m_options.flag(1) != 0 || m_options.flag(8) != 0)
        return newer;
    if (m_options.flag(11) != 0 || m_replaceAll)
        return true;
    if (m_options.flag(3) == 0 || m_replaceNone || !m_callbacks.replace) {
        print(QStringLiteral("   skipping: %1 (exists)").arg(target));
        return false;
    }
    QByteArray buffer = QFile::encodeName(target);
    buffer.append('\0');
    switch (m_callbacks.replace(buffer.data())) {
    case replace::Yes: return true;
    case replace::All: m_replaceAll = true; return true;
    case replace::None: m_replaceNone = true; return false;
    default: return false;
    }
}

zip_file_t *Extraction::open(zip_uint64_t index, const zip_stat_t &stat, const QString &name)
{
    const bool encrypted = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
    // Asked first: libzip 1.7 leaks the decryption it set up for a member it then cannot unpack.
    const bool unsupported
        = ((stat.valid & ZIP_STAT_COMP_METHOD) && !zip().compression_method_supported(stat.comp_method, 0))
        || (encrypted && !zip().encryption_method_supported(stat.encryption_method, 0));
    if (unsupported) {
        print(QStringLiteral("   skipping: %1 (compression or encryption method not supported)").arg(name), true);
        fail(result::Unsupported);
        return nullptr;
    }
    if (!encrypted) {
        if (zip_file_t *file = zip().fopen_index(m_archive, index, 0))
            return file;
        const int code = zip().error_code_zip(zip().get_error(m_archive));
        print(QStringLiteral("   error: %1 (%2)").arg(name, QString::fromLocal8Bit(zip().strerror(m_archive))), true);
        fail(resultOfReadError(code));
        return nullptr;
    }
    const QByteArray encodedName = QFile::encodeName(name);
    for (int attempt = 0; attempt < PasswordAttempts; ++attempt) {
        if (!m_havePassword) {
            char buffer[PasswordBufferSize] = {};
            const char *message = attempt == 0 ? "Enter password for: " : "Password incorrect--reenter: ";
            if (!m_callbacks.password
                || m_callbacks.password(buffer, PasswordBufferSize, message, encodedName.constData()) != 0) {
                print(QStringLiteral("   skipping: %1 (no password)").arg(name), true);
                fail(result::BadPassword);
                return nullptr;
            }
            buffer[PasswordBufferSize - 1] = '\0';
            m_password = QByteArray(buffer);
            m_havePassword = true;
        }
        if (zip_file_t *file = zip().fopen_index_encrypted(m_archive, index, 0, m_password.constData()))
            return file;
        const int code = zip().error_code_zip(zip().get_error(m_archive));
        if (code != ZIP_ER_WRONGPASSWD && code != ZIP_ER_NOPASSWD) {
            print(QStringLiteral("   error: %1 (%2)").arg(name, QString::fromLocal8Bit(zip().strerror(m_archive))), true);
            fail(resultOfReadError(code));
            return nullptr;
        }
        m_havePassword = false;
    }
    print(QStringLiteral("   skipping: %1 (incorrect password)").arg(name), true);
    fail(result::BadPassword);
    return nullptr;
}

// Reads the member to its end, so that libzip checks the CRC, into a temporary file of the
// target's folder that replaces the target only when it is complete.
void Extraction::copyOut(zip_file_t *file, const zip_stat_t &stat, const QString &target, const QString &name)
{
    std::unique_ptr<QTemporaryFile> out;
    if (!target.isEmpty()) {
        out = std::make_unique<QTemporaryFile>(QFileInfo(target).absolutePath() + QStringLiteral("/.unzip-XXXXXX"));
        if (!out->open()) {
            print(QStringLiteral("   cannot write: %1").arg(target), true);
            fail(result::DiskError);
            return;
        }
    }
    const qint64 declared = (stat.valid & ZIP_STAT_SIZE) ? qint64(stat.size) : m_budget;
    const qint64 cap = std::min(declared, m_budget);
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const zip_int64_t n = zip().fread(file, chunk.data(), zip_uint64_t(chunk.size()));
        if (n < 0) {
            const int code = zip().error_code_zip(zip().file_get_error(file));
            print(QStringLiteral("   error: %1 (%2)").arg(name, QString::fromLocal8Bit(zip().file_strerror(file))), true);
            fail(resultOfReadError(code));
            return;
        }
        if (n == 0)
            break;
        total += n;
        g_bytesDecompressed += n;
        if (total > cap) {
            const bool entryLies = total > declared;
            refuse(name,
                entryLies ? QStringLiteral("unpacks to more than its declared %1 bytes").arg(declared)
                          : QStringLiteral("the archive unpacks to more than %1 bytes").arg(m_options.totalSizeLimit),
                result::ArchiveBomb);
            if (!entryLies)
                m_stop = true;
            return;
        }
        if (out && out->write(chunk.constData(), n) != n) {
            print(QStringLiteral("   cannot write: %1").arg(target), true);
            fail(result::DiskError);
            return;
        }
    }
    m_budget -= total;
    if (!out) {
        print(QStringLiteral("    testing: %1   OK").arg(name));
        return;
    }
    // An ordinary file, with no run bit and no other mode bit of the archive: a patch release holds
    // Windows and DOS programs, which their runners start, so nothing unpacked can run as a program
    // of this machine.
    if (!modMain::putInPlace(*out, target)) {
        print(QStringLiteral("   cannot write: %1").arg(target), true);
        fail(result::DiskError);
        return;
    }
    out.reset();
    if (stat.valid & ZIP_STAT_MTIME) {
        QFile written(target);
        if (written.open(QIODevice::ReadWrite))
            written.setFileTime(QDateTime::fromSecsSinceEpoch(stat.mtime), QFileDevice::FileModificationTime);
    }
    const bool stored = (stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_STORE;
    print(QStringLiteral("%1: %2").arg(stored ? QStringLiteral(" extracting") : QStringLiteral("  inflating"), target));
}

} // namespace

VersionInfo::VersionInfo()
{
    fillBlanks(betaLevel, sizeof betaLevel);
    fillBlanks(date, sizeof date);
    fillBlanks(zlibVersion, sizeof zlibVersion);
}

bool available()
{
    return libZip() != nullptr;
}

QString libzipVersion()
{
    return available() ? QString::fromLatin1(zip().libzip_version()) : QString();
}

void UzpVersion2(VersionInfo &version)
{
    const QByteArray libzip = libzipVersion().toLatin1();
    version.structLength = sizeof(VersionInfo);
    copyText(version.betaLevel, sizeof version.betaLevel, "");
    copyText(version.date, sizeof version.date, QByteArray(QByteArray("libzip ") + libzip).constData());
    version.unzip = versionBytes(libzip.constData());
    version.zipinfo = version.unzip;
    version.windll = version.unzip;
}

int Wiz_SingleEntryUnzip(int fileCount, const QList<QByteArray> &fileNames, int excludeCount,
    const QList<QByteArray> &excludeNames, const Options &options, const UserFunctions &callbacks)
{
    g_bytesDecompressed = 0;
    auto print = [&callbacks](const QString &text) {
        if (callbacks.print) {
            const QByteArray bytes = text.toLocal8Bit();
            callbacks.print(bytes.constData(), static_cast<unsigned long>(bytes.size()));
        }
    };
    if (!available()) {
        print(QStringLiteral("The zip library (libzip.so.4) cannot be loaded."));
        return result::SevereError;
    }
    int error = 0;
    ZipArchive archive(zip().open(options.zipFileName.constData(), ZIP_RDONLY, &error), zip().discard);
    if (!archive) {
        zip_error_t detail;
        zip().error_init_with_code(&detail, error);
        print(QStringLiteral("Cannot open %1: %2")
                  .arg(QFile::decodeName(options.zipFileName), QString::fromLocal8Bit(zip().error_strerror(&detail))));
        zip().error_fini(&detail);
        return resultOfOpenError(error);
    }
    const QString folder = QFile::decodeName(options.extractDir);
    const bool listing = options.flag(7) != 0 || options.flag(13) != 0 || options.flag(6) != 0;
    if (!listing && !QDir().mkpath(folder)) {
        print(QStringLiteral("Cannot create %1").arg(folder));
        return result::DiskError;
    }
    QString root = QFileInfo(folder).canonicalFilePath();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    print(QStringLiteral("Archive:  %1").arg(QFile::decodeName(options.zipFileName)));
    if (options.flag(9) != 0) {
        int length = 0;
        if (const char *comment = zip().get_archive_comment(archive.get(), &length, 0); comment && length > 0)
            print(QString::fromUtf8(comment, length));
    }
    Extraction run(archive.get(), options, callbacks, root);
    const bool caseInsensitive = options.flag(14) != 0;
    int matched = 0;
    const zip_int64_t count = zip().get_num_entries(archive.get(), 0);
    for (zip_int64_t index = 0; index < count && !run.stopped(); ++index) {
        const char *raw = zip().get_name(archive.get(), zip_uint64_t(index), 0);
        if (!raw) {
            run.refuse(QStringLiteral("#%1").arg(index), QStringLiteral("unreadable name"));
            continue;
        }
        const QString name = QString::fromUtf8(raw);
        if (fileCount > 0 && !matchesAny(name, fileNames, fileCount, caseInsensitive))
            continue;
        if (excludeCount > 0 && matchesAny(name, excludeNames, excludeCount, caseInsensitive))
            continue;
        ++matched;
        run.entry(zip_uint64_t(index), name);
    }
    if (run.outcome() == result::Ok && fileCount > 0 && matched == 0)
        return result::NothingMatched;
    return run.outcome();
}

qint64 lastBytesDecompressed()
{
    return g_bytesDecompressed;
}

PathCheck checkEntryName(const QString &name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty())
        return {std::nullopt, QStringLiteral("empty name")};
    if (path.startsWith(QLatin1Char('/')))
        return {std::nullopt, QStringLiteral("absolute name")};
    if (path.size() >= 2 && path[1] == QLatin1Char(':') && path[0].isLetter())
        return {std::nullopt, QStringLiteral("drive letter")};
    EntryPath entry;
    entry.directory = path.endsWith(QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String(".."))
            return {std::nullopt, QStringLiteral("\"..\" in the name")};
        if (part.contains(QLatin1Char(':')))
            return {std::nullopt, QStringLiteral("\":\" in the name")};
        if (part != QLatin1String("."))
            entry.components.append(part);
    }
    if (entry.components.isEmpty())
        return {std::nullopt, QStringLiteral("empty name")};
    return {entry, {}};
}

quint32 unixFileType(quint8 opsys, quint32 attributes)
{
    if (opsys != ZIP_OPSYS_UNIX)
        return 0;
    return (attributes >> 16) & S_IFMT;
}

} // namespace unzipLibrary
