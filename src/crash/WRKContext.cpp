#include "crash/WRKContext.h"

#include <sys/statfs.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "crash/WRKPlatform.h"
#include "crash/WRKProcess.h"
#include "kit/KitLog.h"

namespace talvor::crash {

WRKContext _clsContext;

namespace {

std::atomic<bool> baseInitialized{false};

// Allocates and clears `T` from the context's allocator.
template <class T>
T* allocateCleared(int type) {
    void* memory = WRKAllocatorSafeAllocate(_clsContext.allocator, sizeof(T), type);
    if (memory == nullptr) {
        return nullptr;
    }
    std::memset(memory, 0, sizeof(T));
    return new (memory) T;
}

const char* pathInFolder(const char* folder, const char* name) {
    const std::string path = std::string(folder) + "/" + name;
    return WRKDupString(path.c_str());
}

bool baseInit() {
    if (baseInitialized.exchange(true)) {
        return false;
    }
    _clsContext.allocator = WRKAllocatorCreate(kWRKContextWritableSize, kWRKContextReadOnlySize);
    _clsContext.readonly = allocateCleared<WRKContextReadOnly>(WRKAllocationTypeReadOnly);
    _clsContext.readonly->signalStack = WRKAllocatorSafeAllocate(
        _clsContext.allocator, kWRKSignalStackSize, WRKAllocationTypeWritable);
    _clsContext.writable = allocateCleared<WRKContextWritable>(WRKAllocationTypeWritable);
    _clsContext.writable->logFd = -1;
    _clsContext.writable->logLevel = 1;
    _clsContext.initialized.store(false);
    return true;
}

void writeStorage(WRKFile* file, const char* documentsPath) {
    WRKFileWriteSectionStart(file, "storage");
    WRKFileWriteHashStart(file);
    struct statfs volume {};
    if (documentsPath != nullptr && ::statfs(documentsPath, &volume) == 0) {
        const auto blockSize = static_cast<std::uint64_t>(volume.f_bsize);
        WRKFileWriteHashEntryUint64(file, "free", blockSize * volume.f_bavail);
        WRKFileWriteHashEntryUint64(file, "total", blockSize * volume.f_blocks);
    }
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

// The last set-up piece to end marks the context initialized and protects it.
void markInitialized() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    _clsContext.initialized.store(true);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!WRKAllocatorProtect(_clsContext.allocator)) {
        kit::log("[Wreckord:Crash] Error: Memory protection failed");
    }
}

std::mutex setUpMutex;
std::condition_variable setUpEnded;
int setUpRunning = 0;

// The set-up pieces that run on threads of their own, with a copy of the start record
// whose strings live as long as the last piece.
class SetUp {
  public:
    explicit SetUp(const WRKContextInitData& data) : data_(data) {
        for (const char** text : {&data_.apiKey,
                                  &data_.customBundleID,
                                  &data_.previouslyCrashedFileRootPath,
                                  &data_.sessionID,
                                  &data_.installID,
                                  &data_.betaToken,
                                  &data_.host.model,
                                  &data_.host.machine,
                                  &data_.host.cpu,
                                  &data_.host.osBuildVersion,
                                  &data_.host.osDisplayVersion,
                                  &data_.host.platform,
                                  &data_.host.locale,
                                  &data_.application.bundleID,
                                  &data_.application.buildVersion,
                                  &data_.application.displayVersion,
                                  &data_.application.extensionID,
                                  &data_.executable.architecture,
                                  &data_.executable.uuid,
                                  &data_.executable.minimumSDKVersion,
                                  &data_.executable.builtSDKVersion,
                                  &data_.documentsPath}) {
            if (*text != nullptr) {
                *text = texts_.emplace_back(*text).c_str();
            }
        }
        std::lock_guard lock(setUpMutex);
        ++setUpRunning;
        pending_ = 1;  // the caller's own piece
    }

    const WRKContextInitData& data() const { return data_; }

    void start(std::function<void()> piece) {
        {
            std::lock_guard lock(mutex_);
            ++pending_;
        }
        threads_.emplace_back([this, piece = std::move(piece)] {
            piece();
            finishOne();
        });
    }

    // The last piece marks the context initialized before anyone waiting sees the end.
    void finishOne() {
        std::lock_guard lock(mutex_);
        if (pending_ == 1) {
            markInitialized();
            std::lock_guard running(setUpMutex);
            --setUpRunning;
            setUpEnded.notify_all();
        }
        --pending_;
        ended_.notify_all();
    }

    // True when every piece ended in time: their threads are gone when it returns, so that
    // nothing of the set-up runs on beside a crash that follows at once. On a time-out the
    // pieces go on alone, and this object must outlive them.
    bool waitFor(std::chrono::seconds timeout) {
        bool ended = false;
        {
            std::unique_lock lock(mutex_);
            ended = ended_.wait_for(lock, timeout, [this] { return pending_ == 0; });
        }
        for (std::thread& thread : threads_) {
            if (ended) {
                thread.join();
            } else {
                thread.detach();
            }
        }
        return ended;
    }

  private:
    std::vector<std::thread> threads_;
    WRKContextInitData data_;
    std::deque<std::string> texts_;
    std::mutex mutex_;
    std::condition_variable ended_;
    int pending_ = 0;
};

}  // namespace

bool WRKContextInitialize(const WRKContextInitData* data) {
    if (data == nullptr || data->previouslyCrashedFileRootPath == nullptr ||
        *data->previouslyCrashedFileRootPath == '\0') {
        return false;
    }
    if (!baseInit() || _clsContext.allocator == nullptr || _clsContext.readonly == nullptr ||
        _clsContext.writable == nullptr) {
        return false;
    }
    WRKContextReadOnly* ro = _clsContext.readonly;
    const char* folder = data->previouslyCrashedFileRootPath;
    ro->logPath = pathInFolder(folder, WRKReportSDKLogFile);
    if (!WRKUnlinkIfExists(ro->logPath)) {
        kit::log(std::string("[Wreckord:Crash] Unable to write initialize SDK write paths ") +
                 std::strerror(errno));
    }
    if (!WRKPlatformInitialize()) {
        kit::log("[Wreckord:Crash] Unable to set up thread parking and validated reads");
    }
    ro->debuggerAttached = !data->ignoreDebugger && WRKProcessDebuggerAttached();
    ro->immediateDelivery = data->immediateDelivery;
    ro->immediateDeliveryContext = data->immediateDeliveryContext;
    ro->crashCallback = data->crashCallback;
    ro->crashCallbackContext = data->crashCallbackContext;
    ro->firstInstall = data->firstInstall;
    ro->pageSize = WRKHostGetPageSize();
    ro->documentsPath =
        data->documentsPath != nullptr ? WRKDupString(data->documentsPath) : nullptr;
    // Every path is taken from the read-only region now: the pieces below run beside each
    // other and may outlast the wait.
    ro->metadataPath = pathInFolder(folder, WRKReportMetadataFile);
    ro->binaryImagePath = pathInFolder(folder, WRKReportBinaryImageFile);
    if (!ro->debuggerAttached) {
        ro->signal.signalPath = pathInFolder(folder, WRKReportSignalFile);
        ro->exception.path = pathInFolder(folder, WRKReportExceptionFile);
    }
    WRKUserLoggingLimits limits;
    limits.logBufferSize = data->logBufferSize;
    limits.maxErrors = data->errorsEnabled ? data->maxCustomExceptions : 0;
    limits.maxCustomExceptions = data->customExceptionsEnabled ? data->maxCustomExceptions : 0;
    limits.maxKeyValues = data->maxKeyValues;
    WRKUserLoggingConfigure(&ro->logging, &_clsContext.writable->logging, folder, limits,
                            WRKDupString);
    ro->exception.maxCustomExceptions = limits.maxCustomExceptions;

    auto* setUp = new SetUp(*data);
    setUp->start([] {
        WRKBinaryImageInit(_clsContext.readonly->binaryImagePath, &_clsContext.writable->images);
    });
    setUp->start([data = &setUp->data()] {
        if (!WRKContextRecordMetadata(_clsContext.readonly->metadataPath, *data)) {
            kit::log("[Wreckord:Crash] Unable to record context metadata");
        }
    });
    // The alternate signal stack belongs to the thread that installs it: this one.
    if (ro->debuggerAttached) {
        kit::log("[Wreckord:Crash] Debugger present - not installing handlers");
    } else {
        WRKSignalInitialize(&ro->signal, ro->signalStack, kWRKSignalStackSize);
        WRKExceptionInitialize(&ro->exception, &_clsContext.writable->logging.customExceptionCount);
    }
    setUp->finishOne();
    if (setUp->waitFor(std::chrono::seconds(kWRKContextSetUpTimeoutSeconds))) {
        delete setUp;
    } else {
        kit::log("[Wreckord:Crash] Error: Delayed initialization");
    }
    return true;
}

void WRKContextWaitForSetUp() {
    std::unique_lock lock(setUpMutex);
    setUpEnded.wait(lock, [] { return setUpRunning == 0; });
}

bool WRKContextIsInitialized() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return _clsContext.initialized.load();
}

bool WRKContextHasCrashed() {
    return WRKContextIsInitialized() && _clsContext.writable->crashedThread.load() != 0;
}

void WRKContextMarkHasCrashed() {
    if (WRKContextIsInitialized()) {
        pid_t none = 0;
        _clsContext.writable->crashedThread.compare_exchange_strong(
            none, static_cast<pid_t>(::syscall(SYS_gettid)));
    }
}

bool WRKContextMarkAndCheckIfCrashed() {
    const WRKCrashClaim claim = WRKContextClaimCrash(static_cast<pid_t>(::syscall(SYS_gettid)));
    return claim == WRKCrashClaim::SameThread || claim == WRKCrashClaim::OtherThread;
}

WRKCrashClaim WRKContextClaimCrash(pid_t thread) {
    if (!WRKContextIsInitialized()) {
        return WRKCrashClaim::NotInitialized;
    }
    pid_t holder = 0;
    if (_clsContext.writable->crashedThread.compare_exchange_strong(holder, thread)) {
        return WRKCrashClaim::Won;
    }
    return holder == thread ? WRKCrashClaim::SameThread : WRKCrashClaim::OtherThread;
}

void WRKContextMarkCrashRecorded() {
    if (WRKContextIsInitialized()) {
        _clsContext.writable->crashRecorded.store(true);
    }
}

bool WRKContextCrashRecorded() {
    return WRKContextIsInitialized() && _clsContext.writable->crashRecorded.load();
}

void WRKContextReleaseCrash(pid_t thread) {
    if (WRKContextIsInitialized() && _clsContext.writable->crashedThread.load() == thread) {
        _clsContext.writable->crashRecorded.store(false);
        _clsContext.writable->crashedThread.compare_exchange_strong(thread, 0);
    }
}

bool WRKContextRecordMetadata(const char* path, const WRKContextInitData& data) {
    if (!WRKUnlinkIfExists(path)) {
        kit::log(std::string("[Wreckord:Crash] Unable to unlink existing metadata file ") + path);
    }
    WRKFile file;
    if (!WRKFileInitWithPath(&file, path, false)) {
        kit::log(std::string("[Wreckord:Crash] Unable to open metadata file ") + path);
        return false;
    }
    WRKFileWriteSectionStart(&file, "identity");
    WRKFileWriteHashStart(&file);
    WRKFileWriteHashEntryString(&file, "generator", WRKGeneratorName);
    WRKFileWriteHashEntryString(&file, "build_version", WRKSDKBuildVersion);
    WRKFileWriteHashEntryString(&file, "display_version", WRKSDKDisplayVersion);
    WRKFileWriteHashEntryString(&file, "api_key", data.apiKey);
    WRKFileWriteHashEntryUint64(&file, "started_at", WRKCurrentTimeSeconds());
    WRKFileWriteHashEntryString(&file, "session_id", data.sessionID);
    WRKFileWriteHashEntryString(&file, "install_id", data.installID);
    WRKFileWriteHashEntryString(&file, "beta_token", data.betaToken);
    WRKFileWriteHashEntryBoolean(&file, "absolute_log_timestamps", true);
    WRKFileWriteHashEnd(&file);
    WRKFileWriteSectionEnd(&file);

    WRKFileWriteSectionStart(&file, "host");
    WRKFileWriteHashStart(&file);
    WRKFileWriteHashEntryString(&file, "model", data.host.model);
    WRKFileWriteHashEntryString(&file, "machine", data.host.machine);
    WRKFileWriteHashEntryString(&file, "cpu", data.host.cpu);
    WRKFileWriteHashEntryString(&file, "os_build_version", data.host.osBuildVersion);
    WRKFileWriteHashEntryString(&file, "os_display_version", data.host.osDisplayVersion);
    WRKFileWriteHashEntryString(&file, "platform", data.host.platform);
    WRKFileWriteHashEntryString(&file, "locale", data.host.locale);
    WRKFileWriteHashEnd(&file);
    WRKFileWriteSectionEnd(&file);

    WRKFileWriteSectionStart(&file, "application");
    WRKFileWriteHashStart(&file);
    WRKFileWriteHashEntryString(&file, "bundle_id", data.application.bundleID);
    WRKFileWriteHashEntryString(&file, "custom_bundle_id", data.customBundleID);
    WRKFileWriteHashEntryString(&file, "build_version", data.application.buildVersion);
    WRKFileWriteHashEntryString(&file, "display_version", data.application.displayVersion);
    WRKFileWriteHashEntryString(&file, "extension_id", data.application.extensionID);
    WRKFileWriteHashEnd(&file);
    WRKFileWriteSectionEnd(&file);

    WRKFileWriteSectionStart(&file, "executable");
    WRKFileWriteHashStart(&file);
    WRKFileWriteHashEntryString(&file, "architecture", data.executable.architecture);
    WRKFileWriteHashEntryString(&file, "uuid", data.executable.uuid);
    WRKFileWriteHashEntryUint64(&file, "base", data.executable.base);
    WRKFileWriteHashEntryUint64(&file, "size", data.executable.size);
    WRKFileWriteHashEntryBoolean(&file, "encrypted", data.executable.encrypted);
    WRKFileWriteHashEntryString(&file, "minimum_sdk_version", data.executable.minimumSDKVersion);
    WRKFileWriteHashEntryString(&file, "built_sdk_version", data.executable.builtSDKVersion);
    WRKFileWriteHashEnd(&file);
    WRKFileWriteSectionEnd(&file);
    return WRKFileClose(&file);
}

void WRKHandler(WRKFile* file, pid_t crashedThread, const ucontext_t* userContext) {
    const WRKContextReadOnly* ro = _clsContext.readonly;
    // Static: far too large for a signal stack, and only the crash's one winner gets here.
    static WRKSuspension others;
    WRKProcess process;
    WRKProcessInit(&process, crashedThread, userContext);
    const bool suspended = WRKSuspendOtherThreads(kWRKSuspendTimeoutMs, &others);
    process.suspension = suspended ? &others : nullptr;
    WRKProcessRecordAllThreads(&process, file);
    WRKProcessRecordRuntimeInfo(&process, file);
    WRKProcessRecordDispatchQueueNames(&process, file);
    WRKProcessRecordThreadNames(&process, file);
    WRKProcessRecordStats(&process, file);
    writeStorage(file, ro != nullptr ? ro->documentsPath : nullptr);
    if (suspended) {
        WRKResumeOtherThreads();
    }
    if (ro != nullptr && ro->crashCallback != nullptr) {
        ro->crashCallback(ro->crashCallbackContext);
    }
}

void WRKHandlerAttemptImmediateDelivery() {
    const WRKContextReadOnly* ro = WRKContextIsInitialized() ? _clsContext.readonly : nullptr;
    if (ro != nullptr && ro->immediateDelivery != nullptr) {
        ro->immediateDelivery(ro->immediateDeliveryContext);
    }
}

const char* WRKDupString(const char* string) {
    if (string == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(string) + 1;
    void* copy = WRKAllocatorSafeAllocate(_clsContext.allocator, length, WRKAllocationTypeReadOnly);
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, string, length);
    return static_cast<const char*>(copy);
}

bool WRKUnlinkIfExists(const char* path) {
    return path != nullptr && (::unlink(path) == 0 || errno == ENOENT);
}

bool WRKProcessDebuggerAttached() {
    return WRKPlatformIsTraced();
}

std::size_t WRKHostGetPageSize() {
    return WRKPlatformPageSize();
}

std::uint64_t WRKCurrentTimeSeconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec > 0 ? static_cast<std::uint64_t>(now.tv_sec) : 0;
}

}  // namespace talvor::crash
