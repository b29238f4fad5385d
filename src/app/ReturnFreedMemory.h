// Gives the memory the program freed back to the system (after the start-up's first pictures and tables).
#pragma once

namespace app {

void ReturnFreedMemory();

} // namespace app
