#include "shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

bool DesktopShell::openDocument(const QString &pathOrUrl)
{
    const QUrl url = QFileInfo::exists(pathOrUrl) ? QUrl::fromLocalFile(pathOrUrl) : QUrl(pathOrUrl);
    return QDesktopServices::openUrl(url);
}

bool DesktopShell::startProgram(
    const QString &program, const QStringList &arguments, const QString &workingFolder, WindowMode)
{
    // A detached process has no window of ours to hide; the mode matters only to programs that
    // open their own window, and those decide for themselves on Linux.
    return QProcess::startDetached(program, arguments, workingFolder);
}

bool DesktopShell::runToFile(
    const QString &program, const QStringList &arguments, const QString &workingFolder, const QString &outputFile)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setStandardOutputFile(outputFile);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}
