#include "kit/InfoDictionary.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "LogCapture.h"
#include "kit/Trellis.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

const std::string kXml =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>Trellis</key><dict>
    <key>APIKey</key><string>k-ä-1</string>
    <key>Kits</key><array><dict><key>KitName</key><string>Wreckord</string></dict></array>
  </dict>
  <key>CFBundleVersion</key><integer>7</integer>
</dict></plist>)";

std::string binaryOf(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string result(bytes, length);
    std::free(bytes);
    plist_free(root);
    return result;
}

TEST(kitInfoDictionary, ReadsXmlAndBinaryAlike) {
    for (const std::string& bytes : {kXml, binaryOf(kXml)}) {
        const auto info = InfoDictionary::fromData(bytes);
        ASSERT_TRUE(info);
        const auto trellis = info->dictionary("Trellis");
        ASSERT_TRUE(trellis);
        EXPECT_EQ(trellis->string("APIKey"), "k-ä-1");
        EXPECT_EQ(trellis->string("Kits"), std::nullopt);
        EXPECT_EQ(info->string("CFBundleVersion"), std::nullopt);
        EXPECT_EQ(info->dictionary("CFBundleVersion"), std::nullopt);
        EXPECT_EQ(info->string("APIKey"), std::nullopt);
    }
}

TEST(kitInfoDictionary, RejectsWhatIsNotADictionary) {
    const char* inputs[] = {
        "",
        "not a property list",
        R"(<plist version="1.0"><array><string>x</string></array></plist>)",
        R"(<plist version="1.0"><string>Trellis</string></plist>)",
        R"(<plist version="1.0"><dict><key>Trellis</key>)",
    };
    for (const char* input : inputs) {
        EXPECT_EQ(InfoDictionary::fromData(input), std::nullopt) << input;
    }
}

TEST(kitInfoDictionary, SubDictionariesOutliveTheirParent) {
    std::optional<InfoDictionary> trellis;
    { trellis = InfoDictionary::fromData(kXml)->dictionary("Trellis"); }
    ASSERT_TRUE(trellis);
    EXPECT_EQ(trellis->string("APIKey"), "k-ä-1");
}

class MainBundleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("talvor-kit-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        ::unsetenv("TALVOR_INFO_PLIST");
        Trellis::setSharedSDK(nullptr);
        fs::remove_all(dir_);
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir_;
};

using kitMainBundle = MainBundleTest;

TEST_F(kitMainBundle, TheEnvironmentNamesTheFileTheSharedHostReads) {
    const fs::path path = write("Info.plist", binaryOf(kXml));
    ::setenv("TALVOR_INFO_PLIST", path.c_str(), 1);

    EXPECT_EQ(mainBundleInfoPlistPath(), path);
    Trellis::setSharedSDK(nullptr);
    EXPECT_EQ(Trellis::sharedSDK().APIKey(), "k-ä-1");
}

TEST_F(kitMainBundle, AMissingOrBrokenFileGivesNoKey) {
    const fs::path broken = write("Broken.plist", "<plist><dict><key>Trellis");
    for (const fs::path& path : {broken, dir_ / "Absent.plist"}) {
        SCOPED_TRACE(path.string());
        ::setenv("TALVOR_INFO_PLIST", path.c_str(), 1);
        EXPECT_EQ(mainBundleInfoDictionary(), std::nullopt);

        test::LogCapture capture;
        Trellis::setSharedSDK(nullptr);
        EXPECT_EQ(Trellis::sharedSDK().APIKey(), std::nullopt);
        EXPECT_EQ(capture.lines.size(), 1u);
    }
}

}  // namespace
}  // namespace talvor::kit
