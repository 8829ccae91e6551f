// The crash platform layer on aarch64, run under qemu-user (which refuses the kernel copy
// between address spaces, so reads go through the pipe): bad reads fail, a stopped thread's
// registers hold the marker it set, a thread blocking the parking signal is left out.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include "crash/WRKPlatform.h"
using namespace talvor::crash;
static int failures = 0;
#define CHECK(x)                                                    \
    do {                                                            \
        if (!(x)) {                                                 \
            std::printf("FAIL %s:%d %s\n", __FILE__, __LINE__, #x); \
            ++failures;                                             \
        }                                                           \
    } while (0)
volatile std::uint64_t turns = 0;
volatile std::uint8_t stop = 0;
static WRKSuspension suspension;
int main() {
    CHECK(WRKPlatformInitialize());
    long page = sysconf(_SC_PAGESIZE);
    char* base =
        (char*)mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    mprotect(base + page, page, PROT_NONE);
    char out[16];
    CHECK(!WRKReadMemory(nullptr, out, 1));
    CHECK(!WRKReadMemory(base + page, out, 8));
    CHECK(!WRKReadMemory(base + page - 4, out, 8));
    std::uint64_t v = 0x1122334455667788, c = 0;
    CHECK(WRKReadMemory(&v, &c, 8) && c == v);
    std::atomic<pid_t> tid{0};
    std::thread t([&] {
        tid = WRKCurrentThread();
        asm volatile(
            "mov x19, %[m]\n1:\n\tldr x9, [%[t]]\n\tadd x9, x9, #1\n\tstr x9, [%[t]]\n\tldrb w10, "
            "[%[s]]\n\tcbz w10, 1b\n" ::[m] "r"(0x5eedc0de600df00dULL),
            [t] "r"(&turns), [s] "r"(&stop)
            : "x19", "x9", "x10", "memory", "cc");
    });
    while (turns == 0) {
    }
    const pid_t id = tid.load();
    CHECK(WRKSuspendOtherThreads(2000, &suspension));
    bool found = false;
    for (std::size_t i = 0; i < suspension.count; ++i) {
        if (suspension.threads[i].thread == id) {
            found = true;
            CHECK(suspension.threads[i].stopped);
            CHECK(suspension.threads[i].state.registers[19] == 0x5eedc0de600df00dULL);
            CHECK(std::strcmp(WRKThreadStateRegisterName(19), "x19") == 0);
        }
    }
    CHECK(found);
    WRKResumeOtherThreads();
    stop = 1;
    t.join();
    std::atomic<bool> done{false};
    std::atomic<int> ready{0};
    std::atomic<pid_t> deafId{0};
    std::thread deaf([&] {
        deafId = WRKCurrentThread();
        sigset_t s;
        sigemptyset(&s);
        sigaddset(&s, WRKParkingSignal());
        pthread_sigmask(SIG_BLOCK, &s, nullptr);
        ready = 1;
        while (!done)
            usleep(1000);
    });
    while (!ready) {
    }
    CHECK(WRKSuspendOtherThreads(200, &suspension));
    // qemu-user lists threads of its own, which never answer either.
    bool deafListed = false;
    for (std::size_t i = 0; i < suspension.count; ++i) {
        deafListed = deafListed || suspension.threads[i].thread == deafId.load();
        CHECK(suspension.threads[i].thread != deafId.load() || !suspension.threads[i].stopped);
    }
    CHECK(deafListed);
    WRKResumeOtherThreads();
    done = true;
    deaf.join();
    std::printf("%s (%d failures)\n", failures ? "FAILED" : "PASSED", failures);
    return failures != 0;
}
