#pragma once

#include <QString>

namespace runningProcesses {

// Whether any process on the machine runs the executable at `path` (symbolic links resolved).
// Processes this user may not inspect are left out: they cannot be the user's own program.
bool runsExecutable(const QString &path);

} // namespace runningProcesses
