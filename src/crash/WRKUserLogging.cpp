#include "crash/WRKUserLogging.h"

#include <execinfo.h>
#include <sys/time.h>

#include <cstdio>
#include <string>

#include "crash/WRKContext.h"
#include "crash/WRKSDKLog.h"

namespace talvor::crash {

namespace {

const char* joined(const char* folder, const char* name, const char* (*dup)(const char*)) {
    const std::string path = std::string(folder) + "/" + name;
    return dup(path.c_str());
}

std::string formatted(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

bool badPointer(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer) < 0x1000;
}

void writeKV(WRKFile* file, const char* key, const char* value, bool hex) {
    WRKFileWriteSectionStart(file, "kv");
    WRKFileWriteHashStart(file);
    if (hex) {
        WRKFileWriteHashEntryHexEncodedString(file, "key", key);
        WRKFileWriteHashEntryHexEncodedString(file, "value", value);
    } else {
        WRKFileWriteHashEntryString(file, "key", key);
        WRKFileWriteHashEntryString(file, "value", value);
    }
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

}  // namespace

void WRKUserLoggingConfigure(WRKUserLoggingReadOnly* store, WRKUserLoggingWritable* writable,
                             const char* folder, const WRKUserLoggingLimits& limits,
                             const char* (*dup)(const char*)) {
    store->logStorage = {joined(folder, WRKReportLogAFile, dup),
                         joined(folder, WRKReportLogBFile, dup),
                         limits.logBufferSize,
                         0,
                         true,
                         nullptr};
    store->errorStorage = {joined(folder, WRKReportErrorAFile, dup),
                           joined(folder, WRKReportErrorBFile, dup),
                           0,
                           limits.maxErrors,
                           false,
                           &writable->errorsCount};
    store->customExceptionStorage = {joined(folder, WRKReportCustomExceptionAFile, dup),
                                     joined(folder, WRKReportCustomExceptionBFile, dup),
                                     0,
                                     limits.maxCustomExceptions,
                                     false,
                                     &writable->customExceptionCount};
    store->userKVStorage.incrementalPath = joined(folder, WRKReportUserIncrementalKVFile, dup);
    store->userKVStorage.compactedPath = joined(folder, WRKReportUserCompactedKVFile, dup);
    store->userKVStorage.maxCount = limits.maxKeyValues;
    store->internalKVStorage.incrementalPath =
        joined(folder, WRKReportInternalIncrementalKVFile, dup);
    store->internalKVStorage.compactedPath = joined(folder, WRKReportInternalCompactedKVFile, dup);
    store->internalKVStorage.maxCount = kWRKInternalKeyValueLimit;
    WRKUserLoggingInit(store, writable);
}

void WRKUserLoggingInit(WRKUserLoggingReadOnly* store, WRKUserLoggingWritable* writable) {
    writable->activeLogPath = store->logStorage.pathA;
    writable->activeErrorPath = store->errorStorage.pathA;
    writable->activeCustomExceptionPath = store->customExceptionStorage.pathA;
    writable->userKVCount = 0;
    writable->internalKVCount = 0;
    writable->errorsCount = 0;
    store->userKVStorage.maxIncrementalCount = kWRKKeyValueCompactionThreshold;
    store->internalKVStorage.maxIncrementalCount = kWRKKeyValueCompactionThreshold;
}

WRKQueue& WRKLoggingQueue() {
    static WRKQueue queue(WRKLoggingQueueLabel);
    return queue;
}

void WRKUserLoggingWriteAndCheckABFiles(const WRKABFiles* pair, const char** currentPath,
                                        const std::function<void(WRKFile*)>& writer) {
    if (pair == nullptr || currentPath == nullptr || *currentPath == nullptr || !writer) {
        return;
    }
    if ((pair->restrictBySize ? pair->maxSize : pair->maxEntries) == 0) {
        return;
    }
    std::uint64_t finalSize = 0;
    bool written = false;
    const char* const function = __func__;
    WRKLoggingQueue().sync([&] {
        WRKFile file;
        if (!WRKFileInitWithPath(&file, *currentPath, true)) {
            WRKSDKLogWarnIn(function, "Unable to open log file\n");
            return;
        }
        writer(&file);
        if (!WRKFileCloseWithOffset(&file, &finalSize)) {
            WRKFileClose(&file);
        }
        if (!pair->restrictBySize && pair->entryCount != nullptr) {
            *pair->entryCount += 1;
        }
        written = true;
    });
    if (!written) {
        return;
    }
    WRKLoggingQueue().async([pair, currentPath, finalSize, function] {
        if (!pair->restrictBySize) {
            if (pair->entryCount == nullptr) {
                WRKSDKLogErrorIn(
                    function,
                    "Error: storage has invalid pointer, but is restricted by entry count\n");
                return;
            }
            if (*pair->entryCount < pair->maxEntries) {
                return;
            }
            *pair->entryCount = 0;
        } else if (finalSize <= pair->maxSize) {
            return;
        }
        const char* next =
            std::string_view(*currentPath) == pair->pathA ? pair->pathB : pair->pathA;
        WRKUnlinkIfExists(next);
        *currentPath = next;
    });
}

std::optional<std::uint64_t> WRKCurrentTimeMilliseconds() {
    struct timeval now {};
    if (::gettimeofday(&now, nullptr) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
           static_cast<std::uint64_t>(now.tv_usec) / 1000;
}

void WRKLogInternalWrite(WRKFile* file, const char* message, std::uint64_t milliseconds) {
    WRKFileWriteSectionStart(file, "log");
    WRKFileWriteHashStart(file);
    WRKFileWriteHashEntryHexEncodedString(file, "msg", message);
    WRKFileWriteHashEntryUint64(file, "time", milliseconds);
    WRKFileWriteHashEnd(file);
    WRKFileWriteSectionEnd(file);
}

void WRKLogInternalTo(const WRKABFiles* pair, const char** currentPath, const char* message) {
    if (message == nullptr || pair == nullptr) {
        return;
    }
    std::string text = message;
    if (text.size() > pair->maxSize) {
        std::fprintf(stderr,
                     "WARNING: Attempted to write %zd bytes, but %d is the maximum size of the "
                     "log. Truncating to %d bytes.\n",
                     static_cast<ssize_t>(text.size()), static_cast<int>(pair->maxSize),
                     static_cast<int>(pair->maxSize));
        text.resize(pair->maxSize);
    }
    const std::optional<std::uint64_t> milliseconds = WRKCurrentTimeMilliseconds();
    if (!milliseconds) {
        return;
    }
    WRKUserLoggingWriteAndCheckABFiles(pair, currentPath, [&](WRKFile* file) {
        WRKLogInternalWrite(file, text.c_str(), *milliseconds);
    });
}

void WRKLogInternal(const char* message) {
    if (message == nullptr) {
        return;
    }
    if (!WRKContextIsInitialized()) {
        std::fprintf(stderr,
                     "[Wreckord:Crash] WARNING: WRKLog has been used before (or concurrently "
                     "with) Wreckord initialization and cannot be recorded. The message was: "
                     "\n%s\n",
                     message);
        return;
    }
    WRKLogInternalTo(&_clsContext.readonly->logging.logStorage,
                     &_clsContext.writable->logging.activeLogPath, message);
}

void WRKLogv(const char* format, va_list arguments) {
    if (format == nullptr) {
        return;
    }
    WRKLogInternal(formatted(format, arguments).c_str());
}

void WRKLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WRKLogv(format, arguments);
    va_end(arguments);
}

void WRKNSLogv(const char* format, va_list arguments) {
    if (format == nullptr) {
        return;
    }
    const std::string message = formatted(format, arguments);
    WRKLogInternal(message.c_str());
    std::fprintf(stderr, "%s\n", message.c_str());
}

void WRKNSLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WRKNSLogv(format, arguments);
    va_end(arguments);
}

void WRKUserLoggingRecordErrorUserInfo(WRKFile* file, const char* key, const WRKInfoPairs& info) {
    if (info.empty()) {
        return;
    }
    WRKFileWriteHashKey(file, key);
    WRKFileWriteArrayStart(file);
    for (const auto& [name, value] : info) {
        WRKFileWriteArrayStart(file);
        WRKFileWriteArrayEntryHexEncodedString(file, name.c_str());
        WRKFileWriteArrayEntryHexEncodedString(file, value.c_str());
        WRKFileWriteArrayEnd(file);
    }
    WRKFileWriteArrayEnd(file);
}

void WRKUserLoggingRecordErrorTo(const WRKABFiles* pair, const char** currentPath,
                                 const WRKError& error, const WRKInfoPairs& additionalInfo) {
    void* addresses[128];
    const int depth = ::backtrace(addresses, 128);
    const std::uint64_t seconds = WRKCurrentTimeSeconds();
    WRKUserLoggingWriteAndCheckABFiles(pair, currentPath, [&](WRKFile* file) {
        WRKFileWriteSectionStart(file, "error");
        WRKFileWriteHashStart(file);
        WRKFileWriteHashEntryHexEncodedString(file, "domain", error.domain.c_str());
        WRKFileWriteHashEntryInt64(file, "code", error.code);
        WRKFileWriteHashEntryUint64(file, "time", seconds);
        WRKFileWriteHashKey(file, "stacktrace");
        WRKFileWriteArrayStart(file);
        for (int i = 0; i < depth; ++i) {
            WRKFileWriteArrayEntryUint64(file, reinterpret_cast<std::uintptr_t>(addresses[i]));
        }
        WRKFileWriteArrayEnd(file);
        WRKUserLoggingRecordErrorUserInfo(file, "info", error.userInfo);
        WRKUserLoggingRecordErrorUserInfo(file, "extra_info", additionalInfo);
        WRKFileWriteHashEnd(file);
        WRKFileWriteSectionEnd(file);
    });
}

void WRKUserLoggingRecordError(const WRKError& error, const WRKInfoPairs& additionalInfo) {
    if (!WRKContextIsInitialized()) {
        return;
    }
    WRKUserLoggingRecordErrorTo(&_clsContext.readonly->logging.errorStorage,
                                &_clsContext.writable->logging.activeErrorPath, error,
                                additionalInfo);
}

void WRKUserLoggingWriteKeyValue(const char* key, const char* value, const WRKKVStorage* store,
                                 std::uint32_t* counter) {
    if (key == nullptr || store == nullptr || counter == nullptr ||
        store->incrementalPath == nullptr) {
        WRKSDKLogError("Bad parameters\n");
        return;
    }
    WRKFile file;
    if (!WRKFileInitWithPath(&file, store->incrementalPath, true)) {
        WRKSDKLogError("Unable to open k-v file\n");
        return;
    }
    writeKV(&file, key, value, true);
    WRKFileClose(&file);
    *counter += 1;
    if (*counter >= store->maxIncrementalCount) {
        WRKLoggingQueue().async([store, counter] {
            WRKUserLoggingCompactKVEntries(store);
            *counter = 0;
        });
    }
}

void WRKUserLoggingRecordKeyValue(const char* key, const char* value, const WRKKVStorage* store,
                                  std::uint32_t* counter) {
    if (badPointer(key)) {
        WRKSDKLogWarn("User provided bad key\n");
        return;
    }
    if (value != nullptr && badPointer(value)) {
        WRKSDKLogWarn("Bad value pointer being clamped to nil\n");
        value = nullptr;
    }
    WRKLoggingQueue().sync([&] { WRKUserLoggingWriteKeyValue(key, value, store, counter); });
}

void WRKUserLoggingRecordUserKeyValue(const char* key, const char* value) {
    if (!WRKContextIsInitialized()) {
        return;
    }
    WRKUserLoggingRecordKeyValue(key, value, &_clsContext.readonly->logging.userKVStorage,
                                 &_clsContext.writable->logging.userKVCount);
}

void WRKUserLoggingRecordInternalKeyValue(const char* key, const char* value) {
    if (!WRKContextIsInitialized()) {
        return;
    }
    WRKUserLoggingRecordKeyValue(key, value, &_clsContext.readonly->logging.internalKVStorage,
                                 &_clsContext.writable->logging.internalKVCount);
}

void WRKUserLoggingWriteInternalKeyValue(const char* key, const char* value) {
    if (!WRKContextIsInitialized()) {
        return;
    }
    WRKUserLoggingWriteKeyValue(key, value, &_clsContext.readonly->logging.internalKVStorage,
                                &_clsContext.writable->logging.internalKVCount);
}

std::optional<std::vector<JSONValue>> WRKUserLoggingStoredKeyValues(const char* path) {
    if (path == nullptr) {
        return std::nullopt;
    }
    return WRKFileReadSections(path, true, [](const JSONValue& line) -> std::optional<JSONValue> {
        const JSONValue* kv = line.find("kv");
        if (kv == nullptr) {
            return std::nullopt;
        }
        return *kv;
    });
}

std::optional<std::string> WRKUserLoggingGetComponent(const JSONValue& entry, const char* component,
                                                      bool decode) {
    const JSONValue* value = entry.find(component);
    if (value == nullptr || value->string() == nullptr) {
        return std::nullopt;
    }
    return decode ? WRKFileHexDecodeString(value->string()->c_str()) : *value->string();
}

std::optional<std::map<std::string, std::string>> WRKUserLoggingGetCompactedKVEntries(
    const WRKKVStorage* store, bool decode) {
    if (store == nullptr || store->incrementalPath == nullptr || store->compactedPath == nullptr) {
        WRKSDKLogError("storage invalid\n");
        return std::nullopt;
    }
    std::map<std::string, std::string> content;
    for (const JSONValue& entry :
         WRKUserLoggingStoredKeyValues(store->compactedPath).value_or(std::vector<JSONValue>{})) {
        const auto key = WRKUserLoggingGetComponent(entry, "key", decode);
        const auto value = WRKUserLoggingGetComponent(entry, "value", decode);
        if (!key || !value) {
            WRKSDKLogError("compacted key/value contains a nil and must be dropped\n");
            continue;
        }
        content[*key] = *value;
    }
    for (const JSONValue& entry :
         WRKUserLoggingStoredKeyValues(store->incrementalPath).value_or(std::vector<JSONValue>{})) {
        const auto key = WRKUserLoggingGetComponent(entry, "key", decode);
        const JSONValue* raw = entry.find("value");
        if (!key || raw == nullptr) {
            WRKSDKLogError("incremental key/value contains a nil and must be dropped\n");
            continue;
        }
        if (raw->isNull()) {
            content.erase(*key);
            continue;
        }
        const auto value = WRKUserLoggingGetComponent(entry, "value", decode);
        if (!value) {
            WRKSDKLogError("incremental key/value contains a nil and must be dropped\n");
            continue;
        }
        content[*key] = *value;
    }
    return content;
}

void WRKUserLoggingCompactKVEntries(const WRKKVStorage* store) {
    if (store == nullptr || store->incrementalPath == nullptr || store->compactedPath == nullptr) {
        WRKSDKLogError("Error: storage invalid\n");
        return;
    }
    const auto content = WRKUserLoggingGetCompactedKVEntries(store, false);
    if (!content) {
        return;
    }
    // The new content goes to a file beside the compacted one and replaces it only once
    // written, so that a failure leaves both files as they were and nothing is lost.
    const std::string fresh = std::string(store->compactedPath) + ".new";
    if (!WRKUnlinkIfExists(fresh.c_str())) {
        WRKSDKLogWarn("Error: Unable to remove compacted KV store before compaction %s\n",
                      fresh.c_str());
    }
    WRKFile file;
    if (!WRKFileInitWithPath(&file, fresh.c_str(), true)) {
        WRKSDKLogWarn("Error: Unable to open compacted k-v file\n");
        return;
    }
    if (content->size() > store->maxCount) {
        WRKSDKLogInfo("Truncating KV set, which is above max %d\n",
                      static_cast<int>(store->maxCount));
    }
    std::uint32_t kept = 0;
    for (const auto& [key, value] : *content) {
        if (kept++ >= store->maxCount) {
            break;
        }
        writeKV(&file, key.c_str(), value.c_str(), false);
    }
    if (!WRKFileClose(&file) || std::rename(fresh.c_str(), store->compactedPath) != 0) {
        WRKSDKLogWarn("Error: Unable to open compacted k-v file\n");
        WRKUnlinkIfExists(fresh.c_str());
        return;
    }
    if (!WRKUnlinkIfExists(store->incrementalPath)) {
        WRKSDKLogWarn("Error: Unable to remove incremental KV store after compaction %s\n",
                      store->incrementalPath);
    }
}

}  // namespace talvor::crash
