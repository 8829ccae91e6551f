#pragma once

#include <sys/types.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

#include "crash/WRKFile.h"
#include "crash/WRKPlatform.h"
#include "crash/WRKUnwind.h"

// The state of every thread at crash time, and the process's figures: the sections
// "threads", "runtime", "dispatch_queue_names", "thread_names" and "process_stats" of a
// crash record. Runs on the crashed thread while the others are stopped; allocates nothing.
namespace talvor::crash {

// A stack that repeats one return address this often is a runaway recursion: the rest of
// it is not written.
inline constexpr std::uint32_t WRKUnwindInfiniteRecursionCountThreshold = 10;
inline constexpr std::size_t kWRKMaxRecordedThreads = kWRKMaxSuspendedThreads;

struct WRKProcess {
    pid_t recordingThread = 0;
    pid_t crashedThread = 0;
    const ucontext_t* userContext = nullptr;
    pid_t threads[kWRKMaxRecordedThreads] = {};
    std::size_t threadCount = 0;
    // The other threads' registers, when they were stopped (null: none were).
    const WRKSuspension* suspension = nullptr;
    const WRKBinaryImageTable* images = nullptr;  // null: the crash context's
};

// Lists the threads; false (with none listed) when /proc cannot be read.
bool WRKProcessInit(WRKProcess* process, pid_t crashedThread, const ucontext_t* userContext);
// The state of one listed thread; false when it has none (it did not stop in time).
bool WRKProcessGetThreadState(const WRKProcess* process, pid_t thread, WRKThreadState* out);

// One thread object: "registers", "stacktrace", "crashed", "repeated_pc"/"repeat_count".
// A thread without a state is written with its place kept and nothing else.
// `pcIsReturnAddress`: the state is the recording thread's own, taken at a call.
void WRKProcessRecordThread(WRKFile* file, const WRKThreadState* state, bool crashed,
                            const WRKBinaryImageTable* images = nullptr,
                            bool pcIsReturnAddress = false);
void WRKProcessRecordAllThreads(const WRKProcess* process, WRKFile* file);
void WRKProcessRecordRuntimeInfo(const WRKProcess* process, WRKFile* file);
void WRKProcessRecordDispatchQueueNames(const WRKProcess* process, WRKFile* file);
void WRKProcessRecordThreadNames(const WRKProcess* process, WRKFile* file);
void WRKProcessRecordStats(const WRKProcess* process, WRKFile* file);

// Queue labels by thread: the project's serial queues name their worker threads here, so
// that a crash record can say which queue a thread ran. Lock-free; at most 64 threads.
void WRKProcessSetThreadQueueLabel(pid_t thread, const char* label);
void WRKProcessClearThreadQueueLabel(pid_t thread);
const char* WRKProcessThreadQueueLabel(pid_t thread);

}  // namespace talvor::crash
