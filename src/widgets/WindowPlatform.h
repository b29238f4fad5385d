// What the window system lets the program do with its top-level windows. Wayland, for one, neither
// changes a window's opacity nor lets a program place its windows: there the program asks for neither.
#pragma once

#include <QString>

namespace widgets {

// True when windows can be faded in and out (window opacity): X11, Windows, macOS.
bool PlatformFadesWindows(const QString& platform);
bool PlatformFadesWindows();
// True when a program may place its own top-level windows; false on Wayland, where the compositor does.
bool PlatformPlacesWindows(const QString& platform);
bool PlatformPlacesWindows();

} // namespace widgets
