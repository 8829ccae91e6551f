#pragma once

#include <signal.h>
#include <sys/types.h>
#include <ucontext.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crash/WRKAllocator.h"
#include "crash/WRKBinaryImage.h"
#include "crash/WRKException.h"
#include "crash/WRKFile.h"
#include "crash/WRKSignal.h"
#include "crash/WRKUserLogging.h"

// The crash context: the one global record that crash-time code reads. It is built once at
// capture start, entirely from the crash-time allocator (no heap): the read-only part
// (paths, saved handlers) is write-protected afterwards, so that a memory scribbler cannot
// corrupt what the handlers rely on; the writable part holds the flags.
namespace talvor::crash {

// Record file names inside a run's report folder.
inline constexpr char WRKReportMetadataFile[] = "metadata.clsrecord";
inline constexpr char WRKReportBinaryImageFile[] = "binary_images.clsrecord";
inline constexpr char WRKReportExceptionFile[] = "exception.clsrecord";
inline constexpr char WRKReportCustomExceptionAFile[] = "custom_exception_a.clsrecord";
inline constexpr char WRKReportCustomExceptionBFile[] = "custom_exception_b.clsrecord";
inline constexpr char WRKReportSignalFile[] = "signal.clsrecord";
inline constexpr char WRKReportMachExceptionFile[] = "mach_exception.clsrecord";
inline constexpr char WRKReportErrorAFile[] = "errors_a.clsrecord";
inline constexpr char WRKReportErrorBFile[] = "errors_b.clsrecord";
inline constexpr char WRKReportUserIncrementalKVFile[] = "user_incremental_kv.clsrecord";
inline constexpr char WRKReportUserCompactedKVFile[] = "user_compacted_kv.clsrecord";
inline constexpr char WRKReportInternalIncrementalKVFile[] = "internal_incremental_kv.clsrecord";
inline constexpr char WRKReportInternalCompactedKVFile[] = "internal_compacted_kv.clsrecord";
inline constexpr char WRKReportSDKLogFile[] = "sdk.log";

inline constexpr char WRKGeneratorName[] = "Wreckord Mac SDK/3.9.3";
inline constexpr char WRKSDKBuildVersion[] = "128";
inline constexpr char WRKSDKDisplayVersion[] = "3.9.3";

// Region sizes of the context's allocator.
inline constexpr std::size_t kWRKContextWritableSize = 544872;
inline constexpr std::size_t kWRKContextReadOnlySize = 17064;
inline constexpr std::size_t kWRKSignalStackSize = 0x40000;
inline constexpr int kWRKContextSetUpTimeoutSeconds = 5;
// How long the crash-time sequence waits for the other threads to stop.
inline constexpr unsigned kWRKSuspendTimeoutMs = 500;

// Facts for the run's metadata file. Strings may be null ("null" is written).
struct WRKHostFacts {
    const char* model = nullptr;
    const char* machine = nullptr;
    const char* cpu = nullptr;
    const char* osBuildVersion = nullptr;
    const char* osDisplayVersion = nullptr;
    const char* platform = "mac";
    const char* locale = nullptr;
};

struct WRKApplicationFacts {
    const char* bundleID = nullptr;
    const char* buildVersion = nullptr;
    const char* displayVersion = nullptr;
    const char* extensionID = nullptr;
};

struct WRKExecutableFacts {
    const char* architecture = nullptr;
    const char* uuid = nullptr;  // the build-id's hex text
    std::uint64_t base = 0;
    std::uint64_t size = 0;
    bool encrypted = false;
    const char* minimumSDKVersion = "0.0.0";
    const char* builtSDKVersion = "0.0.0";
};

using WRKCrashCallback = void (*)(void* context);
// Told after a fatal exception was recorded, on the thread that recorded it, while the
// process still runs: the place to send the report at once.
using WRKImmediateDelivery = void (*)(void* context);

// The capture start record, filled by the crash-reporting controller.
struct WRKContextInitData {
    const char* apiKey = nullptr;
    // None by default: a report is sent by the next run, never from the crashing process.
    WRKImmediateDelivery immediateDelivery = nullptr;
    void* immediateDeliveryContext = nullptr;
    bool firstInstall = false;
    // Called synchronously at the end of the crash-time sequence, on the crashing thread;
    // it must itself be async-signal-safe.
    WRKCrashCallback crashCallback = nullptr;
    void* crashCallbackContext = nullptr;
    const char* customBundleID = nullptr;
    const char* previouslyCrashedFileRootPath = nullptr;  // the run's report folder; required
    const char* sessionID = nullptr;
    const char* installID = nullptr;
    const char* betaToken = nullptr;
    std::uint32_t machExceptionMask = 0;
    bool errorsEnabled = true;
    bool customExceptionsEnabled = true;
    std::uint32_t maxCustomExceptions = 16;
    std::uint32_t errorLogBufferSize = 0;
    std::uint32_t logBufferSize = 65536;
    std::uint32_t maxKeyValues = 16;
    // The metadata file's facts, and the folder whose volume the "storage" section measures.
    WRKHostFacts host;
    WRKApplicationFacts application;
    WRKExecutableFacts executable;
    const char* documentsPath = nullptr;
    // For tests: installs the handlers even when a debugger is attached.
    bool ignoreDebugger = false;
};

struct WRKContextReadOnly {
    bool debuggerAttached = false;
    const char* logPath = nullptr;
    const char* metadataPath = nullptr;
    const char* binaryImagePath = nullptr;
    void* signalStack = nullptr;
    WRKImmediateDelivery immediateDelivery = nullptr;
    void* immediateDeliveryContext = nullptr;
    WRKCrashCallback crashCallback = nullptr;
    void* crashCallbackContext = nullptr;
    bool firstInstall = false;
    const char* documentsPath = nullptr;
    std::size_t pageSize = 0;
    WRKSignalReadContext signal;
    WRKUserLoggingReadOnly logging;
    WRKExceptionReadContext exception;
};

struct WRKContextWritable {
    int logFd = -1;
    int logLevel = 1;
    // The thread that won the crash: 0 until a fatal producer claims it.
    std::atomic<pid_t> crashedThread{0};
    // Set once the winner's record is closed: a later fatal signal (the abort that follows
    // an uncaught exception) then passes on without a second record.
    std::atomic<bool> crashRecorded{false};
    WRKBinaryImageTable images;
    WRKUserLoggingWritable logging;
};

struct WRKContext {
    WRKContextReadOnly* readonly = nullptr;
    WRKContextWritable* writable = nullptr;
    WRKAllocator* allocator = nullptr;
    std::atomic<bool> initialized{false};
};

extern WRKContext _clsContext;

// Builds the context once per process: paths, the metadata file, the image list, the
// signal capture (not with a debugger attached), then protects the read-only part. The
// pieces run side by side; the call waits for them at most `kWRKContextSetUpTimeout` and
// the context is marked initialized by the last one to end (possibly after the return).
// False when the record or its folder is missing, or when the context was built before.
bool WRKContextInitialize(const WRKContextInitData* data);
bool WRKContextIsInitialized();
// Waits until the set-up pieces have ended (also those that outlived the set-up's wait).
void WRKContextWaitForSetUp();
bool WRKContextHasCrashed();
void WRKContextMarkHasCrashed();
// False when not initialized; true when a crash was already claimed; else claims it and
// answers false.
bool WRKContextMarkAndCheckIfCrashed();

enum class WRKCrashClaim { NotInitialized, Won, SameThread, OtherThread };
// The crashed flag claimed for `thread`: who holds it after the call. Every fatal producer
// (signal, uncaught exception, the application's exception report) claims it before it
// writes, so that one crash leaves one record.
WRKCrashClaim WRKContextClaimCrash(pid_t thread);
// The winner's record is complete / whether it is. Async-signal-safe.
void WRKContextMarkCrashRecorded();
bool WRKContextCrashRecorded();
// Gives up `thread`'s claim: the process goes on after all, and a later crash is recorded.
void WRKContextReleaseCrash(pid_t thread);

// Writes the run's metadata file ("identity", "host", "application", "executable"),
// replacing an earlier one. False when it cannot be opened.
bool WRKContextRecordMetadata(const char* path, const WRKContextInitData& data);

// The crash-time sequence after a producer's first line: stops the other threads, writes
// the sections about the process, lets the threads go on, then runs the crash callback.
// Async-signal-safe.
void WRKHandler(WRKFile* file, pid_t crashedThread, const ucontext_t* context);
// Hands a fatal record just written to the immediate delivery, when there is one.
void WRKHandlerAttemptImmediateDelivery();

// A copy of `string` in the allocator's read-only region.
const char* WRKDupString(const char* string);
// True when the file was removed or did not exist.
bool WRKUnlinkIfExists(const char* path);
// Whether a tracer (a debugger) is attached to the process.
bool WRKProcessDebuggerAttached();
std::size_t WRKHostGetPageSize();
// Seconds since 1970; async-signal-safe.
std::uint64_t WRKCurrentTimeSeconds();

}  // namespace talvor::crash
