#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crash/WRKFile.h"
#include "crash/WRKJSON.h"
#include "crash/WRKQueue.h"

// The non-fatal side of a run's record: log lines, recorded errors, custom exceptions and
// key-value pairs, appended to files of the run's report folder so that they travel with a
// crash report of the same run. Logs, errors and custom exceptions alternate between two
// files (A/B) to bound their size; key-value pairs go to an incremental file that is
// compacted into a second one. All file work runs on the serial logging queue.
namespace talvor::crash {

inline constexpr char WRKReportLogAFile[] = "log_a.clsrecord";
inline constexpr char WRKReportLogBFile[] = "log_b.clsrecord";
inline constexpr char WRKLoggingQueueLabel[] = "com.quillon.wreckord.mac.logging";
inline constexpr std::uint32_t kWRKKeyValueCompactionThreshold = 64;
inline constexpr std::uint32_t kWRKInternalKeyValueLimit = 32;
inline constexpr std::uint32_t WRKUserLoggingMaxLogSize = 0x20000;
inline constexpr std::uint32_t WRKUserLoggingMaxErrorSize = 0x20000;

// Two files written alternately. Entry-limited pairs count their entries through
// `entryCount`; size-limited ones rotate once the current file exceeds `maxSize`.
struct WRKABFiles {
    const char* pathA = nullptr;
    const char* pathB = nullptr;
    std::uint32_t maxSize = 0;
    std::uint32_t maxEntries = 0;
    bool restrictBySize = false;
    std::uint32_t* entryCount = nullptr;
};

struct WRKKVStorage {
    const char* incrementalPath = nullptr;
    const char* compactedPath = nullptr;
    std::uint32_t maxIncrementalCount = kWRKKeyValueCompactionThreshold;
    std::uint32_t maxCount = 0;
};

// Read-only once the context is built.
struct WRKUserLoggingReadOnly {
    WRKABFiles logStorage;
    WRKABFiles errorStorage;
    WRKABFiles customExceptionStorage;
    WRKKVStorage userKVStorage;
    WRKKVStorage internalKVStorage;
};

struct WRKUserLoggingWritable {
    const char* activeLogPath = nullptr;
    const char* activeErrorPath = nullptr;
    const char* activeCustomExceptionPath = nullptr;
    std::uint32_t userKVCount = 0;
    std::uint32_t internalKVCount = 0;
    std::uint32_t errorsCount = 0;
    std::uint32_t customExceptionCount = 0;
};

// The limits a run starts with.
struct WRKUserLoggingLimits {
    std::uint32_t logBufferSize = 65536;
    std::uint32_t maxErrors = 16;  // 0 turns the error record off
    std::uint32_t maxCustomExceptions = 16;
    std::uint32_t maxKeyValues = 16;
};

// Fills both parts for the report folder `folder` (paths from `dup`, which keeps them for
// the run), then `WRKUserLoggingInit`.
void WRKUserLoggingConfigure(WRKUserLoggingReadOnly* store, WRKUserLoggingWritable* writable,
                             const char* folder, const WRKUserLoggingLimits& limits,
                             const char* (*dup)(const char*));
// Current files = the A paths; the counters 0; both compaction thresholds 64.
void WRKUserLoggingInit(WRKUserLoggingReadOnly* store, WRKUserLoggingWritable* writable);

WRKQueue& WRKLoggingQueue();

// Appends one entry written by `writer` to the pair's current file and, behind it on the
// logging queue, rotates when the pair is full. Nothing when the pair's limit is 0.
void WRKUserLoggingWriteAndCheckABFiles(const WRKABFiles* pair, const char** currentPath,
                                        const std::function<void(WRKFile*)>& writer);

// Log lines. Nothing is recorded before the context is initialized.
void WRKLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void WRKLogv(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));
// The same, also written to standard error.
void WRKNSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void WRKNSLogv(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));
void WRKLogInternal(const char* message);
// The log line into an explicit pair (what `WRKLogInternal` does once the context is up).
void WRKLogInternalTo(const WRKABFiles* pair, const char** currentPath, const char* message);
void WRKLogInternalWrite(WRKFile* file, const char* message, std::uint64_t milliseconds);

// A recorded error: its domain, code and two lists of descriptive pairs.
using WRKInfoPairs = std::vector<std::pair<std::string, std::string>>;
struct WRKError {
    std::string domain;
    std::int64_t code = 0;
    WRKInfoPairs userInfo;
};
void WRKUserLoggingRecordError(const WRKError& error, const WRKInfoPairs& additionalInfo);
void WRKUserLoggingRecordErrorTo(const WRKABFiles* pair, const char** currentPath,
                                 const WRKError& error, const WRKInfoPairs& additionalInfo);
// Writes `key` with an array of [hex key, hex value] pairs; nothing for an empty list.
void WRKUserLoggingRecordErrorUserInfo(WRKFile* file, const char* key, const WRKInfoPairs& info);

// Key-value pairs. A null value records the removal of the key.
void WRKUserLoggingRecordUserKeyValue(const char* key, const char* value);
void WRKUserLoggingRecordInternalKeyValue(const char* key, const char* value);
// For callers already on the logging queue.
void WRKUserLoggingWriteInternalKeyValue(const char* key, const char* value);
void WRKUserLoggingRecordKeyValue(const char* key, const char* value, const WRKKVStorage* store,
                                  std::uint32_t* counter);
void WRKUserLoggingWriteKeyValue(const char* key, const char* value, const WRKKVStorage* store,
                                 std::uint32_t* counter);
// The "kv" objects of the file in order; nullopt when unreadable (the file is then removed).
std::optional<std::vector<JSONValue>> WRKUserLoggingStoredKeyValues(const char* path);
// Key to value of the store's content (hex texts, or the decoded texts).
std::optional<std::map<std::string, std::string>> WRKUserLoggingGetCompactedKVEntries(
    const WRKKVStorage* store, bool decode);
void WRKUserLoggingCompactKVEntries(const WRKKVStorage* store);
// "key" or "value" of a "kv" object; decoded when asked (a null stays null).
std::optional<std::string> WRKUserLoggingGetComponent(const JSONValue& entry, const char* component,
                                                      bool decode);

// Milliseconds since 1970, when the clock can be read.
std::optional<std::uint64_t> WRKCurrentTimeMilliseconds();

}  // namespace talvor::crash
