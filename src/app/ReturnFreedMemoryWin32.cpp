// Freed memory back to the system on Windows: the process heap's free blocks are released.
#include "app/ReturnFreedMemory.h"

#include <windows.h>

namespace app {

void ReturnFreedMemory() {
    ::HeapCompact(::GetProcessHeap(), 0);
}

} // namespace app
