// The program's settings file: $XDG_CONFIG_HOME/ostrevo-setup/ostrevo-setup.conf (by default under
// ~/.config), named like everything else of the program. Older versions kept it in Ostrevo/Ostrevo.conf
// there; its values are carried over once. On Windows: %APPDATA%\ostrevo-setup\ostrevo-setup.ini.
#pragma once

#include <QString>

namespace remembered {

// Names the application and its organisation "ostrevo-setup", so that every QSettings made without
// arguments reads and writes the program's settings file, and carries the older file's values over
// when the program's own file does not exist yet. Call once, after the application object exists.
void UseProgramSettingsFile();

enum class CarriedOver {
    Nothing, // no older file, or the new one exists already
    Moved,   // its values copied, and the older file removed
    Failed,  // the new file could not be written: the older one stays, to be tried again next time
};

// Copies every value of oldFile into newFile when newFile does not exist yet and oldFile does, then
// removes oldFile (and its folder when that is left empty). Once newFile exists nothing is copied again.
CarriedOver CarryOverSettings(const QString& oldFile, const QString& newFile);

} // namespace remembered
