#pragma once

#include "common/settingkeys.h"
#include "platform/executables.h"

// Every start of a Windows or DOS program uses the runners the person configured, so that a changed
// Wine or DOSBox command applies to the game and to the tools alike.
inline executables::Runners runnersFrom(const SettingsStore &settings)
{
    return {readSetting(settings, settingKeys::WindowsRunner), readSetting(settings, settingKeys::DosRunner)};
}
