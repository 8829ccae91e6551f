#include "crash/WRKInternalReport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crash/WRKContext.h"

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;
using Date = WRKInternalReport::Date;

class Folder {
  public:
    Folder() {
        path_ = fs::temp_directory_path() /
                ("talvor-report-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name) << text;
    }

  private:
    static inline int next_ = 0;
    fs::path path_;
};

// The metadata file as the capture writes it at start.
void recordMetadata(const Folder& folder) {
    WRKContextInitData data;
    data.apiKey = "key-1";
    data.sessionID = "0123456789abcdef0123456789abcdef";
    data.installID = "install";
    data.host.osDisplayVersion = "Debian 12";
    data.host.osBuildVersion = "6.1.0-13";
    data.application.bundleID = "com.larkspindle.TalvorPro";
    data.application.buildVersion = "712";
    data.application.displayVersion = "7.1.2";
    ASSERT_TRUE(WRKContextRecordMetadata((folder.path() / WRKReportMetadataFile).c_str(), data));
}

Date at(long long seconds) {
    return Date(std::chrono::seconds(seconds));
}

TEST(crashInternalReport, FilesDecideWhetherAReportIsSentAndWhetherItIsACrash) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> files;
        bool submit;
        bool crash;
        std::optional<Date> crashedOn;
    };
    const char* signal = R"({"signal":{"number":11,"time":1700000000}})"
                         "\n";
    const Case cases[] = {
        {"only a log", {{"log_a.clsrecord", "{\"log\":{}}\n"}}, false, false, std::nullopt},
        {"nothing at all", {}, false, false, std::nullopt},
        {"an error", {{"errors_b.clsrecord", "{\"error\":{}}\n"}}, true, false, std::nullopt},
        {"a custom exception",
         {{"custom_exception_a.clsrecord", "{\"exception\":{}}\n"}},
         true,
         false,
         std::nullopt},
        {"an uncaught exception only",
         {{"exception.clsrecord", R"({"exception":{"type":"c++","time":1600000000})"
                                  "\n"}},
         true,
         true,
         std::nullopt},
        {"a signal", {{"signal.clsrecord", signal}}, true, true, at(1700000000)},
        {"a signal without a time",
         {{"signal.clsrecord", "{\"signal\":{\"number\":6}}\n"}},
         true,
         true,
         std::nullopt},
        {"a Mach exception before the signal",
         {{"signal.clsrecord", signal},
          {"mach_exception.clsrecord", R"({"mach_exception":{"time":1650000000}})"
                                       "\n"}},
         true,
         true,
         at(1650000000)},
        {"an empty signal file", {{"signal.clsrecord", ""}}, true, true, std::nullopt},
    };
    for (const Case& c : cases) {
        Folder folder;
        recordMetadata(folder);
        for (const auto& [name, text] : c.files) {
            folder.write(name, text);
        }
        const auto report = WRKInternalReport::reportWithPath(folder.path());
        ASSERT_TRUE(report) << c.what;
        EXPECT_EQ(report->needsToBeSubmitted(), c.submit) << c.what;
        EXPECT_EQ(report->isCrash(), c.crash) << c.what;
        EXPECT_EQ(report->crashedOnDate(), c.crashedOn) << c.what;
    }
}

TEST(crashInternalReport, TheMetadataFactsAreThoseTheCaptureWrote) {
    Folder folder;
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
    recordMetadata(folder);
    const auto report = WRKInternalReport::reportWithPath(folder.path());
    ASSERT_TRUE(report);
    EXPECT_EQ(report->identifier(), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(report->directoryName(), folder.path().filename().string());
    EXPECT_EQ(report->APIKey(), "key-1");
    EXPECT_EQ(report->bundleVersion(), "712");
    EXPECT_EQ(report->bundleShortVersionString(), "7.1.2");
    EXPECT_EQ(report->OSVersion(), "Debian 12");
    EXPECT_EQ(report->OSBuildVersion(), "6.1.0-13");
    EXPECT_EQ(report->customKeys(), std::nullopt);
    ASSERT_TRUE(report->dateCreated());
    EXPECT_GE(*report->dateCreated(), before);
    EXPECT_LE(*report->dateCreated(), std::chrono::system_clock::now());
    EXPECT_EQ(report->metadataPath(), folder.path() / "metadata.clsrecord");
    EXPECT_EQ(report->binaryImagePath(), folder.path() / "binary_images.clsrecord");

    std::vector<fs::path> crashFiles;
    report->enumerateSymbolicatableFilesInContent(
        [&](const fs::path& path) { crashFiles.push_back(path); });
    EXPECT_EQ(crashFiles, (std::vector<fs::path>{folder.path() / "exception.clsrecord",
                                                 folder.path() / "mach_exception.clsrecord",
                                                 folder.path() / "signal.clsrecord"}));
}

// A metadata file cut short answers what its lines hold and nothing for the rest; a folder
// without one cannot be opened by path alone.
TEST(crashInternalReport, ShortOrMissingMetadata) {
    Folder shortOne;
    shortOne.write("metadata.clsrecord",
                   R"({"identity":{"session_id":"abc","api_key":"k","started_at":5}})"
                   "\n");
    const auto report = WRKInternalReport::reportWithPath(shortOne.path());
    ASSERT_TRUE(report);
    EXPECT_EQ(report->identifier(), "abc");
    EXPECT_EQ(report->APIKey(), "k");
    EXPECT_EQ(report->dateCreated(), at(5));
    EXPECT_EQ(report->OSVersion(), std::nullopt);
    EXPECT_EQ(report->bundleVersion(), std::nullopt);

    Folder none;
    none.write("signal.clsrecord", "{\"signal\":{}}\n");
    EXPECT_FALSE(WRKInternalReport::reportWithPath(none.path()));
    Folder noIdentifier;
    noIdentifier.write("metadata.clsrecord", "{\"identity\":{\"api_key\":\"k\"}}\n");
    EXPECT_FALSE(WRKInternalReport::reportWithPath(noIdentifier.path()));

    EXPECT_FALSE(WRKInternalReport::withPath(none.path(), ""));
    EXPECT_FALSE(WRKInternalReport::withPath("", "abc"));
    const auto given = WRKInternalReport::withPath(none.path(), "abc");
    ASSERT_TRUE(given);
    EXPECT_EQ(given->identifier(), "abc");
    EXPECT_TRUE(given->isCrash());
}

TEST(crashInternalReport, ARecordFileWithoutAReadableLineReadsAsNothingAndStays) {
    Folder folder;
    folder.write("empty.clsrecord", "");
    folder.write("garbage.clsrecord", "not json\n{\"half\":\n");
    folder.write("good.clsrecord", "not json\n{\"signal\":{}}\n");
    EXPECT_FALSE(WRKInternalReport::readCLSFileAtPath(folder.path() / "empty.clsrecord"));
    EXPECT_FALSE(WRKInternalReport::readCLSFileAtPath(folder.path() / "garbage.clsrecord"));
    EXPECT_TRUE(fs::exists(folder.path() / "garbage.clsrecord"));
    EXPECT_FALSE(WRKInternalReport::readCLSFileAtPath(folder.path() / "missing.clsrecord"));
    const auto good = WRKInternalReport::readCLSFileAtPath(folder.path() / "good.clsrecord");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->size(), 1u);
}

}  // namespace
}  // namespace talvor::crash
