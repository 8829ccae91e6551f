#include "crash/WRKAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "crash/WRKPlatform.h"
#include "kit/KitLog.h"

namespace talvor::crash {
namespace {

std::size_t queriedPageSize() {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

std::size_t roundUp(std::size_t size) {
    return (size + kWRKAllocatorAlignment - 1) & ~(kWRKAllocatorAlignment - 1);
}

void logError(const char* what) {
    kit::log(std::string("[Wreckord:Crash] ") + what + ": " + std::strerror(errno));
}

}  // namespace

WRKAllocator* WRKAllocatorCreate(std::size_t writableSize, std::size_t readOnlySize) {
    const std::size_t page = queriedPageSize();
    const std::size_t writablePages = writableSize / page + 1;
    const std::size_t readOnlyPages = (readOnlySize + kWRKAllocatorRecordSize) / page + 1;
    const std::size_t total = (writablePages + readOnlyPages + 3) * page;
    void* base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        logError("Mapping failed");
        return nullptr;
    }
    auto* bytes = static_cast<char*>(base);
    char* writableStart = bytes + page;
    char* middleGuard = writableStart + writablePages * page;
    char* readOnlyStart = middleGuard + page;
    char* lastGuard = readOnlyStart + readOnlyPages * page;
    if (::mprotect(bytes, page, PROT_NONE) != 0) {
        logError("First guard protection failed");
        return nullptr;
    }
    if (::mprotect(middleGuard, page, PROT_NONE) != 0) {
        logError("Middle guard protection failed");
        return nullptr;
    }
    if (::mprotect(lastGuard, page, PROT_NONE) != 0) {
        logError("Last guard protection failed");
        return nullptr;
    }
    static_assert(sizeof(WRKAllocator) <= kWRKAllocatorRecordSize);
    auto* allocator = new (readOnlyStart) WRKAllocator;
    allocator->base = base;
    allocator->mappingSize = total;
    allocator->pageSize = page;
    allocator->writable.size = writablePages * page;
    allocator->writable.start = reinterpret_cast<std::uintptr_t>(writableStart);
    allocator->writable.next = allocator->writable.start;
    allocator->readOnly.size = readOnlyPages * page;
    allocator->readOnly.start = reinterpret_cast<std::uintptr_t>(readOnlyStart);
    allocator->readOnly.next = allocator->readOnly.start + kWRKAllocatorRecordSize;
    return allocator;
}

void* WRKAllocatorSafeAllocateFromRegion(WRKAllocatorRegion* region, std::size_t size) {
    const std::size_t rounded = roundUp(size);
    std::uintptr_t next = region->next.load();
    for (;;) {
        if (next - region->start + rounded > region->size) {
            kit::log(
                "[Wreckord:Crash] Unable to allocate sufficient memory, falling back to malloc");
            return std::malloc(size);
        }
        if (region->next.compare_exchange_weak(next, next + rounded)) {
            return WRKAddressPointer(next);
        }
    }
}

void* WRKAllocatorSafeAllocate(WRKAllocator* allocator, std::size_t size, int type) {
    if (allocator == nullptr) {
        kit::log("[Wreckord:Crash] Allocator invalid, falling back to malloc");
        return std::malloc(size);
    }
    if (allocator->protectedFlag) {
        kit::log("[Wreckord:Crash] Allocator already protected, falling back to malloc");
        return std::malloc(size);
    }
    switch (type) {
        case WRKAllocationTypeWritable:
            return WRKAllocatorSafeAllocateFromRegion(&allocator->writable, size);
        case WRKAllocationTypeReadOnly:
            return WRKAllocatorSafeAllocateFromRegion(&allocator->readOnly, size);
        default:
            return nullptr;
    }
}

bool WRKAllocatorProtect(WRKAllocator* allocator) {
    if (reinterpret_cast<std::uintptr_t>(allocator) < 0x1000) {
        kit::log("[Wreckord:Crash] Invalid allocator");
        return false;
    }
    if (allocator->protectedFlag) {
        return true;
    }
    allocator->protectedFlag = true;
    if (::mprotect(WRKAddressPointer(allocator->readOnly.start), allocator->readOnly.size,
                   PROT_READ) != 0) {
        allocator->protectedFlag = false;
        logError("Memory protection failed");
        return false;
    }
    return true;
}

bool WRKAllocatorUnprotect(WRKAllocator* allocator) {
    if (reinterpret_cast<std::uintptr_t>(allocator) < 0x1000) {
        return false;
    }
    if (::mprotect(allocator->base, allocator->mappingSize, PROT_READ | PROT_WRITE) != 0) {
        return false;
    }
    allocator->protectedFlag = false;
    return true;
}

void WRKAllocatorFree(WRKAllocator* allocator, void* memory) {
    if (allocator == nullptr) {
        std::free(memory);
    }
}

void WRKAllocatorDestroy(WRKAllocator*) {}

bool WRKAllocatorOwns(const WRKAllocator* allocator, const void* address) {
    const auto a = reinterpret_cast<std::uintptr_t>(address);
    const auto inside = [a](const WRKAllocatorRegion& r) {
        return a >= r.start && a < r.start + r.size;
    };
    return allocator != nullptr && (inside(allocator->writable) || inside(allocator->readOnly));
}

}  // namespace talvor::crash
