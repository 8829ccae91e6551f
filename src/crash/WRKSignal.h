#pragma once

#include <signal.h>

#include <atomic>
#include <cstddef>
#include <iterator>

// Capture of the fatal signals. The handler runs on an alternate stack, takes no lock and
// allocates nothing; it writes "signal.clsrecord", puts back the handlers that were there
// before (which see the signal next) and lets the signal end the process:
// - a fault raised by an instruction (si_code > 0) is raised again by that instruction;
// - a signal sent by a process (kill, raise, abort), SIGTRAP (the trap instruction is
//   already past) and SIGSYS (the refused system call is not repeated) are raised again
//   explicitly, since returning alone would let the process run on.
// Only one thread records: a second thread that faults meanwhile parks until the first has
// ended the process.
namespace talvor::crash {

inline constexpr int WRKFatalSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL,
                                          SIGSEGV, SIGSYS, SIGTRAP};
inline constexpr std::size_t WRKFatalSignalCount = std::size(WRKFatalSignals);

struct WRKSignalReadContext {
    const char* signalPath = nullptr;
    struct sigaction originalActions[WRKFatalSignalCount] = {};
    bool hasOriginalAction[WRKFatalSignalCount] = {};
    stack_t originalStack = {};
    bool hasOriginalStack = false;
};

// Removes an old signal file, installs `stack` as this thread's alternate stack and the
// handler for every fatal signal, keeping the earlier actions in `context`.
bool WRKSignalInitialize(WRKSignalReadContext* context, void* stack, std::size_t stackSize);
void WRKSignalHandler(int signal, siginfo_t* info, void* userContext);
// The default action for every handled signal (SIGABRT only when asked).
void WRKSignalSafeRemoveHandlers(bool includingAbort);
// Removes all handlers, then re-installs the saved earlier stack and actions; true when all
// succeeded.
bool WRKSignalSafeInstallPreexistingHandlers(const WRKSignalReadContext* context);
template <class Block>
void WRKSignalEnumerateHandledSignals(Block block) {
    for (std::size_t i = 0; i < WRKFatalSignalCount; ++i) {
        block(i, WRKFatalSignals[i]);
    }
}
// Says on standard error which handled signal has someone else's handler now.
void WRKSignalCheckHandlers();
// The signal's name ("UNKNOWN" for others) and code name ("ABORT" for SIGABRT, else null).
void WRKSignalNameLookup(int signal, int code, const char** name, const char** codeName);

// Threads the application starts have no alternate stack of their own, so a stack overflow
// there could not run the handler. A thread calls this when it starts, to take one of the
// stacks set aside at capture start (true when it has one), and the release when it ends.
// Threads that do not call it are still captured, except for a stack overflow.
bool WRKSignalInstallThreadStack();
void WRKSignalReleaseThreadStack();

// Non-zero while a fatal signal is being captured (read by tests that count allocations).
extern std::atomic<int> WRKCaptureInProgress;

}  // namespace talvor::crash
