#pragma once

namespace talvor::platform {

// Hands memory that was freed after a large one-off read back to the system. A read done on a
// worker thread leaves its pages in that thread's allocator arena, which the allocator does not
// shrink on its own while any small block near its top stays in use.
void returnFreedMemory();

}  // namespace talvor::platform
