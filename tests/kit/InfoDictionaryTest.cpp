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
#include <vector>

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

// A binary list byte by byte: `objects` with 4-byte offsets and references, the first the
// root. Objects of up to 14 bytes or elements.
std::string bigEndian(std::uint64_t value, int width) {
    std::string out;
    for (int i = width - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
    return out;
}
std::string binaryList(const std::vector<std::string>& objects) {
    std::string out = "bplist00";
    std::string offsets;
    for (const std::string& object : objects) {
        offsets += bigEndian(out.size(), 4);
        out += object;
    }
    const std::size_t table = out.size();
    return out + offsets + std::string(6, '\0') + "\x04\x04" + bigEndian(objects.size(), 8) +
           bigEndian(0, 8) + bigEndian(table, 8);
}
std::string container(char kind, const std::vector<std::uint64_t>& refs) {
    const std::size_t count = kind == '\xd0' ? refs.size() / 2 : refs.size();
    std::string out(1, static_cast<char>(kind | count));
    for (std::uint64_t r : refs) {
        out += bigEndian(r, 4);
    }
    return out;
}

// Binary Info.plists are read by the bounded reader: UTF-16 text as UTF-8 (a lone surrogate
// as U+FFFD), and lists nested past the bound, holding themselves, expanding from shared
// objects or damaged are refused, never a crash.
TEST(kitInfoDictionary, BinaryListsAreReadWithinBounds) {
    const std::string utf16 = "\x65" + std::string("\0A\xd8\x3d\xde\x00\xd8\x00\0B", 10);
    const std::string name = "\x54Name";
    const auto text =
        InfoDictionary::fromData(binaryList({container('\xd0', {1, 2}), name, utf16}));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->string("Name"),
              "A\xf0\x9f\x98\x80\xef\xbf\xbd"
              "B");

    // A dictionary whose key k holds the list `objects` make from object 2 on.
    auto underKey = [](std::vector<std::string> objects) {
        objects.insert(objects.begin(), {container('\xd0', {1, 2}), "\x51k"});
        return binaryList(objects);
    };
    std::vector<std::string> deep;
    for (std::uint64_t i = 0; i < 100000; ++i) {
        deep.push_back(container('\xa0', {3 + i}));
    }
    deep.push_back("\x09");
    std::vector<std::string> doubling;
    for (std::uint64_t i = 0; i < 22; ++i) {
        doubling.push_back(container('\xa0', {3 + i, 3 + i}));
    }
    doubling.push_back("\x09");
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case refused[] = {
        {"100,000 arrays deep", underKey(deep)},
        {"an array holding itself", underKey({container('\xa0', {2})})},
        {"2^22 elements from shared arrays", underKey(doubling)},
        {"a reference past the objects", underKey({container('\xa0', {9})})},
        {"a key that is no string", binaryList({container('\xd0', {1, 1}), "\x10\x01"})},
        {"a UID", underKey({"\x80\x01"})},
        {"a truncated list", binaryList({container('\xd0', {1, 2}), name, utf16}).substr(0, 40)},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(InfoDictionary::fromData(c.bytes), std::nullopt) << c.name;
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
