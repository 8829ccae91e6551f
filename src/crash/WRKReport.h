#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "crash/WRKInternalReport.h"
#include "crash/WRKUserLogging.h"

// What the application's delegate is told of a report an earlier run left: its identity,
// versions, dates and custom keys, each read from the folder once and kept. A writable
// report also takes user information and custom keys for that report before it is sent;
// a read-only one (made with its values read ahead) records nothing.
namespace talvor::crash {

class WRKReport {
  public:
    using Date = WRKInternalReport::Date;

    explicit WRKReport(WRKInternalReport internalReport, bool prefetchData = false);
    WRKReport(const WRKReport&) = delete;
    WRKReport& operator=(const WRKReport&) = delete;

    const WRKInternalReport& internalReport() const { return internalReport_; }
    bool isReadOnly() const { return readOnly_; }

    std::string identifier() const;
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> bundleShortVersionString() const;
    std::optional<Date> dateCreated() const;
    std::optional<Date> crashedOnDate() const;
    std::optional<std::string> OSVersion() const;
    std::optional<std::string> OSBuildVersion() const;
    bool isCrash() const;
    // The report's custom keys, as the application set them.
    std::map<std::string, std::string> customKeys() const;

    // False when read-only, or while the crash capture of this run is not set up.
    bool canRecordNewValues() const;
    void recordValueForInternalKey(const std::optional<std::string>& value, const std::string& key);
    void recordValueForUserKey(const std::optional<std::string>& value, const std::string& key);
    void setObjectValue(const std::optional<std::string>& value, const std::string& key) {
        recordValueForUserKey(value, key);
    }
    void setUserIdentifier(const std::optional<std::string>& identifier);
    void setUserName(const std::optional<std::string>& name);
    void setUserEmail(const std::optional<std::string>& email);

  private:
    struct Cache {
        std::optional<std::optional<std::string>> bundleVersion, shortVersion, osVersion,
            osBuildVersion;
        std::optional<std::optional<Date>> dateCreated, crashedOnDate;
        std::optional<bool> isCrash;
        std::optional<std::map<std::string, std::string>> customKeys;
    };
    void readAll() const;
    void record(const std::optional<std::string>& value, const std::string& key, bool internal);

    WRKInternalReport internalReport_;
    const bool readOnly_;
    std::string internalIncrementalKVFile_, internalCompactedKVFile_;
    std::string userIncrementalKVFile_, userCompactedKVFile_;
    // Kept here: a compaction the recorder queues holds on to them (the report is shared).
    WRKKVStorage internalStorage_, userStorage_;
    std::uint32_t internalKVCounter_ = 0;
    std::uint32_t userKVCounter_ = 0;
    mutable std::mutex mutex_;  // guards cache_ and the counters
    mutable Cache cache_;
};

}  // namespace talvor::crash
