#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// The desktop's side of starting things: documents and addresses go to their default handler,
// programs start without the caller waiting for them.
enum class WindowMode { Normal, Hidden };

// One program to start. The arguments are a list, never a command line, so no path is ever read
// by a shell.
struct ProgramStart {
    QString program;
    QStringList arguments;
    QString workingFolder;
    WindowMode mode = WindowMode::Normal;
    // Set in the program's environment, over what this process has.
    QList<std::pair<QString, QString>> environment;
    // Standard output goes into this file when set.
    QString outputFile;
};

// A started program that its starter watches. Destroying it ends the program, with everything it
// started in turn, if it is still running.
class RunningProgram {
public:
    virtual ~RunningProgram() = default;
    virtual bool hasEnded() = 0;
};

class Shell {
public:
    virtual ~Shell() = default;

    virtual bool openDocument(const QString &pathOrUrl) = 0;
    // False when the program could not be started at all.
    virtual bool startProgram(const ProgramStart &start) = 0;
    // Null when the program could not be started.
    virtual std::unique_ptr<RunningProgram> startWatched(const ProgramStart &start) = 0;

    bool startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder,
        WindowMode mode = WindowMode::Normal)
    {
        return startProgram(ProgramStart {program, arguments, workingFolder, mode, {}, {}});
    }
};

class DesktopShell final : public Shell {
public:
    using Shell::startProgram;
    bool openDocument(const QString &pathOrUrl) override;
    bool startProgram(const ProgramStart &start) override;
    std::unique_ptr<RunningProgram> startWatched(const ProgramStart &start) override;
};
