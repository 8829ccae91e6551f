#include "crash/WRKReport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "crash/WRKContext.h"
#include "crash/WRKUserLogging.h"
#include "support/CrashTestSupport.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;

// A crashed run's folder: metadata, a signal record and a custom key.
void makeCrashedRun(const fs::path& folder, const char* version) {
    WRKContextInitData data;
    data.apiKey = "key-1";
    data.sessionID = "0123456789abcdef0123456789abcdef";
    data.installID = "install";
    data.host.osDisplayVersion = "Debian 12";
    data.host.osBuildVersion = "6.1.0-13";
    data.application.bundleID = "com.larkspindle.TalvorPro";
    data.application.buildVersion = version;
    data.application.displayVersion = version;
    ASSERT_TRUE(WRKContextRecordMetadata((folder / WRKReportMetadataFile).c_str(), data));
    test::writeFile(folder / "signal.clsrecord",
                    "{\"signal\":{\"number\":11,\"time\":1700000000}}\n");
    const std::string incremental = (folder / "user_incremental_kv.clsrecord").string();
    const std::string compacted = (folder / "user_compacted_kv.clsrecord").string();
    WRKKVStorage storage{incremental.c_str(), compacted.c_str(), 64, 16};
    std::uint32_t counter = 0;
    WRKUserLoggingWriteKeyValue("theme", "dark", &storage, &counter);
}

std::map<std::string, std::string> userKeys(const fs::path& folder) {
    const std::string incremental = (folder / "user_incremental_kv.clsrecord").string();
    const std::string compacted = (folder / "user_compacted_kv.clsrecord").string();
    WRKKVStorage storage{incremental.c_str(), compacted.c_str(), 64, 16};
    return WRKUserLoggingGetCompactedKVEntries(&storage, true)
        .value_or(std::map<std::string, std::string>{});
}

TEST(crashReportObject, ReadsEachValueOnceAndKeepsIt) {
    test::TempFolder folder("report-object");
    makeCrashedRun(folder.path(), "7.1");
    const auto internal = WRKInternalReport::withPath(folder.path(), "0123456789abcdef");
    ASSERT_TRUE(internal);
    const WRKReport report(*internal);
    EXPECT_FALSE(report.isReadOnly());
    EXPECT_EQ(report.identifier(), "0123456789abcdef");
    EXPECT_EQ(report.bundleVersion(), "7.1");
    EXPECT_EQ(report.OSBuildVersion(), "6.1.0-13");
    EXPECT_TRUE(report.isCrash());
    ASSERT_TRUE(report.crashedOnDate());
    EXPECT_EQ(
        std::chrono::duration_cast<std::chrono::seconds>(report.crashedOnDate()->time_since_epoch())
            .count(),
        1700000000);
    EXPECT_EQ(report.customKeys(), (std::map<std::string, std::string>{{"theme", "dark"}}));

    // The folder changes under the object: what it read stays.
    fs::remove(folder.path() / "signal.clsrecord");
    makeCrashedRun(folder.path(), "8.0");
    fs::remove(folder.path() / "signal.clsrecord");
    fs::remove(folder.path() / "user_incremental_kv.clsrecord");
    EXPECT_EQ(report.bundleVersion(), "7.1");
    EXPECT_TRUE(report.isCrash());
    EXPECT_EQ(report.customKeys(), (std::map<std::string, std::string>{{"theme", "dark"}}));
}

// A report handed over with its values read ahead is read-only: setting anything on it
// leaves the folder as it was. A writable one records into the report's own files once
// this run's capture is set up (and nothing before).
TEST(crashReportObject, OnlyAWritableReportOfASetUpRunTakesNewValues) {
    test::TempFolder folder("report-object-write");
    makeCrashedRun(folder.path(), "7.1");
    const auto internal = WRKInternalReport::withPath(folder.path(), "0123456789abcdef");
    ASSERT_TRUE(internal);
    const std::map<std::string, std::string> before = userKeys(folder.path());

    WRKReport readOnly(*internal, true);
    EXPECT_TRUE(readOnly.isReadOnly());
    EXPECT_FALSE(readOnly.canRecordNewValues());
    readOnly.setObjectValue("light", "theme");
    readOnly.setUserName("Ada");
    EXPECT_EQ(userKeys(folder.path()), before);
    EXPECT_FALSE(fs::exists(folder.path() / "internal_incremental_kv.clsrecord"));

    WRKReport writable(*internal);
    const bool setUp = WRKContextIsInitialized();
    EXPECT_EQ(writable.canRecordNewValues(), setUp);
    writable.setObjectValue("light", "theme");
    writable.setUserName("Ada");
    if (setUp) {
        EXPECT_EQ(userKeys(folder.path()),
                  (std::map<std::string, std::string>{{"theme", "light"}}));
        EXPECT_TRUE(fs::exists(folder.path() / "internal_incremental_kv.clsrecord"));
        EXPECT_EQ(writable.customKeys(), (std::map<std::string, std::string>{{"theme", "light"}}));
    } else {
        EXPECT_EQ(userKeys(folder.path()), before);
        EXPECT_FALSE(fs::exists(folder.path() / "internal_incremental_kv.clsrecord"));
    }
}

}  // namespace
}  // namespace talvor::crash
