#pragma once

#include "common/errortrap.h"

class QComboBox;
struct MainWindowControls;
class SettingsStore;
namespace modMain {
struct State;
}

// The options live in the main window's controls: read from the store once at start, written
// once at close. Setting a control fires its change handler, so the order below matters.
namespace options {

// Errors are skipped and left in `trap` for the window's load to report.
void LoadOptions(MainWindowControls &c, SettingsStore &store, modMain::State &state, ErrorTrap &trap);
// Writes every option, changed or not.
void SaveOptions(const MainWindowControls &c, SettingsStore &store, modMain::State &state);
// Back to the defaults of the key table; the language and the slider stay, nothing is written.
void ResetOptions(MainWindowControls &c);

} // namespace options
