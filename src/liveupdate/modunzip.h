#pragma once

#include "unziplibrary.h"

#include <QString>

#include <array>
#include <functional>

class Dialogs;
class Shell;
class QWidget;

// Unpacks one release archive: the caller fills the request, UnzipArchive runs it, logs the
// library's version and the progress to the live-update log and tells the person the outcome.
namespace modUnzip {

// Option flags 1 to 15, in the order of the library's option structure.
enum Flag : int {
    ExtractOnlyNewer = 1,
    SpaceToUnderscore = 2,
    PromptToOverwrite = 3,
    Quiet = 4, // 1 or more: progress lines are not printed; refusals and errors always are
    WriteToStdout = 5, // no effect: nothing here reads an extracted member from a stream
    TestArchive = 6, // reads and checks every member, writes nothing
    ListContents = 7, // the message callback gets every member, nothing is extracted
    FreshenExisting = 8,
    DisplayComment = 9,
    HonorDirectories = 10, // 0 drops the members' folders: every file lands in the extract folder
    OverwriteFiles = 11,
    ConvertLineEnds = 12, // no effect: the game reads its files with Windows line ends
    ZipInfoListing = 13, // as ListContents
    CaseInsensitive = 14, // the file and exclusion lists ignore letter case
    RestorePrivileges = 15, // no effect: archives carry no access lists the desktop could use
};

inline constexpr int FlagCount = unzipLibrary::FlagCount;
inline constexpr int ListSize = 100;
inline constexpr int PasswordBufferSize = unzipLibrary::PasswordBufferSize;

// The request fields, set by the caller before each run.
struct Request {
    QString ArchivePath;
    QString ExtractFolder;
    std::array<qint16, FlagCount> Flags {}; // Flags[0] is flag 1
    qint32 FileCount = 0; // 0: every member
    std::array<QString, ListSize> FileNames;
    qint32 ExcludeCount = 0;
    std::array<QString, ListSize> ExcludeNames;
    // What the whole archive may unpack to; lowered by tests.
    qint64 TotalSizeLimit = unzipLibrary::DefaultTotalSizeLimit;

    qint16 &flag(Flag number) { return Flags[std::size_t(number - 1)]; }
};

Request &request();
// Set by an empty password answer; stays set for the rest of the program's life.
qint16 &SkipPassword();
// Back to a fresh process's values (tests).
void resetState();

// What an extraction reaches outside this module.
struct Host {
    Dialogs &dialogs;
    Shell &shell;
    QWidget *parent = nullptr;
    // The main window's live-update log.
    std::function<void(const QString &)> LiveUpdateEvent;
    std::function<void(bool forceDetection)> GetPatchVersion;
};

// Runs one extraction with the request fields; returns 0 or the library's error code.
int UnzipArchive(Host &host);

// The callbacks handed to the library. They act on the host of the running extraction.
int ZipPrintCallback(const char *buffer, unsigned long length);
int ZipReplaceCallback(char *fileName);
int ZipPasswordCallback(char *password, int size, const char *message, const char *name);
int ZipMessageCallback(quint64 uncompressedSize, quint64 compressedSize, const char *name, quint32 crc, bool encrypted);
int ZipServiceCallback(const char *name, unsigned long size);

// --- Rules ----------------------------------------------------------------------------------

// The part before the first null character, blanks around it removed.
QString TrimAtNull(const QString &text);
// The four log lines about the library.
QStringList versionLines(const unzipLibrary::VersionInfo &version);

} // namespace modUnzip
