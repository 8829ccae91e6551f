#pragma once

#include <sys/types.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

// The process primitives that crash-time code needs, built from raw system calls and /proc:
// every call here (except the set-up) is async-signal-safe: no heap, no lock, no stdio.
namespace talvor::crash {

// Addresses below this are never read.
inline constexpr std::uintptr_t kWRKMinimumReadableAddress = 0x1000;

// Registers, stacks, images and arenas hold addresses as numbers; this is where one becomes a
// pointer (the cast is the point of an unwinder, not an accident).
inline void* WRKAddressPointer(std::uintptr_t address) {
    return reinterpret_cast<void*>(address);  // NOLINT(performance-no-int-to-ptr)
}

// Sets aside what the crash-time calls need beforehand (the probe pipe of the fallback read,
// the parking signal's handler, the page size). Safe to call more than once.
bool WRKPlatformInitialize();

// Copies `length` bytes of this process's memory at `address`; false instead of a fault when
// any byte is unreadable. A kernel copy between address spaces, or, where that is refused
// (emulators, strict seccomp), a write of the bytes through a pipe.
bool WRKReadMemory(const void* address, void* out, std::size_t length);
// Probes byte by byte until a zero byte: true with the string's own address in `out` when
// every byte up to the zero (at most `maximum` bytes) is readable. A maximum of 0 succeeds.
bool WRKReadString(const char* address, const char** out, std::size_t maximum);
// For tests: every read goes through the pipe.
void WRKPlatformForcePipeReads(bool force);

pid_t WRKCurrentThread();
// The process's thread ids, ascending; at most `capacity` of them (the count is returned).
std::size_t WRKListThreads(pid_t* threads, std::size_t capacity);
// The name a thread gave itself (up to 15 bytes and a zero); false when unreadable.
bool WRKThreadName(pid_t thread, char* out, std::size_t size);

// A thread's registers at the moment it was stopped.
struct WRKThreadState {
#if defined(__x86_64__)
    // rax rbx rcx rdx rdi rsi rbp rsp r8-r15 rip rflags cs fs gs
    static constexpr std::size_t kRegisterCount = 21;
    static constexpr std::size_t kPC = 16;
    static constexpr std::size_t kSP = 7;
    static constexpr std::size_t kFP = 6;
#elif defined(__aarch64__)
    // x0-x28 fp lr sp pc cpsr
    static constexpr std::size_t kRegisterCount = 34;
    static constexpr std::size_t kPC = 32;
    static constexpr std::size_t kSP = 31;
    static constexpr std::size_t kFP = 29;
#else
    static constexpr std::size_t kRegisterCount = 0;
#endif
    std::uint64_t registers[kRegisterCount > 0 ? kRegisterCount : 1] = {};
};
// The register names in the order of `WRKThreadState::registers`.
const char* WRKThreadStateRegisterName(std::size_t index);
// The registers of a signal's user context; false on an architecture without a layout.
bool WRKThreadStateFromContext(const ucontext_t* context, WRKThreadState* state);

// Stopping the other threads: each is sent a reserved signal whose handler stores its
// registers and waits until released. A thread that blocks that signal, or is stuck in the
// kernel with signals held, does not answer within the time-out and has no state.
inline constexpr std::size_t kWRKMaxSuspendedThreads = 256;
struct WRKSuspendedThread {
    pid_t thread = 0;
    bool stopped = false;  // false: did not answer in time
    WRKThreadState state;
};
struct WRKSuspension {
    std::size_t count = 0;  // threads other than the caller
    std::size_t stopped = 0;
    WRKSuspendedThread threads[kWRKMaxSuspendedThreads];
};
// Stops every thread but the caller, waiting at most `timeoutMs` for their answers. False
// when another suspension is in progress or the platform is not set up; `out` (large: keep
// it in static storage, not on a signal stack) then lists nothing.
bool WRKSuspendOtherThreads(unsigned timeoutMs, WRKSuspension* out);
// Lets the stopped threads go on and waits briefly until they have left the handler.
void WRKResumeOtherThreads();
// The signal the parking uses.
int WRKParkingSignal();

std::size_t WRKPlatformPageSize();
// Whether a tracer (a debugger) is attached: "TracerPid:" of /proc/self/status.
bool WRKPlatformIsTraced();
// Nanoseconds of the monotonic clock (the time base is 1/1).
std::uint64_t WRKAbsoluteTimeNanoseconds();

}  // namespace talvor::crash
