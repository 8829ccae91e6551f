#include "crash/WRKAllocator.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace talvor::crash {
namespace {

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

TEST(crashWRKAllocator, LaysOutGuardedRegionsOfWholePages) {
    WRKAllocator* allocator = WRKAllocatorCreate(10000, 100);
    ASSERT_NE(allocator, nullptr);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_EQ(allocator->pageSize, page);
    EXPECT_EQ(allocator->writable.start, address(allocator->base) + page);
    EXPECT_EQ(allocator->writable.size, (10000 / page + 1) * page);
    EXPECT_EQ(allocator->readOnly.start,
              allocator->writable.start + allocator->writable.size + page);
    EXPECT_EQ(address(allocator), allocator->readOnly.start);  // the record lives in its region
    EXPECT_EQ(allocator->mappingSize,
              allocator->writable.size + allocator->readOnly.size + 3 * page);
}

TEST(crashWRKAllocator, AlignsEveryBlockAndFallsBackToTheHeapWhenFull) {
    WRKAllocator* allocator = WRKAllocatorCreate(4000, 100);
    ASSERT_NE(allocator, nullptr);
    void* odd = WRKAllocatorSafeAllocate(allocator, 7, WRKAllocationTypeReadOnly);
    void* next = WRKAllocatorSafeAllocate(allocator, 8, WRKAllocationTypeReadOnly);
    EXPECT_TRUE(WRKAllocatorOwns(allocator, odd));
    EXPECT_EQ(address(odd) % kWRKAllocatorAlignment, 0u);
    EXPECT_EQ(address(next) % kWRKAllocatorAlignment, 0u);
    EXPECT_GE(address(next), address(odd) + 7);

    void* tooBig = WRKAllocatorSafeAllocate(allocator, allocator->writable.size + 1,
                                            WRKAllocationTypeWritable);
    ASSERT_NE(tooBig, nullptr);
    EXPECT_FALSE(WRKAllocatorOwns(allocator, tooBig));
    WRKAllocatorFree(nullptr, tooBig);
    EXPECT_EQ(WRKAllocatorSafeAllocate(allocator, 8, 2), nullptr);

    void* heap = WRKAllocatorSafeAllocate(nullptr, 8, WRKAllocationTypeWritable);
    ASSERT_NE(heap, nullptr);
    WRKAllocatorFree(nullptr, heap);
}

TEST(crashWRKAllocator, ConcurrentAllocationsAreDisjoint) {
    WRKAllocator* allocator = WRKAllocatorCreate(8 * 200 * 48, 100);
    ASSERT_NE(allocator, nullptr);
    std::vector<std::vector<std::uintptr_t>> blocks(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < blocks.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                blocks[t].push_back(
                    address(WRKAllocatorSafeAllocate(allocator, 33, WRKAllocationTypeWritable)));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<std::uintptr_t> all;
    for (const auto& list : blocks) {
        all.insert(all.end(), list.begin(), list.end());
    }
    std::sort(all.begin(), all.end());
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_GE(all[i], all[i - 1] + 33);
    }
    EXPECT_TRUE(WRKAllocatorOwns(allocator, reinterpret_cast<void*>(all.back())));
}

TEST(crashWRKAllocator, AfterProtectionEveryAllocationComesFromTheHeap) {
    WRKAllocator* allocator = WRKAllocatorCreate(4000, 100);
    ASSERT_NE(allocator, nullptr);
    EXPECT_TRUE(WRKAllocatorProtect(allocator));
    EXPECT_TRUE(WRKAllocatorProtect(allocator));  // already: still a success
    for (int type : {WRKAllocationTypeReadOnly, WRKAllocationTypeWritable}) {
        void* p = WRKAllocatorSafeAllocate(allocator, 8, type);
        EXPECT_FALSE(WRKAllocatorOwns(allocator, p));
        WRKAllocatorFree(nullptr, p);
    }
    EXPECT_FALSE(WRKAllocatorProtect(nullptr));
    EXPECT_TRUE(WRKAllocatorUnprotect(allocator));
    EXPECT_FALSE(allocator->protectedFlag);
}

using WRKAllocatorDeathTest = ::testing::Test;

TEST(crashWRKAllocatorDeathTest, GuardPagesAndTheProtectedRegionFault) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WRKAllocator* allocator = WRKAllocatorCreate(4000, 100);
    ASSERT_NE(allocator, nullptr);
    auto* readOnly = static_cast<volatile char*>(
        WRKAllocatorSafeAllocate(allocator, 8, WRKAllocationTypeReadOnly));
    auto* writable = static_cast<volatile char*>(
        WRKAllocatorSafeAllocate(allocator, 8, WRKAllocationTypeWritable));
    readOnly[0] = 1;
    writable[0] = 1;
    ASSERT_TRUE(WRKAllocatorProtect(allocator));
    writable[0] = 2;  // still writable
    EXPECT_EQ(readOnly[0], 1);
    auto* base = static_cast<volatile char*>(allocator->base);
    const std::size_t page = allocator->pageSize;
    auto* middle =
        reinterpret_cast<volatile char*>(allocator->writable.start + allocator->writable.size);
    auto* last =
        reinterpret_cast<volatile char*>(allocator->readOnly.start + allocator->readOnly.size);
    EXPECT_DEATH(readOnly[0] = 3, "");
    EXPECT_DEATH(base[0] = 1, "");
    EXPECT_DEATH(base[page - 1] = 1, "");
    EXPECT_DEATH(middle[0] = 1, "");
    EXPECT_DEATH(last[0] = 1, "");
}

}  // namespace
}  // namespace talvor::crash
