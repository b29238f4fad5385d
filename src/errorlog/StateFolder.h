// The program's state folder: where it keeps what it writes while it runs and finds again in later runs (the
// error log of an installed program, the demo's log, the arrival sets).
#pragma once

#include <string>

namespace errorlog {

// The user's state folder of the program, with a trailing separator, not created here:
// $XDG_STATE_HOME/ostrevo-setup/ on Linux (~/.local/state/ostrevo-setup/ when XDG_STATE_HOME is unset, empty
// or not an absolute path); %LOCALAPPDATA%\ostrevo-setup\ on Windows (the user's local application data,
// never beside the program).
std::string StateFolder();

} // namespace errorlog
