#include "programstart.h"

#include "common/settingkeys.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

#include <QDir>

using executables::Problem;

namespace programStart {

executables::Command commandFor(Services &services, const executables::Launch &launch)
{
    return executables::commandFor(launch, runnersFrom(services.settings));
}

QString problemText(const executables::Command &command, const executables::Launch &launch)
{
    QString text;
    switch (command.problem) {
    case Problem::None: return {};
    case Problem::NotRunnable: text = modMain::uiText(184); break;
    case Problem::RunnerMissing: text = modMain::uiText(181); break;
    case Problem::No32BitWine: text = modMain::uiText(182); break;
    case Problem::FolderNotForDos: text = modMain::uiText(183); break;
    }
    return text.replace(QLatin1String("#PROGRAM#"), launch.path)
        .replace(QLatin1String("#RUNNER#"), command.runner)
        .replace(QLatin1String("#FOLDER#"), QDir::cleanPath(launch.workingFolder));
}

namespace {
void tell(Services &services, QWidget *parent, const QString &text)
{
    services.dialogs.message(
        parent, {modMain::ProductName, text, MessageIcon::Critical, MessageButtons::Ok, Answer::Ok});
}

// The runner was there when looked for, yet it would not start (removed meanwhile, no rights).
executables::Command failedToStart(executables::Command command)
{
    command.problem = Problem::RunnerMissing;
    if (command.runner.isEmpty())
        command.runner = command.start.program;
    return command;
}
} // namespace

bool start(Services &services, QWidget *parent, const executables::Launch &launch)
{
    executables::Command command = commandFor(services, launch);
    if (command.isValid() && !services.shell.startProgram(command.start))
        command = failedToStart(command);
    if (command.isValid())
        return true;
    tell(services, parent, problemText(command, launch));
    return false;
}

std::unique_ptr<RunningProgram> startWatched(
    Services &services, QWidget *parent, const executables::Command &command, const executables::Launch &launch)
{
    std::unique_ptr<RunningProgram> program;
    if (command.isValid())
        program = services.shell.startWatched(command.start);
    if (!program)
        tell(services, parent, problemText(command.isValid() ? failedToStart(command) : command, launch));
    return program;
}

} // namespace programStart
