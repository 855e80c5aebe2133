#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

// The extraction engine behind modUnzip, over libzip. It keeps the calling convention of the
// UnZip library the program was first written for (an option structure, a callback structure, a
// version structure, the same return codes), so that modUnzip stays a thin caller.
namespace unzipLibrary {

// Return codes. Only 0 means success to the caller; the others tell the person what went wrong.
namespace result {
inline constexpr int Ok = 0;
inline constexpr int Warning = 1;
// A damaged archive or an entry that is refused: hostile name, link, CRC or size mismatch.
inline constexpr int ArchiveError = 2;
inline constexpr int SevereError = 3;
inline constexpr int OutOfMemory = 4;
inline constexpr int NotAnArchive = 9;
inline constexpr int BadParameter = 10;
inline constexpr int NothingMatched = 11;
// An entry or the archive unpacks to more than it declares or than any release can be.
inline constexpr int ArchiveBomb = 12;
inline constexpr int DiskError = 50;
inline constexpr int UnexpectedEnd = 51;
inline constexpr int Cancelled = 80;
inline constexpr int Unsupported = 81;
inline constexpr int BadPassword = 82;
} // namespace result

// Answers of the replace callback.
namespace replace {
inline constexpr int No = 100;
inline constexpr int Yes = 102;
inline constexpr int All = 103;
inline constexpr int None = 104;
} // namespace replace

inline constexpr int FlagCount = 15;
inline constexpr int PasswordBufferSize = 257;
// No TTDPatch release comes near this; an archive that unpacks to more is treated as hostile.
inline constexpr qint64 DefaultTotalSizeLimit = qint64(512) * 1024 * 1024;
// Wrong passwords in a row before an entry is given up.
inline constexpr int PasswordAttempts = 3;

// Flags 1 to 15 in the order of the library's option structure, widened to 32 bits.
struct Options {
    std::array<int, FlagCount> flags {};
    QByteArray zipFileName;
    QByteArray extractDir;
    qint64 totalSizeLimit = DefaultTotalSizeLimit;

    int flag(int number) const { return flags[std::size_t(number - 1)]; }
};

struct UserFunctions {
    std::function<int(const char *buffer, unsigned long length)> print;
    std::function<void()> sound; // never set: extraction makes no sound
    // The target's path in the buffer; answers with a replace:: code.
    std::function<int(char *fileName)> replace;
    // 0 with the password in the buffer, 1 when none is given.
    std::function<int(char *password, int size, const char *message, const char *name)> password;
    // One call per member when listing instead of extracting.
    std::function<void(quint64 uncompressedSize, quint64 compressedSize, const char *name, quint32 crc, bool encrypted)>
        message;
    // Before each member; anything but 0 stops the extraction.
    std::function<int(const char *name, unsigned long size)> service;
};

// 64 bytes, as the library's version structure was.
struct VersionInfo {
    quint32 structLength = 64;
    quint32 flags = 0;
    char betaLevel[10];
    char date[20];
    char zlibVersion[10];
    std::array<quint8, 4> unzip {};
    std::array<quint8, 4> zipinfo {};
    std::array<quint8, 4> os2dll {};
    std::array<quint8, 4> windll {};

    VersionInfo();
};

// Whether libzip can be loaded; it is looked for when first asked, not when the program starts.
bool available();
// libzip's version, empty when it cannot be loaded.
QString libzipVersion();

void UzpVersion2(VersionInfo &version);

// Extracts the members named in `fileNames` (all of them when fileCount is 0), skipping those
// matched by `excludeNames`; names may carry the wildcards * and ?.
int Wiz_SingleEntryUnzip(int fileCount, const QList<QByteArray> &fileNames, int excludeCount,
    const QList<QByteArray> &excludeNames, const Options &options, const UserFunctions &callbacks);

// Bytes decompressed by the last extraction, for checking the limits.
qint64 lastBytesDecompressed();

// --- Rules ----------------------------------------------------------------------------------

struct EntryPath {
    QStringList components; // never empty, never ".." or "."
    bool directory = false;
};

// The folders and name an archive member may be written to inside the extract folder, or the
// reason it must not be: absolute names, drive letters, ".." anywhere, empty names.
struct PathCheck {
    std::optional<EntryPath> path;
    QString refusal;
};
PathCheck checkEntryName(const QString &name);

// Unix file type of a member from its external attributes; 0 when the archive says nothing.
quint32 unixFileType(quint8 opsys, quint32 attributes);

} // namespace unzipLibrary
