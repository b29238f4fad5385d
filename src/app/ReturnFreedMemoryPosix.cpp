// Freed memory back to the system on Linux: glibc keeps it otherwise.
#include "app/ReturnFreedMemory.h"

#include <malloc.h>

namespace app {

void ReturnFreedMemory() {
    ::malloc_trim(0);
}

} // namespace app
