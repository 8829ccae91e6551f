#include "crash/WRKPackageReport.h"
#include "support/MultipartBody.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace talvor::crash {
namespace {

namespace fs = std::filesystem;
using test::gunzip;
using test::parseMultipart;
using test::Part;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PackageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("talvor-package-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::remove_all(root_);
        manager_ = std::make_unique<WRKFileManager>(root_, "com.larkspindle.TalvorPro");
        ASSERT_TRUE(manager_->prepareForNewLaunch());
        run_ = manager_->activePath() / "0123456789abcdef0123456789abcdef";
        fs::create_directories(run_);
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(run_ / name, std::ios::binary) << bytes;
    }
    std::shared_ptr<WRKPackageReportOperation> package() const {
        auto report = WRKInternalReport::reportWithPath(run_);
        EXPECT_TRUE(report);
        auto operation = std::make_shared<WRKPackageReportOperation>(*report, *manager_);
        operation->start();
        return operation;
    }
    // The packaged file's parts, checked against the boundary its name carries.
    std::vector<Part> partsOf(const fs::path& packaged) const {
        EXPECT_EQ(packaged.parent_path(), manager_->preparedPath());
        EXPECT_EQ(packaged.extension(), ".multipartmime");
        return parseMultipart(readAll(packaged), packaged.stem().string());
    }

    static inline int next_ = 0;
    fs::path root_;
    std::unique_ptr<WRKFileManager> manager_;
    fs::path run_;
};

const char kMetadata[] =
    R"({"identity":{"api_key":"key-1","session_id":"0123456789abcdef0123456789abcdef"}})"
    "\n";

// Package, parse the multipart file, gunzip each part: the sources come back byte for byte,
// in the folder's order, after the two text parts; leftovers and empty files add nothing.
TEST_F(PackageTest, EveryRecordFileComesBackFromItsCompressedPart) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) {
        binary += static_cast<char>((i * 7919) % 251);
    }
    const std::map<std::string, std::string> sources = {
        {"metadata.clsrecord", kMetadata},
        {"signal.clsrecord", "{\"signal\":{\"number\":11}}\n{\"threads\":[]}\n"},
        {"binary_images.clsrecord", binary},
    };
    for (const auto& [name, bytes] : sources) {
        write(name, bytes);
    }
    write("log_a.clsrecord", "");
    write("errors_a.clsrecord.gz", "left by an interrupted attempt");

    const auto operation = package();
    ASSERT_TRUE(operation->finalPath());
    const std::vector<Part> parts = partsOf(*operation->finalPath());
    ASSERT_EQ(parts.size(), 2 + sources.size());
    EXPECT_EQ(parts[0].name, "api_key");
    EXPECT_EQ(parts[0].body, "key-1");
    EXPECT_EQ(parts[0].fileName, std::nullopt);
    EXPECT_EQ(parts[1].name, "report_id");
    EXPECT_EQ(parts[1].body, "0123456789abcdef0123456789abcdef");
    std::vector<std::string> order;
    for (std::size_t i = 2; i < parts.size(); ++i) {
        const Part& part = parts[i];
        order.push_back(part.name);
        ASSERT_TRUE(sources.count(part.name)) << part.name;
        EXPECT_EQ(part.fileName, part.name + ".gz");
        EXPECT_EQ(part.contentType, "application/x-gzip");
        EXPECT_EQ(gunzip(part.body), sources.at(part.name)) << part.name;
        EXPECT_EQ(readAll(run_ / (part.name + ".gz")), part.body) << "sent from the copy beside it";
    }
    EXPECT_EQ(order, (std::vector<std::string>{"binary_images.clsrecord", "metadata.clsrecord",
                                               "signal.clsrecord"}));

    // A second packaging of the same folder: a file of its own, under another boundary.
    const auto again = package();
    ASSERT_TRUE(again->finalPath());
    EXPECT_NE(*again->finalPath(), *operation->finalPath());
    EXPECT_EQ(partsOf(*again->finalPath()).size(), parts.size());
}

// A file that cannot be compressed goes as it is, marked as text, still named ".gz".
TEST_F(PackageTest, AFileThatCannotBeCompressedIsSentAsItIs) {
    write("metadata.clsrecord", kMetadata);
    write("signal.clsrecord", "{\"signal\":{}}\n");
    fs::create_directories(run_ / "signal.clsrecord.gz");  // nothing can be written there

    const auto operation = package();
    ASSERT_TRUE(operation->finalPath());
    const std::vector<Part> parts = partsOf(*operation->finalPath());
    ASSERT_EQ(parts.size(), 4u);
    const Part& signal = parts[3];
    EXPECT_EQ(signal.name, "signal.clsrecord");
    EXPECT_EQ(signal.fileName, "signal.clsrecord.gz");
    EXPECT_EQ(signal.contentType, "text/plain");
    EXPECT_EQ(signal.body, "{\"signal\":{}}\n");
    EXPECT_EQ(parts[2].contentType, "application/x-gzip");
}

// Without an API key in the metadata there is no key part; without a prepared folder there
// is no package at all, never a partial one.
TEST_F(PackageTest, MissingKeyAndMissingPreparedFolder) {
    write("metadata.clsrecord", R"({"identity":{"session_id":"abc"}})"
                                "\n");
    const auto keyless = package();
    ASSERT_TRUE(keyless->finalPath());
    const std::vector<Part> parts = partsOf(*keyless->finalPath());
    ASSERT_FALSE(parts.empty());
    EXPECT_EQ(parts[0].name, "report_id");
    EXPECT_EQ(parts[0].body, "abc");

    fs::remove_all(manager_->preparedPath());
    const auto nowhere = package();
    EXPECT_EQ(nowhere->finalPath(), std::nullopt);
    EXPECT_FALSE(fs::exists(manager_->preparedPath()));
}

TEST_F(PackageTest, ACancelledPackagingLeavesNothing) {
    write("metadata.clsrecord", kMetadata);
    auto report = WRKInternalReport::reportWithPath(run_);
    ASSERT_TRUE(report);
    auto operation = std::make_shared<WRKPackageReportOperation>(*report, *manager_);
    operation->cancel();
    operation->main();
    EXPECT_EQ(operation->finalPath(), std::nullopt);
    EXPECT_TRUE(manager_->preparedPathContents().empty());
}

TEST(crashCompressData, EmptyDataOrAnUnwritablePathFails) {
    const fs::path dir = fs::temp_directory_path() / ("talvor-gz-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    EXPECT_FALSE(WRKPackageReportOperation::compressData("", dir / "empty.gz"));
    EXPECT_FALSE(WRKPackageReportOperation::compressData("x", dir / "missing" / "x.gz"));
    ASSERT_TRUE(WRKPackageReportOperation::compressData("hello", dir / "x.gz"));
    EXPECT_EQ(gunzip(readAll(dir / "x.gz")), "hello");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace talvor::crash
