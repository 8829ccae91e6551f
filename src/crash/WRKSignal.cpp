#include "crash/WRKSignal.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "crash/WRKContext.h"
#include "crash/WRKFile.h"
#include "crash/WRKMachException.h"
#include "kit/KitLog.h"

namespace talvor::crash {

std::atomic<int> WRKCaptureInProgress{0};

namespace {

// Alternate stacks for the application's own threads, set aside at capture start: one
// mapping, a guard page below each stack.
constexpr std::size_t kThreadStackCount = 64;
constexpr std::size_t kThreadStackSize = 64 * 1024;

std::atomic<char*> threadStacks{nullptr};
std::atomic<std::uint64_t> threadStacksInUse{0};
thread_local int threadStackSlot = -1;

std::size_t threadStackStride() {
    return kThreadStackSize + WRKHostGetPageSize();
}

void reserveThreadStacks() {
    if (threadStacks.load() != nullptr) {
        return;
    }
    const std::size_t page = WRKHostGetPageSize();
    const std::size_t total = kThreadStackCount * threadStackStride();
    void* base = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        kit::log(std::string("[Wreckord:Crash] Unable to set aside thread signal stacks: ") +
                 std::strerror(errno));
        return;
    }
    auto* bytes = static_cast<char*>(base);
    for (std::size_t i = 0; i < kThreadStackCount; ++i) {
        ::mprotect(bytes + i * threadStackStride(), page, PROT_NONE);
    }
    threadStacks.store(bytes);
}

pid_t currentThread() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// A thread that faults while another is recording waits for the process to end: exiting
// here would cut the other record short.
[[noreturn]] void park() {
    sigset_t all;
    ::sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, nullptr);
    for (;;) {
        ::pause();
    }
}

bool isValidPointer(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) >= 0x1000;
}

// Whether returning alone would not deliver the signal again (see the header).
bool mustRaiseAgain(int signal, const siginfo_t* info) {
    return !isValidPointer(info) || info->si_code <= 0 || signal == SIGTRAP || signal == SIGSYS;
}

void raiseAgain(int signal) {
    ::syscall(SYS_tgkill, ::getpid(), currentThread(), signal);
}

void writeSignalLine(WRKFile* file, int signal, const siginfo_t* info, int savedErrno) {
    WRKFileWriteSectionStart(file, "signal");
    WRKFileWriteHashStart(file);
    if (isValidPointer(info)) {
        const char* name = nullptr;
        const char* codeName = nullptr;
        WRKSignalNameLookup(signal, info->si_code, &name, &codeName);
        WRKFileWriteHashEntryUint64(file, "number", static_cast<std::uint64_t>(info->si_signo));
        // Signed: a signal sent by a process has a negative code.
        WRKFileWriteHashEntryInt64(file, "code", info->si_code);
        WRKFileWriteHashEntryUint64(file, "address",
                                    reinterpret_cast<std::uintptr_t>(info->si_addr));
        WRKFileWriteHashEntryString(file, "name", name);
        WRKFileWriteHashEntryString(file, "code_name", codeName);
        // The fault in the kernel-exception terms the report names crashes by.
        WRKMachExceptionWriteForSignal(file, signal, info->si_code,
                                       reinterpret_cast<std::uintptr_t>(info->si_addr));
    }
    WRKFileWriteHashEntryUint64(file, "errno", static_cast<std::uint64_t>(savedErrno));
    WRKFileWriteHashEntryUint64(file, "time", WRKCurrentTimeSeconds());
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

}  // namespace

bool WRKSignalInitialize(WRKSignalReadContext* context, void* stack, std::size_t stackSize) {
    if (context == nullptr) {
        return false;
    }
    if (!WRKUnlinkIfExists(context->signalPath)) {
        kit::log(std::string("[Wreckord:Crash] Unable to reset the signal log file ") +
                 (context->signalPath != nullptr ? context->signalPath : "(null)"));
    }
    reserveThreadStacks();
    bool ok = true;
    if (stack != nullptr) {
        stack_t ours{};
        ours.ss_sp = stack;
        ours.ss_size = stackSize;
        ours.ss_flags = 0;
        stack_t previous{};
        if (::sigaltstack(&ours, &previous) != 0) {
            kit::log(std::string("[Wreckord:Crash] Unable to setup stack ") + std::strerror(errno));
            ok = false;
        } else if (!(previous.ss_flags & SS_DISABLE)) {
            context->originalStack = previous;
            context->hasOriginalStack = true;
        }
    }
    WRKSignalEnumerateHandledSignals([&](std::size_t index, int signal) {
        struct sigaction action {};
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        action.sa_sigaction = WRKSignalHandler;
        struct sigaction previous {};
        if (::sigaction(signal, &action, &previous) != 0) {
            kit::log("[Wreckord:Crash] Unable to install handler for " + std::to_string(index) +
                     " (" + std::strerror(errno) + ")");
            ok = false;
            return;
        }
        const bool hasHandler = (previous.sa_flags & SA_SIGINFO) ? previous.sa_sigaction != nullptr
                                                                 : previous.sa_handler != SIG_DFL;
        if (hasHandler) {
            context->originalActions[index] = previous;
            context->hasOriginalAction[index] = true;
        }
    });
    return ok;
}

void WRKSignalHandler(int signal, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    errno = 0;
    WRKCaptureInProgress.fetch_add(1);
    const pid_t self = currentThread();

    switch (WRKContextClaimCrash(self)) {
        case WRKCrashClaim::OtherThread:
            park();
        case WRKCrashClaim::SameThread:
            // After this thread's complete record (an uncaught exception, then its abort) the
            // signal goes where it would have gone without the kit, with no second record.
            if (!WRKContextCrashRecorded()) {
                // A fault inside the capture itself: nothing more is recorded, the default
                // action ends the process.
                WRKSignalSafeRemoveHandlers(true);
                WRKCaptureInProgress.fetch_sub(1);
                raiseAgain(signal);
                errno = savedErrno;
                return;
            }
            break;
        case WRKCrashClaim::NotInitialized:
            break;
        case WRKCrashClaim::Won: {
            const WRKContextReadOnly* ro = _clsContext.readonly;
            WRKFile file;
            if (WRKFileInitWithPath(&file, ro->signal.signalPath, false)) {
                writeSignalLine(&file, signal, info, savedErrno);
                WRKHandler(
                    &file, self,
                    isValidPointer(userContext) ? static_cast<ucontext_t*>(userContext) : nullptr);
                WRKFileClose(&file);
            }
            WRKContextMarkCrashRecorded();
            break;
        }
    }
    if (_clsContext.readonly != nullptr) {
        WRKSignalSafeInstallPreexistingHandlers(&_clsContext.readonly->signal);
    } else {
        WRKSignalSafeRemoveHandlers(true);
    }
    WRKCaptureInProgress.fetch_sub(1);
    if (mustRaiseAgain(signal, info)) {
        // Blocked while this handler runs: delivered as it returns, to the handler put back.
        raiseAgain(signal);
    }
    errno = savedErrno;
}

void WRKSignalSafeRemoveHandlers(bool includingAbort) {
    WRKSignalEnumerateHandledSignals([&](std::size_t, int signal) {
        if (signal == SIGABRT && !includingAbort) {
            return;
        }
        struct sigaction action {};
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        action.sa_handler = SIG_DFL;
        ::sigaction(signal, &action, nullptr);
    });
}

bool WRKSignalSafeInstallPreexistingHandlers(const WRKSignalReadContext* context) {
    WRKSignalSafeRemoveHandlers(true);
    if (context == nullptr) {
        return false;
    }
    bool ok = true;
    // Fails while running on the alternate stack; the earlier one then comes back with the
    // thread's end, which is near.
    if (context->hasOriginalStack && ::sigaltstack(&context->originalStack, nullptr) != 0) {
        ok = false;
    }
    WRKSignalEnumerateHandledSignals([&](std::size_t index, int signal) {
        if (context->hasOriginalAction[index] &&
            ::sigaction(signal, &context->originalActions[index], nullptr) != 0) {
            ok = false;
        }
    });
    return ok;
}

void WRKSignalCheckHandlers() {
    if (_clsContext.readonly == nullptr || _clsContext.readonly->debuggerAttached) {
        return;
    }
    WRKSignalEnumerateHandledSignals([](std::size_t, int signal) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0) {
            std::fputs("Unable to read signal handler\n", stderr);
            return;
        }
        const void* handler = (current.sa_flags & SA_SIGINFO)
                                  ? reinterpret_cast<const void*>(current.sa_sigaction)
                                  : reinterpret_cast<const void*>(current.sa_handler);
        if (handler == reinterpret_cast<const void*>(&WRKSignalHandler)) {
            return;
        }
        const char* name = nullptr;
        const char* codeName = nullptr;
        WRKSignalNameLookup(signal, 0, &name, &codeName);
        Dl_info info{};
        const char* symbol = (::dladdr(handler, &info) != 0 && info.dli_sname != nullptr)
                                 ? info.dli_sname
                                 : "(null)";
        std::fprintf(stderr,
                     "[Wreckord] The signal %s has a non-Wreckord handler (%s).  This will "
                     "interfere with reporting.\n",
                     name, symbol);
    });
}

void WRKSignalNameLookup(int signal, int, const char** name, const char** codeName) {
    const char* text = "UNKNOWN";
    switch (signal) {
        case SIGILL:
            text = "SIGILL";
            break;
        case SIGTRAP:
            text = "SIGTRAP";
            break;
        case SIGABRT:
            text = "SIGABRT";
            break;
        case SIGFPE:
            text = "SIGFPE";
            break;
        case SIGBUS:
            text = "SIGBUS";
            break;
        case SIGSEGV:
            text = "SIGSEGV";
            break;
        case SIGSYS:
            text = "SIGSYS";
            break;
        default:
            break;
    }
    if (name != nullptr) {
        *name = text;
    }
    if (codeName != nullptr) {
        *codeName = signal == SIGABRT ? "ABORT" : nullptr;
    }
}

bool WRKSignalInstallThreadStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) {
        return true;  // the thread has one already
    }
    char* stacks = threadStacks.load();
    if (stacks == nullptr) {
        return false;
    }
    std::uint64_t inUse = threadStacksInUse.load();
    for (;;) {
        if (inUse == ~std::uint64_t{0}) {
            return false;
        }
        const int slot = __builtin_ctzll(~inUse);
        if (threadStacksInUse.compare_exchange_weak(inUse, inUse | (std::uint64_t{1} << slot))) {
            stack_t ours{};
            ours.ss_sp = stacks + static_cast<std::size_t>(slot) * threadStackStride() +
                         WRKHostGetPageSize();
            ours.ss_size = kThreadStackSize;
            if (::sigaltstack(&ours, nullptr) != 0) {
                threadStacksInUse.fetch_and(~(std::uint64_t{1} << slot));
                return false;
            }
            threadStackSlot = slot;
            return true;
        }
    }
}

void WRKSignalReleaseThreadStack() {
    if (threadStackSlot < 0) {
        return;
    }
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    if (::sigaltstack(&off, nullptr) == 0) {
        threadStacksInUse.fetch_and(~(std::uint64_t{1} << threadStackSlot));
        threadStackSlot = -1;
    }
}

}  // namespace talvor::crash
