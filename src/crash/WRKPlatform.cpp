#include "crash/WRKPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace talvor::crash {
namespace {

std::atomic<bool> platformReady{false};
std::atomic<int> probePipe[2] = {-1, -1};
std::atomic_flag probePipeBusy = ATOMIC_FLAG_INIT;
std::atomic<bool> forcePipe{false};
std::atomic<bool> kernelCopyRefused{false};
std::atomic<std::size_t> pageSize{4096};

long futex(std::atomic<int>* word, int op, int value, const timespec* timeout) {
    return ::syscall(SYS_futex, reinterpret_cast<int*>(word), op, value, timeout, nullptr, 0);
}

std::uint64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

bool validRange(const void* address, std::size_t length) {
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    return start >= kWRKMinimumReadableAddress && start + length >= start;
}

bool readByKernelCopy(const void* address, void* out, std::size_t length, bool* refused) {
    iovec local{out, length};
    iovec remote{const_cast<void*>(address), length};
    const ssize_t copied =
        ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1ul, &remote, 1ul, 0ul);
    if (copied < 0 && (errno == ENOSYS || errno == EPERM)) {
        *refused = true;
        return false;
    }
    return copied == static_cast<ssize_t>(length);
}

// The kernel refuses to write() from an unreadable address (EFAULT) instead of faulting, so
// a pipe tells readable bytes from unreadable ones. One reader at a time: the bytes of two
// readers must not mix in the pipe.
bool readByPipe(const void* address, void* out, std::size_t length) {
    const int readEnd = probePipe[0].load();
    const int writeEnd = probePipe[1].load();
    if (readEnd < 0 || writeEnd < 0) {
        return false;
    }
    while (probePipeBusy.test_and_set(std::memory_order_acquire)) {
    }
    bool ok = true;
    const auto* from = static_cast<const char*>(address);
    auto* to = static_cast<char*>(out);
    std::size_t done = 0;
    while (ok && done < length) {
        const std::size_t chunk = length - done < 4096 ? length - done : 4096;
        const ssize_t written = ::write(writeEnd, from + done, chunk);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ok = false;
            break;
        }
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(written)) {
            const ssize_t n =
                ::read(readEnd, to + done + got, static_cast<std::size_t>(written) - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = false;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        done += got;
        ok = ok && static_cast<std::size_t>(written) == chunk;
    }
    probePipeBusy.clear(std::memory_order_release);
    return ok && done == length;
}

// Parking: one slot per thread asked to stop.
enum SlotState : int { SlotIdle = 0, SlotAsked = 1, SlotStopped = 2 };
struct ParkingSlot {
    std::atomic<pid_t> thread{0};
    std::atomic<int> state{SlotIdle};
    WRKThreadState registers;
};
ParkingSlot parkingSlots[kWRKMaxSuspendedThreads];
std::atomic<bool> suspensionActive{false};
std::atomic<int> stoppedCount{0};   // threads that stored their registers
std::atomic<int> insideHandler{0};  // threads still in the parking handler
std::atomic<int> releaseGeneration{0};
std::size_t slotsInUse = 0;
int parkingSignal = 0;

void parkingHandler(int, siginfo_t*, void* userContext) {
    const int savedErrno = errno;
    insideHandler.fetch_add(1);
    const pid_t self = WRKCurrentThread();
    const int generation = releaseGeneration.load();
    ParkingSlot* slot = nullptr;
    if (suspensionActive.load()) {
        for (ParkingSlot& candidate : parkingSlots) {
            if (candidate.thread.load() == self) {
                slot = &candidate;
                break;
            }
        }
    }
    int asked = SlotAsked;
    if (slot != nullptr && slot->state.compare_exchange_strong(asked, SlotStopped)) {
        WRKThreadStateFromContext(static_cast<const ucontext_t*>(userContext), &slot->registers);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        stoppedCount.fetch_add(1);
        futex(&stoppedCount, FUTEX_WAKE_PRIVATE, 1, nullptr);
        while (releaseGeneration.load() == generation) {
            futex(&releaseGeneration, FUTEX_WAIT_PRIVATE, generation, nullptr);
        }
    }
    insideHandler.fetch_sub(1);
    errno = savedErrno;
}

bool installParkingHandler() {
    parkingSignal = SIGRTMIN + 3;
    struct sigaction action {};
    ::sigfillset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    action.sa_sigaction = parkingHandler;
    return ::sigaction(parkingSignal, &action, nullptr) == 0;
}

std::size_t parseThreadID(const char* name, pid_t* out) {
    pid_t value = 0;
    std::size_t digits = 0;
    for (; name[digits] >= '0' && name[digits] <= '9'; ++digits) {
        value = value * 10 + (name[digits] - '0');
    }
    *out = value;
    return name[digits] == '\0' ? digits : 0;
}

}  // namespace

bool WRKPlatformInitialize() {
    if (platformReady.load()) {
        return true;
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    pageSize.store(page > 0 ? static_cast<std::size_t>(page) : 4096);
    int fds[2];
    bool ok = ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
    if (ok) {
        probePipe[0].store(fds[0]);
        probePipe[1].store(fds[1]);
    }
    ok = installParkingHandler() && ok;
    platformReady.store(true);
    return ok;
}

bool WRKReadMemory(const void* address, void* out, std::size_t length) {
    if (out == nullptr || !validRange(address, length)) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (!forcePipe.load() && !kernelCopyRefused.load()) {
        bool refused = false;
        const int savedErrno = errno;
        const bool ok = readByKernelCopy(address, out, length, &refused);
        errno = savedErrno;
        if (!refused) {
            return ok;
        }
        kernelCopyRefused.store(true);
    }
    const int savedErrno = errno;
    const bool ok = readByPipe(address, out, length);
    errno = savedErrno;
    return ok;
}

bool WRKReadString(const char* address, const char** out, std::size_t maximum) {
    if (out == nullptr) {
        return false;
    }
    if (maximum == 0) {
        *out = address;
        return true;
    }
    if (reinterpret_cast<std::uintptr_t>(address) < kWRKMinimumReadableAddress) {
        return false;
    }
    for (std::size_t i = 0; i < maximum; ++i) {
        char byte = 0;
        if (!WRKReadMemory(address + i, &byte, 1)) {
            return false;
        }
        if (byte == '\0') {
            break;
        }
    }
    *out = address;
    return true;
}

void WRKPlatformForcePipeReads(bool force) {
    forcePipe.store(force);
}

pid_t WRKCurrentThread() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

std::size_t WRKListThreads(pid_t* threads, std::size_t capacity) {
    const int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    std::size_t count = 0;
    alignas(8) char buffer[2048];
    for (;;) {
        const long bytes = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (bytes <= 0) {
            break;
        }
        for (long at = 0; at < bytes;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            pid_t thread = 0;
            if (parseThreadID(entry->d_name, &thread) > 0 && count < capacity) {
                // Insertion keeps the list ascending, the order of thread creation.
                std::size_t i = count++;
                for (; i > 0 && threads[i - 1] > thread; --i) {
                    threads[i] = threads[i - 1];
                }
                threads[i] = thread;
            }
            at += entry->d_reclen;
        }
    }
    ::close(fd);
    return count;
}

bool WRKThreadName(pid_t thread, char* out, std::size_t size) {
    if (out == nullptr || size == 0) {
        return false;
    }
    char path[64] = "/proc/self/task/";
    std::size_t at = std::strlen(path);
    char digits[16];
    std::size_t n = 0;
    auto value = static_cast<unsigned>(thread);
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        path[at++] = digits[--n];
    }
    std::memcpy(path + at, "/comm", 6);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ssize_t length = ::read(fd, out, size - 1);
    ::close(fd);
    if (length < 0) {
        return false;
    }
    while (length > 0 && (out[length - 1] == '\n' || out[length - 1] == '\0')) {
        --length;
    }
    out[length] = '\0';
    return true;
}

const char* WRKThreadStateRegisterName(std::size_t index) {
#if defined(__x86_64__)
    static constexpr const char* names[] = {"rax", "rbx", "rcx", "rdx",    "rdi", "rsi", "rbp",
                                            "rsp", "r8",  "r9",  "r10",    "r11", "r12", "r13",
                                            "r14", "r15", "rip", "rflags", "cs",  "fs",  "gs"};
#elif defined(__aarch64__)
    static constexpr const char* names[] = {
        "x0",  "x1",  "x2",  "x3",  "x4",  "x5",  "x6",  "x7",  "x8",  "x9",  "x10", "x11",
        "x12", "x13", "x14", "x15", "x16", "x17", "x18", "x19", "x20", "x21", "x22", "x23",
        "x24", "x25", "x26", "x27", "x28", "fp",  "lr",  "sp",  "pc",  "cpsr"};
#else
    static constexpr const char* names[] = {"none"};
#endif
    return index < std::size(names) ? names[index] : nullptr;
}

bool WRKThreadStateFromContext(const ucontext_t* context, WRKThreadState* state) {
    if (context == nullptr || state == nullptr) {
        return false;
    }
#if defined(__x86_64__)
    const greg_t* g = context->uc_mcontext.gregs;
    const int order[] = {REG_RAX, REG_RBX, REG_RCX, REG_RDX, REG_RDI, REG_RSI,
                         REG_RBP, REG_RSP, REG_R8,  REG_R9,  REG_R10, REG_R11,
                         REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP, REG_EFL};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        state->registers[i] = static_cast<std::uint64_t>(g[order[i]]);
    }
    // cs, gs and fs share one word, 16 bits each from the low end.
    const auto segments = static_cast<std::uint64_t>(g[REG_CSGSFS]);
    state->registers[18] = segments & 0xffff;
    state->registers[19] = (segments >> 32) & 0xffff;
    state->registers[20] = (segments >> 16) & 0xffff;
    return true;
#elif defined(__aarch64__)
    const mcontext_t& m = context->uc_mcontext;
    for (std::size_t i = 0; i < 31; ++i) {
        state->registers[i] = m.regs[i];  // x0-x28, fp (x29), lr (x30)
    }
    state->registers[31] = m.sp;
    state->registers[32] = m.pc;
    state->registers[33] = m.pstate;
    return true;
#else
    return false;
#endif
}

int WRKParkingSignal() {
    return parkingSignal;
}

bool WRKSuspendOtherThreads(unsigned timeoutMs, WRKSuspension* out) {
    if (out == nullptr) {
        return false;
    }
    out->count = 0;
    out->stopped = 0;
    bool idle = false;
    if (!platformReady.load() || parkingSignal == 0 ||
        !suspensionActive.compare_exchange_strong(idle, true)) {
        return false;
    }
    const pid_t self = WRKCurrentThread();
    pid_t threads[kWRKMaxSuspendedThreads];
    const std::size_t listed = WRKListThreads(threads, kWRKMaxSuspendedThreads);
    stoppedCount.store(0);
    slotsInUse = 0;
    for (std::size_t i = 0; i < listed; ++i) {
        if (threads[i] == self) {
            continue;
        }
        ParkingSlot& slot = parkingSlots[slotsInUse++];
        slot.registers = WRKThreadState{};
        slot.state.store(SlotAsked);
        slot.thread.store(threads[i]);
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
    int asked = 0;
    for (std::size_t i = 0; i < slotsInUse; ++i) {
        if (::syscall(SYS_tgkill, ::getpid(), parkingSlots[i].thread.load(), parkingSignal) == 0) {
            ++asked;
        }
    }
    const std::uint64_t deadline = monotonicNs() + std::uint64_t{timeoutMs} * 1000000u;
    for (;;) {
        const int seen = stoppedCount.load();
        const std::uint64_t now = monotonicNs();
        if (seen >= asked || now >= deadline) {
            break;
        }
        const std::uint64_t left = deadline - now;
        timespec wait{static_cast<time_t>(left / 1000000000u),
                      static_cast<long>(left % 1000000000u)};
        futex(&stoppedCount, FUTEX_WAIT_PRIVATE, seen, &wait);
    }
    // A thread that answers after this point finds its slot withdrawn and goes on.
    for (std::size_t i = 0; i < slotsInUse; ++i) {
        ParkingSlot& slot = parkingSlots[i];
        int state = SlotAsked;
        slot.state.compare_exchange_strong(state, SlotIdle);
        WRKSuspendedThread& entry = out->threads[out->count++];
        entry.thread = slot.thread.load();
        entry.stopped = state == SlotStopped;
        if (entry.stopped) {
            entry.state = slot.registers;
            ++out->stopped;
        }
    }
    return true;
}

void WRKResumeOtherThreads() {
    if (!suspensionActive.load()) {
        return;
    }
    releaseGeneration.fetch_add(1);
    futex(&releaseGeneration, FUTEX_WAKE_PRIVATE, 0x7fffffff, nullptr);
    const std::uint64_t deadline = monotonicNs() + 1000000000u;
    while (insideHandler.load() > 0 && monotonicNs() < deadline) {
        timespec pauseBriefly{0, 1000000};
        ::nanosleep(&pauseBriefly, nullptr);
    }
    for (std::size_t i = 0; i < slotsInUse; ++i) {
        parkingSlots[i].state.store(SlotIdle);
        parkingSlots[i].thread.store(0);
    }
    slotsInUse = 0;
    suspensionActive.store(false);
}

std::size_t WRKPlatformPageSize() {
    if (!platformReady.load()) {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? static_cast<std::size_t>(page) : 4096;
    }
    return pageSize.load();
}

bool WRKPlatformIsTraced() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char text[8192];
    std::size_t length = 0;
    for (;;) {
        const ssize_t n = ::read(fd, text + length, sizeof text - 1 - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        length += static_cast<std::size_t>(n);
        if (length == sizeof text - 1) {
            break;
        }
    }
    ::close(fd);
    text[length] = '\0';
    static constexpr char key[] = "\nTracerPid:";
    for (std::size_t at = 0; at + sizeof key - 1 <= length; ++at) {
        if (std::memcmp(text + at, key, sizeof key - 1) == 0) {
            const char* p = text + at + sizeof key - 1;
            while (*p == ' ' || *p == '\t') {
                ++p;
            }
            return *p >= '1' && *p <= '9';
        }
    }
    return false;
}

std::uint64_t WRKAbsoluteTimeNanoseconds() {
    return monotonicNs();
}

}  // namespace talvor::crash
