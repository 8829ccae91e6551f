#include "kit/InfoDictionary.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "kit/MainBundle.h"

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
        MainBundle::setBaseInfo({});
        MainBundle::setMain(nullptr);
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

TEST_F(kitMainBundle, TheEnvironmentNamesTheFileTheMainBundleReads) {
    const fs::path path = write("Info.plist", binaryOf(kXml));
    write("NimbusService-Info.plist", kXml);
    ::setenv("TALVOR_INFO_PLIST", path.c_str(), 1);

    EXPECT_EQ(mainBundleInfoPlistPath(), path);
    MainBundle::setMain(nullptr);
    const auto bundle = MainBundle::main();
    ASSERT_NE(bundle->infoDictionary(), nullptr);
    const PlistValue* trellis = bundle->objectForInfoDictionaryKey("Trellis");
    ASSERT_TRUE(trellis && trellis->dictionary());
    EXPECT_EQ(*find(*trellis->dictionary(), "APIKey")->string(), "k-ä-1");
    // Resources lie beside the Info.plist.
    EXPECT_EQ(bundle->pathForResource("NimbusService-Info", "plist"),
              dir_ / "NimbusService-Info.plist");
    EXPECT_EQ(bundle->pathForResource("Absent", "plist"), std::nullopt);
}

// The application's own facts fill in what its Info.plist lacks; the file's keys win.
TEST_F(kitMainBundle, TheFileIsLaidOverTheApplicationsOwnFacts) {
    const PlistDictionary base{{"CFBundleIdentifier", "org.talvor.app"}, {"CFBundleVersion", "99"}};
    struct Case {
        const char* name;
        std::optional<std::string> file;
        std::optional<std::string> identifier;
        const PlistValue* version;
        bool hasTrellis;
    };
    const PlistValue seven(std::int64_t{7});
    const PlistValue ninetyNine("99");
    const Case cases[] = {
        {"no file", std::nullopt, "org.talvor.app", &ninetyNine, false},
        {"a broken file", "<plist><dict><key>Trellis", "org.talvor.app", &ninetyNine, false},
        {"a file", kXml, "org.talvor.app", &seven, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir_ / "Info.plist";
        fs::remove(path);
        if (c.file) {
            write("Info.plist", *c.file);
        }
        ::setenv("TALVOR_INFO_PLIST", path.c_str(), 1);
        MainBundle::setBaseInfo(base);
        MainBundle::setMain(nullptr);
        const auto bundle = MainBundle::main();
        EXPECT_EQ(bundle->bundleIdentifier(), c.identifier);
        ASSERT_NE(bundle->objectForInfoDictionaryKey("CFBundleVersion"), nullptr);
        EXPECT_EQ(*bundle->objectForInfoDictionaryKey("CFBundleVersion"), *c.version);
        EXPECT_EQ(bundle->objectForInfoDictionaryKey("Trellis") != nullptr, c.hasTrellis);
    }
    // A FIFO in the file's place is passed over at once, never waited on for a writer.
    const fs::path fifo = dir_ / "Fifo.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(InfoDictionary::fromFile(fifo), std::nullopt);
    ::setenv("TALVOR_INFO_PLIST", fifo.c_str(), 1);
    MainBundle::setMain(nullptr);
    EXPECT_EQ(MainBundle::main()->bundleIdentifier(), "org.talvor.app");
    // Without base facts and without a file, there is no Info.plist at all.
    MainBundle::setBaseInfo({});
    ::setenv("TALVOR_INFO_PLIST", (dir_ / "Absent.plist").c_str(), 1);
    MainBundle::setMain(nullptr);
    EXPECT_EQ(MainBundle::main()->infoDictionary(), nullptr);
}

}  // namespace
}  // namespace talvor::kit
