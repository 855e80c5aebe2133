#pragma once

#include <QString>
#include <QStringList>

// The desktop's side of starting things: documents and addresses go to their default handler,
// programs start without the caller waiting for them.
enum class WindowMode { Normal, Hidden };

class Shell {
public:
    virtual ~Shell() = default;

    virtual bool openDocument(const QString &pathOrUrl) = 0;
    virtual bool startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder,
        WindowMode mode = WindowMode::Normal)
        = 0;
    // Starts a program whose standard output goes into a file; the program's arguments are a list,
    // never a command line, so no path is ever read by a shell.
    virtual bool runToFile(
        const QString &program, const QStringList &arguments, const QString &workingFolder, const QString &outputFile)
        = 0;
};

class DesktopShell final : public Shell {
public:
    bool openDocument(const QString &pathOrUrl) override;
    bool startProgram(
        const QString &program, const QStringList &arguments, const QString &workingFolder, WindowMode mode) override;
    bool runToFile(const QString &program, const QStringList &arguments, const QString &workingFolder,
        const QString &outputFile) override;
};
