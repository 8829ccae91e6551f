#include "crash/WRKPlatform.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace talvor::crash {
namespace {

using namespace std::chrono_literals;

// Two pages: the first readable, the second unreadable.
class GuardedPages {
  public:
    GuardedPages() {
        page_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        void* base =
            ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(base, MAP_FAILED);
        base_ = static_cast<char*>(base);
        std::memset(base_, 'x', page_);
        ::mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~GuardedPages() { ::munmap(base_, 2 * page_); }
    char* readable() const { return base_; }
    char* unreadable() const { return base_ + page_; }
    std::size_t page() const { return page_; }

  private:
    std::size_t page_ = 0;
    char* base_ = nullptr;
};

// Every read runs once through the kernel copy and once through the pipe fallback.
class ReadMemoryTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(WRKPlatformInitialize());
        WRKPlatformForcePipeReads(GetParam());
    }
    void TearDown() override { WRKPlatformForcePipeReads(false); }
};

TEST_P(ReadMemoryTest, BadAddressesFailWithoutFaulting) {
    GuardedPages pages;
    void* unmapped = ::mmap(nullptr, pages.page(), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unmapped, MAP_FAILED);
    ::munmap(unmapped, pages.page());
    struct Row {
        const char* what;
        const void* address;
        std::size_t length;
    };
    const Row rows[] = {
        {"null", nullptr, 1},
        {"below the first page", reinterpret_cast<const void*>(0xfff), 1},
        {"unmapped page", unmapped, 8},
        {"no-access page", pages.unreadable(), 8},
        {"running into the no-access page", pages.unreadable() - 4, 8},
        {"wrapping round the address space", reinterpret_cast<const void*>(~std::uintptr_t{0} - 3),
         16},
        {"kernel half", reinterpret_cast<const void*>(std::uintptr_t{0xffff800000001000}), 8},
    };
    for (const Row& row : rows) {
        char out[16] = {};
        EXPECT_FALSE(WRKReadMemory(row.address, out, row.length)) << row.what;
    }
    // Still usable afterwards (the pipe holds no left-over bytes).
    const std::uint64_t value = 0x1122334455667788;
    std::uint64_t copy = 0;
    EXPECT_TRUE(WRKReadMemory(&value, &copy, sizeof copy));
    EXPECT_EQ(copy, value);
}

TEST_P(ReadMemoryTest, GoodAddressesAreCopiedWhole) {
    std::vector<unsigned char> source(3 * 4096 + 17);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<unsigned char>(i * 7);
    }
    std::vector<unsigned char> copy(source.size());
    ASSERT_TRUE(WRKReadMemory(source.data(), copy.data(), copy.size()));
    EXPECT_EQ(copy, source);
    GuardedPages pages;
    char last[4] = {};
    EXPECT_TRUE(WRKReadMemory(pages.unreadable() - 4, last, 4));  // up to the edge
    EXPECT_EQ(std::string(last, 4), "xxxx");
}

TEST_P(ReadMemoryTest, StringsAreProbedUpToTheirEnd) {
    GuardedPages pages;
    char* edge = pages.unreadable() - 6;
    std::memcpy(edge, "hello", 6);
    const char* out = nullptr;
    EXPECT_TRUE(WRKReadString(edge, &out, 64));
    EXPECT_EQ(out, edge);
    // No zero before the no-access page.
    std::memcpy(edge, "abcdef", 6);
    out = nullptr;
    EXPECT_FALSE(WRKReadString(edge, &out, 64));
    EXPECT_TRUE(WRKReadString(edge, &out, 6));  // the maximum ends the probe first
    EXPECT_FALSE(WRKReadString(reinterpret_cast<const char*>(0x10), &out, 4));
    EXPECT_TRUE(WRKReadString(nullptr, &out, 0));
}

INSTANTIATE_TEST_SUITE_P(crashPlatform, ReadMemoryTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return row.param ? std::string("pipe") : std::string("kernel_copy");
                         });

// A thread that spins in a loop with a marker in a callee-saved register, counting its turns.
struct MarkedThread {
    static constexpr std::uint64_t kMarker = 0x5eedc0de600df00d;
#if defined(__x86_64__)
    static constexpr const char* kRegister = "r12";
#elif defined(__aarch64__)
    static constexpr const char* kRegister = "x19";
#endif
    volatile std::uint64_t turns = 0;
    volatile std::uint8_t stop = 0;
    bool blockParking = false;
    std::atomic<pid_t> id{0};
    std::thread thread;

    void start() {
        thread = std::thread([this] {
            if (blockParking) {
                sigset_t set;
                ::sigemptyset(&set);
                ::sigaddset(&set, WRKParkingSignal());
                ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
            }
            id.store(WRKCurrentThread());
            spin();
        });
        while (turns == 0) {
            std::this_thread::yield();
        }
    }
    void spin() {
#if defined(__x86_64__)
        asm volatile(
            "movq %[marker], %%r12\n"
            "1:\n\t"
            "incq %[turns]\n\t"
            "cmpb $0, %[stop]\n\t"
            "je 1b\n"
            : [turns] "+m"(turns)
            : [marker] "r"(kMarker), [stop] "m"(stop)
            : "r12", "memory", "cc");
#elif defined(__aarch64__)
        asm volatile(
            "mov x19, %[marker]\n"
            "1:\n\t"
            "ldr x9, [%[turns]]\n\t"
            "add x9, x9, #1\n\t"
            "str x9, [%[turns]]\n\t"
            "ldrb w10, [%[stop]]\n\t"
            "cbz w10, 1b\n"
            :
            : [marker] "r"(kMarker), [turns] "r"(&turns), [stop] "r"(&stop)
            : "x19", "x9", "x10", "memory", "cc");
#endif
    }
    void finish() {
        stop = 1;
        thread.join();
    }
};

const WRKSuspendedThread* entryFor(const WRKSuspension& suspension, pid_t thread) {
    for (std::size_t i = 0; i < suspension.count; ++i) {
        if (suspension.threads[i].thread == thread) {
            return &suspension.threads[i];
        }
    }
    return nullptr;
}

std::size_t registerIndex(const std::string& name) {
    for (std::size_t i = 0; i < WRKThreadState::kRegisterCount; ++i) {
        if (WRKThreadStateRegisterName(i) == name) {
            return i;
        }
    }
    return WRKThreadState::kRegisterCount;
}

WRKSuspension suspension;  // large: not on the test's stack

TEST(crashPlatform, AParkedThreadHoldsStillWithTheRegistersItSet) {
    ASSERT_TRUE(WRKPlatformInitialize());
    MarkedThread marked;
    marked.start();
    ASSERT_TRUE(WRKSuspendOtherThreads(2000, &suspension));
    const std::uint64_t turnsWhenStopped = marked.turns;
    std::this_thread::sleep_for(50ms);
    const std::uint64_t turnsLater = marked.turns;
    const WRKSuspendedThread* entry = entryFor(suspension, marked.id.load());
    WRKResumeOtherThreads();

    EXPECT_EQ(turnsLater, turnsWhenStopped) << "the thread ran on while parked";
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->stopped);
    const std::size_t index = registerIndex(MarkedThread::kRegister);
    ASSERT_LT(index, WRKThreadState::kRegisterCount);
    EXPECT_EQ(entry->state.registers[index], MarkedThread::kMarker);
    // The stack pointer lies on the thread's own stack, not on the caller's.
    int here = 0;
    const auto callerStack = reinterpret_cast<std::uintptr_t>(&here);
    EXPECT_NE(entry->state.registers[WRKThreadState::kSP] & ~std::uintptr_t{0xfffff},
              callerStack & ~std::uintptr_t{0xfffff});
    EXPECT_EQ(entryFor(suspension, WRKCurrentThread()), nullptr) << "the caller listed itself";

    // Released, it goes on.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (marked.turns == turnsLater && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_GT(marked.turns, turnsLater);
    marked.finish();
}

TEST(crashPlatform, AThreadBlockingTheParkingSignalTimesOutAndTheOthersStillStop) {
    ASSERT_TRUE(WRKPlatformInitialize());
    MarkedThread deaf;
    deaf.blockParking = true;
    deaf.start();
    MarkedThread answering;
    answering.start();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(WRKSuspendOtherThreads(200, &suspension));
    const auto waited = std::chrono::steady_clock::now() - started;
    const WRKSuspendedThread* deafEntry = entryFor(suspension, deaf.id.load());
    const WRKSuspendedThread* answeringEntry = entryFor(suspension, answering.id.load());
    const std::size_t stopped = suspension.stopped;
    const std::size_t count = suspension.count;
    WRKResumeOtherThreads();

    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 3s);
    ASSERT_NE(deafEntry, nullptr);
    EXPECT_FALSE(deafEntry->stopped);
    ASSERT_NE(answeringEntry, nullptr);
    EXPECT_TRUE(answeringEntry->stopped);
    EXPECT_EQ(stopped, count - 1);
    deaf.finish();
    answering.finish();
    // A second suspension works after the time-out.
    ASSERT_TRUE(WRKSuspendOtherThreads(200, &suspension));
    WRKResumeOtherThreads();
}

TEST(crashPlatform, ThreadsAreListedAscendingWithTheirNames) {
    std::atomic<pid_t> worker{0};
    std::atomic<bool> done{false};
    std::thread thread([&] {
        ::pthread_setname_np(::pthread_self(), "talvor-listed");
        worker.store(WRKCurrentThread());
        while (!done.load()) {
            std::this_thread::sleep_for(1ms);
        }
    });
    while (worker.load() == 0) {
        std::this_thread::yield();
    }
    pid_t threads[64];
    const std::size_t count = WRKListThreads(threads, 64);
    EXPECT_TRUE(std::is_sorted(threads, threads + count));
    EXPECT_NE(std::find(threads, threads + count, WRKCurrentThread()), threads + count);
    EXPECT_NE(std::find(threads, threads + count, worker.load()), threads + count);
    // The main thread too; not always the lowest number, as thread ids wrap around.
    EXPECT_NE(std::find(threads, threads + count, ::getpid()), threads + count);
    char name[16];
    ASSERT_TRUE(WRKThreadName(worker.load(), name, sizeof name));
    EXPECT_STREQ(name, "talvor-listed");
    EXPECT_FALSE(WRKThreadName(0x7ffffff0, name, sizeof name));
    pid_t one[1];
    EXPECT_EQ(WRKListThreads(one, 1), 1u);  // capped at the capacity
    done.store(true);
    thread.join();
}

TEST(crashPlatform, PageSizeAndClockComeFromTheKernel) {
    ASSERT_TRUE(WRKPlatformInitialize());
    EXPECT_EQ(WRKPlatformPageSize(), static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
    const std::uint64_t before = WRKAbsoluteTimeNanoseconds();
    std::this_thread::sleep_for(2ms);
    EXPECT_GE(WRKAbsoluteTimeNanoseconds() - before, 2000000u);
}

}  // namespace
}  // namespace talvor::crash
