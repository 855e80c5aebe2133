#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The texts and file rules of the live update, without any widget or transfer.
namespace liveUpdateRules {

inline constexpr qint64 ChunkSize = 1024;

// The patch version file's sections, and what its reader answers for a missing key.
inline constexpr QLatin1String StableSection {"TTDP Stable"};
inline constexpr QLatin1String AlphaSection {"TTDP Alpha-Beta"};
inline constexpr QLatin1String SwitchesSection {"Latest Versions Switches"};
inline constexpr QLatin1String Missing {"---"};
inline constexpr int CountdownStart = 30;
// The version lists and the news: a larger answer is no list of ours.
inline constexpr qint64 ListSizeLimit = 1024 * 1024;

// Server kinds, as the countdown text names them.
enum class ServerKind { None = 0, Patch = 1, Tool = 2 };

// "12 KB downloaded, 100 KB total  (12% done)" in the interface language. 64-bit throughout, so
// archives above 20 MB do not overflow the percentage.
QString progressText(qint64 done, qint64 total);
// The byte counts at which a transfer of `total` bytes shows its progress: every full chunk that
// still leaves bytes to read. A body of at most one chunk shows none.
QList<qint64> progressCounts(qint64 total);
// The counts of progressCounts() passed when the received bytes grow from `before` to `after`.
QList<qint64> progressCountsBetween(qint64 before, qint64 after, qint64 total);
// The status line while a server keeps the program waiting: "Connecting to TTDPatch server... (29)".
QString countdownText(ServerKind kind, int countdown);
// A Content-Length value as a whole, non-negative byte count; empty when it is not one.
std::optional<qint64> contentLength(const QByteArray &headerValue);

// Every LF becomes CR LF, and one more CR LF ends the text (the servers write bare LF).
QByteArray normalisedTextFile(const QByteArray &bytes);

// The free text after "[Alpha/Beta Description]" up to a line beginning with "[", each line with
// a CR LF after it; lines are taken as they stand.
QString alphaDescription(const QStringList &fileLines);
// The switch lines of the newest release: the lines (trimmed) between "[newest]" and "[newer]",
// each with a CR LF after it.
QString newestSwitchBlock(const QStringList &fileLines, const QString &newest, const QString &newer);
// The text the cfg editor gets when the person takes the new switches.
QString withSwitchBlock(const QString &editorText, const QString &newest, const QString &block);

// "There is a new version available!  New version: TTDPatch 2.6 ..." for a product and release.
QString announcement(const QString &product, const QString &version, const QString &date);

// An archive name from the version file as a local file name: only its last path part, and
// nothing when that is empty, "." or ".." (a server cannot make the program write elsewhere).
QString localArchiveName(const QString &remoteName);

// The mirror lists of the two servers, as the settings' list indexes address them. A base URL
// in one of these variables replaces its list (the command line's --patch-server and
// --tool-server set them).
inline constexpr const char *PatchServerVariable = "VEXALP_PATCH_SERVER";
inline constexpr const char *ToolServerVariable = "VEXALP_TOOL_SERVER";
QStringList patchMirrors();
// True when the variable names a server for this run: the mirror list is then that one server.
bool serverGiven(const char *variable);
QStringList toolMirrors();
// A server address a person typed, as the program uses it: an http or https URL with a host and
// nothing after its path, ending in '/'; empty when the text is no such address.
std::optional<QString> mirrorAddress(const QString &typed);

} // namespace liveUpdateRules
