#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QTemporaryFile;

class Dialogs;
class Shell;
class Clock;
class ConnectionProbe;
class SettingsStore;
class QComboBox;
class QWidget;

// The process-wide state and the helpers that every part of the program shares.
namespace modMain {

// The program's name where it names itself: message titles, the About box, the application.
inline const QString ProductName = QStringLiteral("Vexal Pro");

inline constexpr int UiTextCount = 196;

struct LanguageRow {
    QString name; // resource name in capitals, e.g. "SPANISH"
    QString displayName; // what the language list shows
};

enum class Edition : int { None = 0, Windows = 1, Dos = 2 };

struct State {
    // Start-up
    QString OSName;
    bool IsWin2000OrXP = false; // here: the desktop can make windows translucent
    QString ShellPrefix;
    QString SystemPath;
    QString TempPath;
    bool UnzipAvailable = false;
    bool ComponentsMissing = false;

    // Languages
    QString LanguageName;
    int LanguageIndex = 0;
    int LanguageCount = 0;
    QList<LanguageRow> LanguageTable = QList<LanguageRow>(26);
    int FontCharset = 0;
    std::array<QString, UiTextCount + 1> UiText;

    // Main window
    QString ProgramVersion;
    // The command-line words the program was started with, after its own name: Restart passes them on.
    QStringList ProgramArguments;
    QString ProgramTitle;
    QString AppFolder;
    QString VexalUpdateTmpPath;
    QString PatchUpdateTmpPath;
    QString NewsTmpPath;
    QString UpdaterPath;
    bool BlendEnabled = false;
    int BlendLevel = 0;
    bool ControlsEnabled = true;

    // Live update
    int AutoLUMode = 0;
    QString LatestStable;
    QString LatestStableDate;
    QString LatestAlpha;
    QString LatestAlphaDate;
    QString LatestVersionGot;
    QString LastCheckDate;
    QString LastVexalCheckDate;
    int UpdateKind = 0;
    // The alpha/beta release's description from the last release check (What's New).
    QString AlphaDescription;

    // Documents and the game folder
    QString CfgFileName;
    QString GrfFileName;
    QString RecentFile1;
    QString RecentFile2;
    bool FilesModified = false;
    QString GameFolder;
    Edition PatchEdition = Edition::None;
    QString PatchExecutable;
    // Set when the person confirms the edition dialog; a launch that caused the check is dropped.
    bool EditionDialogConfirmed = false;
    // The Windows code page configuration files are written in, e.g. "1252".
    QString AnsiCodePage = QStringLiteral("1252");
    QString DetectedPatchVersion;
};

State &state();
// Back to a fresh process's values (tests).
void resetState();
// Interface text n (1 to 196) of the current language.
const QString &uiText(int n);

// --- Shared helpers --------------------------------------------------------------------------

// The folder of a file with one trailing '/', empty when the path has no folder.
QString folderOf(const QString &path);
// A plain file at exactly this path: hidden files (a leading dot) and folders do not count.
bool fileExists(const QString &path);
void deleteIfExists(const QString &path);
// A whole file's bytes. A file that cannot be read, or is larger than `maximumSize` (when given),
// throws its run-time error.
QByteArray readWholeFile(const QString &path, qint64 maximumSize = -1);
// Replaces a file's content by `bytes` at once: on any failure the old content stays.
void writeWholeFile(const QString &path, const QByteArray &bytes);
// Puts a finished temporary file of the same folder in `target`'s place at once, as an ordinary
// file (readable by all, writable by its owner, runnable by none); false when it could not. Unlike
// writeWholeFile it does not wait for the disk: for files read at once, and fetched again should
// the system go down first.
bool putInPlace(QTemporaryFile &file, const QString &target);
// A file whose write bits are all clear. Root may write anyway, so the bits decide, not access().
bool isReadOnlyFile(const QString &path);
// Game folders come from Windows, where names ignore letter case: the path of the file in
// `folder` whose name equals `name` in any case, or folder + name when there is none.
// The exact spelling wins when the folder holds several.
QString fileIgnoringCase(const QString &folder, const QString &name);
// The same for a folder in `folder` (no trailing '/' added).
QString folderIgnoringCase(const QString &folder, const QString &name);
// `names` one below the other from `folder`, each matched in any case, joined with '/': the
// existing spelling of every name that is there, the given one from the first that is not. A
// name on the way matches a folder first, else any entry, so a file in the way is found, not
// passed by. Every name of the result is one of `names` in some case: the path stays below `folder`
// as long as `names` do.
QString pathIgnoringCase(const QString &folder, const QStringList &names);
// One value of an INI file, read with the Windows profile-string rules: section and key names
// ignore letter case, the value is trimmed and cut to the 254 characters of the reader's buffer,
// the default comes back when the section or key is missing.
QString readIniString(const QString &section, const QString &key, const QString &defaultValue, const QString &fileName);
// Sets a list's index as Basic did: an index outside the list raises "Invalid property value".
void setListIndex(QComboBox &list, qint64 index);
// Whole-window opacity, 0 to 255.
void setTranslucency(QWidget &window, int opacity, bool repaint);
// Every window takes the chosen opacity again when it is activated, while translucency is on.
void applyChosenOpacity(QWidget &window);

} // namespace modMain

// The seams and stores the program works with, chosen once in main and replaced in tests.
struct Services {
    Dialogs &dialogs;
    Shell &shell;
    Clock &clock;
    ConnectionProbe &probe;
    SettingsStore &settings;
    // Ends this instance at once, without any window's close handling.
    std::function<void()> endProgram;
};

namespace modMain {
// Hands a path or address to the desktop's handler.
bool openDocument(Services &services, const QString &pathOrUrl);
// The program's own web page, on the main site (true) or the alternative site (false).
void openProgramPage(Services &services, bool mainSite);
QString programPageAddress(bool mainSite);
// Where the game can be bought or downloaded: a forum topic that lists the places.
QString gameDownloadPage();
// Opens a mail to the maker. A notice text (string resource 501) is shown first when given.
void mailReport(Services &services, QWidget *parent, const QString &subject, const QString &notice = {});
QString mailReportAddress(const QString &subject);
} // namespace modMain
