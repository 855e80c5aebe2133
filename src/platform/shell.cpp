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

namespace {
// Started programs never read our standard input.
void prepare(QProcess &process, const QString &program, const QStringList &arguments, const QString &workingFolder)
{
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
}
} // namespace

bool DesktopShell::startProgram(
    const QString &program, const QStringList &arguments, const QString &workingFolder, WindowMode mode)
{
    QProcess process;
    prepare(process, program, arguments, workingFolder);
    // A hidden program has no one to talk to; its output must not hold our own output open either.
    if (mode == WindowMode::Hidden) {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
    return process.startDetached();
}

bool DesktopShell::runToFile(
    const QString &program, const QStringList &arguments, const QString &workingFolder, const QString &outputFile)
{
    QProcess process;
    prepare(process, program, arguments, workingFolder);
    process.setStandardOutputFile(outputFile);
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}
