// The private folders of demos: where they go, their names and files, and the removal of those that
// demos killed without a word left behind.
#pragma once

#include <QString>

namespace app {

// A folder's name: the prefix and six letters or digits (QTemporaryDir's XXXXXX). In each folder,
// its demo holds a lock while it runs, made under another name and given its own only once locked, so
// that nobody sees it unlocked; and its detector's link.
inline const QString DemoFolderPrefix = QStringLiteral("ostrevo-setup-demo-");
inline constexpr const char* DemoLockName = "lock";
inline constexpr const char* DemoNewLockName = "lock.new";
inline constexpr const char* DemoLinkName = "ttyDETECTOR";

// Where the private folder goes: $XDG_RUNTIME_DIR when it is a folder of the user's own that nobody
// else can enter (as the XDG rules want it), else the temporary folder.
QString PrivateDemoBase();
// A demo killed without a word (SIGKILL, a crash, the machine) leaves its folder behind: the folders of
// demos of this user in base whose lock nobody holds any more go, when they hold nothing but what a
// demo leaves there. Only those names are removed, never followed, and the folder only once empty.
void RemoveStaleDemoFolders(const QString& base);

} // namespace app
