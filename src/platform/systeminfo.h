#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

// What the program needs to know about the machine, gathered in one place.
namespace systemInfo {

// The distribution's name, e.g. "Debian GNU/Linux 12 (bookworm)".
QString osName();
// The folder of the running executable, with one trailing '/'.
QString programFolder();
// The executable's own file name.
QString programFileName();
// Where packages put their files ("/usr/"): the folder the component check names.
QString systemFolder();
// $XDG_CACHE_HOME/vexalp/ (default ~/.cache/vexalp/), with one trailing '/'.
QString cacheFolder();
// The ids of the processes running on the machine, as /proc lists them.
QStringList runningProcessIds();
// Creates the folder private to the user (mode 0700) when it is missing; one level only, as the
// parent must already exist. Returns whether the folder exists afterwards.
bool createPrivateFolder(const QString &path);

// English name of the user's locale language in capitals, e.g. "SPANISH".
QString localeLanguageName(const QLocale &locale = QLocale::system());
// The Windows default ANSI code page of a locale's language, as text ("1252").
QString ansiCodePage(const QLocale &locale = QLocale::system());

// Available physical memory in bytes (MemAvailable), empty when it cannot be read.
std::optional<quint64> availableMemoryBytes();

// True when the path lies on a network file system (NFS, SMB/CIFS, 9P, sshfs) or begins with "//".
bool isOnNetworkFileSystem(const QString &path);
// The file system types that count as network file systems (statfs magic numbers).
bool isNetworkFileSystemType(unsigned long magic, const QString &fuseSubtype = {});

} // namespace systemInfo
