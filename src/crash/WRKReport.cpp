#include "crash/WRKReport.h"

#include "crash/WRKContext.h"
#include "crash/Wreckord.h"

namespace talvor::crash {
namespace {

template <typename T, typename Read>
const T& cached(std::optional<T>& slot, Read read) {
    if (!slot) {
        slot = read();
    }
    return *slot;
}

}  // namespace

WRKReport::WRKReport(WRKInternalReport internalReport, bool prefetchData)
    : internalReport_(std::move(internalReport)),
      readOnly_(prefetchData),
      internalIncrementalKVFile_(
          internalReport_.pathForContentFile("internal_incremental_kv.clsrecord").string()),
      internalCompactedKVFile_(
          internalReport_.pathForContentFile("internal_compacted_kv.clsrecord").string()),
      userIncrementalKVFile_(
          internalReport_.pathForContentFile("user_incremental_kv.clsrecord").string()),
      userCompactedKVFile_(
          internalReport_.pathForContentFile("user_compacted_kv.clsrecord").string()) {
    internalStorage_.incrementalPath = internalIncrementalKVFile_.c_str();
    internalStorage_.compactedPath = internalCompactedKVFile_.c_str();
    userStorage_.incrementalPath = userIncrementalKVFile_.c_str();
    userStorage_.compactedPath = userCompactedKVFile_.c_str();
    if (prefetchData) {
        readAll();
    }
}

void WRKReport::readAll() const {
    bundleVersion();
    bundleShortVersionString();
    dateCreated();
    crashedOnDate();
    OSVersion();
    OSBuildVersion();
    isCrash();
    customKeys();
}

std::string WRKReport::identifier() const {
    return internalReport_.identifier();
}

std::optional<std::string> WRKReport::bundleVersion() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.bundleVersion, [&] { return internalReport_.bundleVersion(); });
}

std::optional<std::string> WRKReport::bundleShortVersionString() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.shortVersion, [&] { return internalReport_.bundleShortVersionString(); });
}

std::optional<WRKReport::Date> WRKReport::dateCreated() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.dateCreated, [&] { return internalReport_.dateCreated(); });
}

std::optional<WRKReport::Date> WRKReport::crashedOnDate() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.crashedOnDate, [&] { return internalReport_.crashedOnDate(); });
}

std::optional<std::string> WRKReport::OSVersion() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.osVersion, [&] { return internalReport_.OSVersion(); });
}

std::optional<std::string> WRKReport::OSBuildVersion() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.osBuildVersion, [&] { return internalReport_.OSBuildVersion(); });
}

bool WRKReport::isCrash() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.isCrash, [&] { return internalReport_.isCrash(); });
}

std::map<std::string, std::string> WRKReport::customKeys() const {
    std::lock_guard lock(mutex_);
    return cached(cache_.customKeys, [&] {
        return WRKUserLoggingGetCompactedKVEntries(&userStorage_, true)
            .value_or(std::map<std::string, std::string>{});
    });
}

bool WRKReport::canRecordNewValues() const {
    return !readOnly_ && WRKContextIsInitialized();
}

void WRKReport::record(const std::optional<std::string>& value, const std::string& key,
                       bool internal) {
    if (!canRecordNewValues()) {
        return;
    }
    const WRKUserLoggingReadOnly& logging = _clsContext.readonly->logging;
    WRKKVStorage& storage = internal ? internalStorage_ : userStorage_;
    std::lock_guard lock(mutex_);
    storage.maxCount =
        internal ? logging.internalKVStorage.maxCount : logging.userKVStorage.maxCount;
    // Written at once (not through the logging queue): the folder is not this run's, and
    // the delegate may send the report as soon as it returns.
    WRKUserLoggingWriteKeyValue(key.c_str(), value ? value->c_str() : nullptr, &storage,
                                internal ? &internalKVCounter_ : &userKVCounter_);
    if (!internal) {
        cache_.customKeys.reset();
    }
}

void WRKReport::recordValueForInternalKey(const std::optional<std::string>& value,
                                          const std::string& key) {
    record(value, key, true);
}

void WRKReport::recordValueForUserKey(const std::optional<std::string>& value,
                                      const std::string& key) {
    record(value, key, false);
}

void WRKReport::setUserIdentifier(const std::optional<std::string>& identifier) {
    recordValueForInternalKey(identifier, WRKUserIdentifierKey);
}

void WRKReport::setUserName(const std::optional<std::string>& name) {
    recordValueForInternalKey(name, WRKUserNameKey);
}

void WRKReport::setUserEmail(const std::optional<std::string>& email) {
    recordValueForInternalKey(email, WRKUserEmailKey);
}

}  // namespace talvor::crash
