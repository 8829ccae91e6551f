#include "platform/FreedMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace talvor::platform {

void returnFreedMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

}  // namespace talvor::platform
