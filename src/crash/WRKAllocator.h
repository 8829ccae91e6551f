#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The crash-time allocator. A crash is often a heap corruption, and after one nothing may be
// allocated: so everything the crash-time code needs is taken at start from one anonymous
// mapping with guard pages around two bump regions, a writable one (stacks, tables, flags)
// and a read-only one (paths, saved handlers) that is write-protected once set-up is over.
// Memory is never given back; the mapping lives as long as the process.
namespace talvor::crash {

enum WRKAllocationType : int { WRKAllocationTypeReadOnly = 0, WRKAllocationTypeWritable = 1 };

struct WRKAllocatorRegion {
    std::size_t size = 0;
    std::uintptr_t start = 0;
    std::atomic<std::uintptr_t> next{0};
};

struct WRKAllocator {
    void* base = nullptr;
    std::size_t mappingSize = 0;
    std::size_t pageSize = 0;
    bool protectedFlag = false;
    WRKAllocatorRegion writable;
    WRKAllocatorRegion readOnly;
};

// Every block is aligned to this many bytes (so that a structure after an odd-length string
// is aligned, and atomics in it work on every architecture).
inline constexpr std::size_t kWRKAllocatorAlignment = 16;
// The space the allocator's own record takes at the start of the read-only region.
inline constexpr std::size_t kWRKAllocatorRecordSize = 128;

// The allocator, or nullptr when the mapping fails.
WRKAllocator* WRKAllocatorCreate(std::size_t writableSize, std::size_t readOnlySize);
// Memory of `type`. Falls back to the heap (logged) when the allocator is missing or already
// protected, or the region is used up; nullptr for an unknown type.
void* WRKAllocatorSafeAllocate(WRKAllocator* allocator, std::size_t size, int type);
void* WRKAllocatorSafeAllocateFromRegion(WRKAllocatorRegion* region, std::size_t size);
// Makes the read-only region read-only; true on success (also when it already is).
bool WRKAllocatorProtect(WRKAllocator* allocator);
// Makes the whole mapping readable and writable again, guard pages included.
bool WRKAllocatorUnprotect(WRKAllocator* allocator);
// Frees heap memory only when no allocator is given: region memory is never given back.
void WRKAllocatorFree(WRKAllocator* allocator, void* memory);
void WRKAllocatorDestroy(WRKAllocator* allocator);
// True when `address` lies inside one of the allocator's regions.
bool WRKAllocatorOwns(const WRKAllocator* allocator, const void* address);

}  // namespace talvor::crash
