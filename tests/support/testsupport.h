#pragma once

#include "common/modmain.h"
#include "loopbackserver.h"
#include "platform/clock.h"
#include "platform/connectionprobe.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "shell/frmcomponents.h"
#include "shell/startup.h"

#include <functional>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>

#include <sys/types.h>

class QListWidget;

// Records what the program asked the desktop to open or start; starts nothing.
class RecordingShell final : public Shell {
public:
    struct Call {
        enum class Kind { Open, Start, Watched } kind;
        QString target;
        QStringList arguments;
        QString workingFolder;
        QString outputFile;
        QList<std::pair<QString, QString>> environment;
    };
    QList<Call> calls;
    // Runs with each call, as the started program would (e.g. writing its output file).
    std::function<void(const Call &)> onCall;

    using Shell::startProgram;
    bool openDocument(const QString &pathOrUrl) override;
    bool startProgram(const ProgramStart &start) override;
    // A program that has ended by the time it is returned.
    std::unique_ptr<RunningProgram> startWatched(const ProgramStart &start) override;

private:
    bool record(Call::Kind kind, const ProgramStart &start);
};

class FakeClock final : public Clock {
public:
    mutable qint64 milliseconds = 0;
    QDate today() const override { return {2026, 12, 5}; }
    qint64 wholeSeconds() const override { return 0; }
    // Half a second passes at each reading, so that waits end at once.
    qint64 elapsedMs() const override { return milliseconds += 500; }
};

class FakeProbe final : public ConnectionProbe {
public:
    bool connected = true;
    bool isConnected(const QUrl &) override { return connected; }
};

// A complete set of seams over a temporary folder: settings, cache and program folders inside it.
// The process-wide state is reset when it is made, and closing the last window ends no test.
class TestServices {
public:
    TestServices();

    QString root() const { return m_dir.path(); }
    QString settingsFolder() const { return m_dir.filePath(QStringLiteral("settings")); }
    // The settings file of the program's application name.
    QString settingsFile() const;
    // A fresh store over the same folder, as the next run of the program would see it.
    void reopenSettings();
    // Programs really start and time really passes: the desktop shell and the system clock. With
    // the test's clock instead, waits for a program end at once at their limit.
    void useRealProcesses(bool realClock = true);
    // Writes [VexalP] keys straight into the settings file before the program reads it.
    void presetSettings(const QList<std::pair<QString, QString>> &values);
    // A [VexalP] key as the settings file holds it; invalid when the key is absent.
    QVariant stored(const QString &key) const;
    // An environment for start-up: locale language as given, everything inside the folder.
    StartupEnvironment environment(const QString &localeLanguage = QStringLiteral("ENGLISH")) const;

    ScriptedDialogs dialogs;
    RecordingShell shell;
    FakeClock clock;
    FakeProbe probe;
    int endProgramCalls = 0;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Services> services;
    DesktopShell desktopShell;
    SystemClock systemClock;

private:
    bool m_realProcesses = false;
    bool m_realClock = true;
    QTemporaryDir m_dir;
};

// A loopback server that the program takes for its patch server ("/patch/") and its own server
// ("/tool/") while it lives. Made before the TestServices, which otherwise point both nowhere.
class UpdateServer : public LoopbackServer {
public:
    UpdateServer();
    ~UpdateServer() override;
};

// The next error report's text (as the dialog shows it) goes to `report`; the report is ignored.
void catchReport(ScriptedDialogs &dialogs, QString &report);
// Each prompt's title, a form's name for a form.
QStringList titlesOf(const QList<ScriptedDialogs::Prompt> &prompts);
// The texts of a list's items.
QStringList linesOf(const QListWidget &list);
// The interface texts of the built-in English, for parts tested without a started program.
void useEnglishTexts();

// Where Wine's server for `prefix` keeps its socket below `serverRoot`, as Wine names it.
QString wineServerFolder(const QString &prefix, const QString &serverRoot);

// Sets (or, given nullopt, removes) an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const std::optional<QByteArray> &value);
    ~ScopedEnvironment();

private:
    const char *m_name;
    std::optional<QByteArray> m_old;
};

// A program started in `folder` and killed when this object goes.
class RunningProcess : public QProcess {
public:
    RunningProcess(const QString &program, const QStringList &arguments, const QString &folder = {});
    ~RunningProcess() override;
};

// Every component present, or one named component missing.
QList<Component> testComponents(const QString &missing = {});

// The program started over a TestServices (in its environment unless given, with the named
// component missing): start-up run and, when it goes on, the main window loaded and shown.
class StartedProgram {
public:
    explicit StartedProgram(
        TestServices &t, const std::optional<StartupEnvironment> &env = {}, const QString &missing = {});
    ~StartedProgram();

    frmComponents &startup() { return *m_startup; }
    frmMain &main();

private:
    std::unique_ptr<frmComponents> m_startup;

public:
    const frmComponents::Outcome outcome;
};

// A copy of a bundled demo game folder ("game" or "dos-game") at `target`; returns its path
// with a trailing '/'.
QString copyDemoGame(const QString &name, const QString &target);
QByteArray readBytes(const QString &path);
// The smallest file that reads as a Windows program: "MZ" and a PE header where it points, for
// x86-64 unless another machine type is given.
QByteArray portableExecutable(quint16 machine = 0x8664);
void writeBytes(const QString &path, const QByteArray &bytes);
// The files of a folder, hidden ones too, by name, without "." and "..".
QStringList entriesOf(const QString &folder);
// Writes a file and gives it these permission bits; a test failure when either does not take.
void writeProgram(const QString &path, const QByteArray &bytes, mode_t mode);
// What a program prints, trimmed; "<did not run>" when it does not end within ten seconds.
QByteArray outputOf(const QString &program);

// A Vexal Pro installation in a temporary folder, laid out as the updater finds one: the program
// folder, the cache holding the download, and the settings the program leaves for the updater.
class UpdaterInstallation {
public:
    UpdaterInstallation();
    QString root() const { return m_dir.path(); }
    QString folder() const { return m_dir.filePath(QStringLiteral("program/")); }
    QString executable() const { return folder() + QStringLiteral("vexalpro"); }
    QString backup() const { return executable() + QStringLiteral(".old"); }
    QString settingsFolder() const { return m_dir.filePath(QStringLiteral("settings")); }
    QString cacheFolder() const { return m_dir.filePath(QStringLiteral("cache/vexalp/")); }
    QString download() const { return cacheFolder() + QStringLiteral("vexalpro.exe.tmp"); }
    // The program's settings for the updater, replacing any before; AppPath is the program folder
    // unless given, and a null value leaves its key out.
    void writeSettings(std::map<QString, QString> values) const;
    // Where the updater finds these settings and this cache; no step made to fail.
    void addTo(QProcessEnvironment &environment) const;
    QStringList programFolderEntries() const { return entriesOf(folder()); }

private:
    QTemporaryDir m_dir;
};

// A copy of a demo game folder and the program over it. The program starts at the first use, so
// that settings and answers can be prepared before.
class GameSession {
public:
    explicit GameSession(const QString &game = QStringLiteral("game"), bool realProcesses = false);
    virtual ~GameSession();
    frmMain &main();
    // Opens the copy's ttdpatch.cfg, or another file.
    void open(const QString &file = {});
    // A file of the copy.
    QString path(const QString &name = QStringLiteral("ttdpatch.cfg")) const { return folder + name; }

    TestServices t;
    QString folder;

private:
    std::unique_ptr<StartedProgram> m_program;
};

// Every caption, title, tool tip and status text of a window's named controls, by name.
QMap<QString, QString> captionsOf(QWidget &window);
