// Which of the user's running copies of the program this is: 0 for the first, 1 for a second one
// started beside it, and so on (a later copy opens its window a little lower and to the right).
#pragma once

namespace app {

// Takes the lowest free number for this process's lifetime (a lock file per number in the user's
// runtime folder; a copy that ended, even by a crash, frees its number). 0 when no lock can be made.
int TakeInstanceNumber();

} // namespace app
