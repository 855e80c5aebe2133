#pragma once

#include "common/modmain.h"
#include "platform/executables.h"

#include <memory>

class QWidget;
class RunningProgram;

// Every start of a program of the game folder or a companion tool: through the runner its kind
// needs, in the game folder's Wine prefix, and with a message instead of a silent failure when it
// cannot start.
namespace programStart {

// The command with the runners of the settings store.
executables::Command commandFor(Services &services, const executables::Launch &launch);
// What the user is told when the command cannot start; empty when it can.
QString problemText(const executables::Command &command, const executables::Launch &launch);
// Starts the program without waiting for it. When it cannot start, the user is told (a message
// owned by `parent`) and the result is false.
bool start(Services &services, QWidget *parent, const executables::Launch &launch);
// Starts the program for a caller that watches it; null, after the message, when it cannot.
std::unique_ptr<RunningProgram> startWatched(
    Services &services, QWidget *parent, const executables::Command &command, const executables::Launch &launch);

} // namespace programStart
