#include "crash/WRKProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "crash/WRKSDKLog.h"

namespace talvor::crash {
namespace {

struct QueueLabel {
    std::atomic<pid_t> thread{0};
    std::atomic<const char*> label{nullptr};
};
QueueLabel queueLabels[64];

// Reads a small /proc file whole into `text` (zero-terminated); its length, or -1.
long readSmallFile(const char* path, char* text, std::size_t size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::size_t length = 0;
    while (length + 1 < size) {
        const ssize_t n = ::read(fd, text + length, size - 1 - length);
        if (n <= 0) {
            break;
        }
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text[length] = '\0';
    return static_cast<long>(length);
}

std::uint64_t parseNumber(const char* p) {
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    std::uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return value;
}

// The kB value of "<key>:" in /proc/meminfo text, in bytes; false when missing.
bool meminfoBytes(const char* text, const char* key, std::uint64_t* out) {
    const std::size_t keyLength = std::strlen(key);
    for (const char* line = text; *line != '\0';) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            *out = parseNumber(line + keyLength + 1) * 1024;
            return true;
        }
        const char* next = std::strchr(line, '\n');
        if (next == nullptr) {
            break;
        }
        line = next + 1;
    }
    return false;
}

// Safe while the thread's own frames are live: this thread cannot read its registers.
__attribute__((noinline)) void currentThreadState(WRKThreadState* out) {
    *out = WRKThreadState{};
    const auto fp = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    out->registers[WRKThreadState::kPC] =
        reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    out->registers[WRKThreadState::kFP] = fp;
    out->registers[WRKThreadState::kSP] = fp + 16;
}

}  // namespace

bool WRKProcessInit(WRKProcess* process, pid_t crashedThread, const ucontext_t* userContext) {
    if (process == nullptr) {
        return false;
    }
    process->recordingThread = WRKCurrentThread();
    process->crashedThread = crashedThread;
    process->userContext = userContext;
    process->threadCount = WRKListThreads(process->threads, kWRKMaxRecordedThreads);
    if (process->threadCount == 0) {
        WRKSDKLogWarn("Error: unable to get task threads\n");
        return false;
    }
    return true;
}

bool WRKProcessGetThreadState(const WRKProcess* process, pid_t thread, WRKThreadState* out) {
    if (reinterpret_cast<std::uintptr_t>(out) < 0x1000 || process == nullptr) {
        WRKSDKLogError("invalid context supplied");
        return false;
    }
    if (thread == process->crashedThread && process->userContext != nullptr) {
        return WRKThreadStateFromContext(process->userContext, out);
    }
    if (thread == process->recordingThread) {
        WRKSDKLogWarn("Faking current thread\n");
        currentThreadState(out);
        return true;
    }
    if (process->suspension != nullptr) {
        for (std::size_t i = 0; i < process->suspension->count; ++i) {
            const WRKSuspendedThread& entry = process->suspension->threads[i];
            if (entry.thread == thread && entry.stopped) {
                *out = entry.state;
                return true;
            }
        }
    }
    WRKSDKLogError("failed to get thread state\n");
    return false;
}

void WRKProcessRecordThread(WRKFile* file, const WRKThreadState* state, bool crashed,
                            const WRKBinaryImageTable* images, bool pcIsReturnAddress) {
    const int levelBefore = WRKSDKLogMinimumLevel();
    WRKFileWriteHashStart(file);
    WRKUnwindContext unwind;
    if (state != nullptr && WRKUnwindInit(&unwind, *state, images)) {
        unwind.firstPCIsReturnAddress = pcIsReturnAddress;
        WRKFileWriteHashKey(file, "registers");
        WRKFileWriteHashStart(file);
        for (std::size_t i = 0; i < WRKThreadState::kRegisterCount; ++i) {
            WRKFileWriteHashEntryUint64(file, WRKThreadStateRegisterName(i), state->registers[i]);
        }
        WRKFileWriteHashEnd(file);
        WRKFileWriteHashKey(file, "stacktrace");
        WRKFileWriteArrayStart(file);
        std::uint64_t repeatedPC = 0;
        std::uint32_t repeatCount = 0;
        while (WRKUnwindNextFrame(&unwind)) {
            const std::uint64_t pc = WRKUnwindGetPC(&unwind);
            const std::uint32_t repeats = WRKUnwindGetFrameRepeatCount(&unwind);
            if (repeatedPC != 0 && pc == repeatedPC) {
                repeatCount = repeats;
                continue;
            }
            if (repeatedPC == 0 && repeats >= WRKUnwindInfiniteRecursionCountThreshold) {
                WRKSDKLogWarn("Possible infinite recursion - suppressing logging\n");
                WRKSDKLogSetMinimumLevel(WRKSDKLogLevelWarn);
                repeatedPC = pc;
                repeatCount = repeats;
                continue;
            }
            if (repeatedPC != 0) {
                WRKSDKLogSetMinimumLevel(levelBefore);
            }
            WRKFileWriteArrayEntryUint64(file, pc);
        }
        WRKFileWriteArrayEnd(file);
        if (repeatedPC != 0) {
            WRKFileWriteHashEntryUint64(file, "repeated_pc", repeatedPC);
            WRKFileWriteHashEntryUint64(file, "repeat_count", repeatCount);
        }
    }
    if (crashed) {
        WRKFileWriteHashEntryBoolean(file, "crashed", true);
    }
    WRKSDKLogSetMinimumLevel(levelBefore);
    WRKFileWriteHashEnd(file);
}

void WRKProcessRecordAllThreads(const WRKProcess* process, WRKFile* file) {
    WRKFileWriteSectionStart(file, "threads");
    WRKFileWriteArrayStart(file);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        WRKSDKLogInfo("recording thread %d data\n", static_cast<int>(i));
        const pid_t thread = process->threads[i];
        WRKThreadState state;
        // A thread that cannot be read keeps its place, so that the lists stay aligned.
        const bool readable = WRKProcessGetThreadState(process, thread, &state);
        if (!readable) {
            WRKSDKLogError("unable to get thread state");
        }
        const bool ownState =
            thread == process->recordingThread &&
            !(thread == process->crashedThread && process->userContext != nullptr);
        WRKProcessRecordThread(file, readable ? &state : nullptr, thread == process->crashedThread,
                               process->images, ownState);
    }
    WRKFileWriteArrayEnd(file);
    WRKFileWriteSectionEnd(file);
    WRKSDKLogInfo("completed recording all thread data\n");
}

void WRKProcessRecordRuntimeInfo(const WRKProcess*, WRKFile* file) {
    // No message-send routines and no crash annotations in ELF images: both stay empty.
    WRKFileWriteSectionStart(file, "runtime");
    WRKFileWriteHashStart(file);
    WRKFileWriteHashEntryString(file, "objc_selector", "");
    WRKFileWriteHashKey(file, "crash_info_entries");
    WRKFileWriteArrayStart(file);
    WRKFileWriteArrayEnd(file);
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKProcessRecordDispatchQueueNames(const WRKProcess* process, WRKFile* file) {
    WRKFileWriteSectionStart(file, "dispatch_queue_names");
    WRKFileWriteArrayStart(file);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        const char* label = WRKProcessThreadQueueLabel(process->threads[i]);
        const char* readable = nullptr;
        WRKFileWriteArrayEntryString(
            file, label != nullptr && WRKReadString(label, &readable, 128) ? label : "");
    }
    WRKFileWriteArrayEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKProcessRecordThreadNames(const WRKProcess* process, WRKFile* file) {
    WRKFileWriteSectionStart(file, "thread_names");
    WRKFileWriteArrayStart(file);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        char name[64];
        WRKFileWriteArrayEntryString(
            file, WRKThreadName(process->threads[i], name, sizeof name) ? name : "");
    }
    WRKFileWriteArrayEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKProcessRecordStats(const WRKProcess*, WRKFile* file) {
    char text[4096];
    std::uint64_t active = 0;
    std::uint64_t inactive = 0;
    std::uint64_t wired = 0;
    std::uint64_t freeBytes = 0;
    if (readSmallFile("/proc/meminfo", text, sizeof text) <= 0 ||
        !meminfoBytes(text, "Active", &active) || !meminfoBytes(text, "Inactive", &inactive) ||
        !meminfoBytes(text, "MemFree", &freeBytes)) {
        WRKSDKLogWarn("Failed to get vm statistics\n");
        WRKSDKLogWarn("Unable to get process memory usage\n");
        return;
    }
    if (!meminfoBytes(text, "Mlocked", &wired)) {
        meminfoBytes(text, "Unevictable", &wired);
    }
    rusage usage{};
    if (readSmallFile("/proc/self/statm", text, sizeof text) <= 0 ||
        ::getrusage(RUSAGE_SELF, &usage) != 0) {
        WRKSDKLogWarn("Failed to get task info\n");
        WRKSDKLogWarn("Unable to get process stats\n");
        return;
    }
    const std::uint64_t page = WRKPlatformPageSize();
    const char* second = std::strchr(text, ' ');
    const std::uint64_t virtualBytes = parseNumber(text) * page;
    const std::uint64_t residentBytes = second != nullptr ? parseNumber(second) * page : 0;
    const auto micros = [](const timeval& t) {
        return static_cast<std::uint64_t>(t.tv_sec) * 1000000u +
               static_cast<std::uint64_t>(t.tv_usec);
    };
    WRKFileWriteSectionStart(file, "process_stats");
    WRKFileWriteHashStart(file);
    WRKFileWriteHashEntryUint64(file, "active", active);
    WRKFileWriteHashEntryUint64(file, "inactive", inactive);
    WRKFileWriteHashEntryUint64(file, "wired", wired);
    WRKFileWriteHashEntryUint64(file, "freeMem", freeBytes);
    WRKFileWriteHashEntryUint64(file, "free_mem", freeBytes);
    WRKFileWriteHashEntryUint64(file, "virtual", virtualBytes);
    WRKFileWriteHashEntryUint64(file, "resident", residentBytes);
    WRKFileWriteHashEntryUint64(file, "user_time", micros(usage.ru_utime));
    WRKFileWriteHashEntryUint64(file, "sys_time", micros(usage.ru_stime));
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKProcessSetThreadQueueLabel(pid_t thread, const char* label) {
    for (QueueLabel& entry : queueLabels) {
        pid_t free = 0;
        if (entry.thread.load() == thread || entry.thread.compare_exchange_strong(free, thread)) {
            entry.label.store(label);
            return;
        }
    }
}

void WRKProcessClearThreadQueueLabel(pid_t thread) {
    for (QueueLabel& entry : queueLabels) {
        if (entry.thread.load() == thread) {
            entry.label.store(nullptr);
            entry.thread.store(0);
            return;
        }
    }
}

const char* WRKProcessThreadQueueLabel(pid_t thread) {
    for (const QueueLabel& entry : queueLabels) {
        if (entry.thread.load() == thread) {
            return entry.label.load();
        }
    }
    return nullptr;
}

}  // namespace talvor::crash
