#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "KitSandbox.h"
#include "kit/ExecutableImage.h"
#include "kit/TRLApplication.h"
#include "kit/TRLApplicationIdentiferModel.h"
#include "kit/TRLEncoding.h"
#include "kit/TRLHost.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::KitSandbox;
using test::plist;

TEST(kitEncoding, HashesMatchThePublishedVectors) {
    struct Case {
        std::string input;
        const char* sha1;
        const char* sha256;
    };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 10));
        EXPECT_EQ(TRLHashNSData(c.input), c.sha1);
        EXPECT_EQ(TRLHashBytes(c.input.data(), c.input.size()), c.sha1);
        EXPECT_EQ(FAB256HashNSData(c.input), c.sha256);
        EXPECT_EQ(FAB256HashBytes(c.input.data(), c.input.size()), c.sha256);
    }
    EXPECT_EQ(TRLHashBytes(nullptr, 0), cases[0].sha1);
}

// The padding decides everything near a block's end: every length through three blocks,
// beside OpenSSL's digests of the same bytes.
TEST(kitEncoding, HashesMatchOpenSslAtEveryLengthAroundTheBlockEnds) {
    std::string bytes;
    for (int i = 0; i < 200; ++i) {
        bytes.push_back(static_cast<char>((i * 131 + 7) & 0xff));
    }
    const auto reference = [](const EVP_MD* type, const std::string& input) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_Digest(input.data(), input.size(), digest, &size, type, nullptr);
        std::string hex;
        for (unsigned int i = 0; i < size; ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", digest[i]);
            hex += two;
        }
        return hex;
    };
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string input = bytes.substr(0, length);
        EXPECT_EQ(TRLHashNSData(input), reference(EVP_sha1(), input));
        EXPECT_EQ(FAB256HashNSData(input), reference(EVP_sha256(), input));
    }
}

TEST(kitEncoding, HexIsLowerCaseAndBoundedByItsBuffer) {
    const std::uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
    char two[3] = "xx";
    TRLHexFromByte(0xa7, two);
    EXPECT_STREQ(two, "a7");
    TRLHexFromByte(0xa7, nullptr);  // nothing happens

    char out[12];
    std::memset(out, 'z', sizeof out);
    TRLSafeHexToString(bytes, 4, out);
    EXPECT_STREQ(out, "000fa0ff");
    EXPECT_EQ(out[9], 'z');  // 2n+1 bytes and no more

    std::memset(out, 'z', sizeof out);
    TRLSafeHexToString(nullptr, 4, out);
    EXPECT_EQ(std::string(out, 9), std::string(9, '\0'));
    EXPECT_EQ(out[9], 'z');
    TRLSafeHexToString(bytes, 4, nullptr);

    EXPECT_EQ(TRLNSDataPrettyDescription(std::string("\x00\x0f\xa0\xff", 4)), "000fa0ff");
    const std::uint8_t uuid[16] = {0xde, 0xad, 0xbe, 0xef, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xff};
    EXPECT_EQ(TRLUUIDToNSString(uuid), "deadbeef000102030405060708090aff");
}

TEST(kitEncoding, UUIDsAreRandomUpperCaseVersion4) {
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = TRLGenerateUUID();
        EXPECT_TRUE(std::regex_match(uuid, form)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(kitEncoding, ByteRangesAreOneWholeRange) {
    const std::string data = "hello";
    int calls = 0;
    TRLEnumerateByteRangesOfNSDataUsingBlock(
        data, [&](const std::uint8_t* bytes, TRLByteRange range, bool& stop) {
            ++calls;
            EXPECT_EQ(bytes, reinterpret_cast<const std::uint8_t*>(data.data()));
            EXPECT_EQ(range.location, 0u);
            EXPECT_EQ(range.length, 5u);
            stop = true;
        });
    EXPECT_EQ(calls, 1);
}

TEST(kitHost, VersionsComeFromOsReleaseElseTheKernel) {
    struct Case {
        std::optional<std::string> osRelease;
        std::string kernel;
        TRLOSVersion version;
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n", "6.1.0-18-amd64", {12, 0, 0}},
        {"VERSION_ID=22.04\n", "6.5.0", {22, 4, 0}},
        {"VERSION_ID='39.1.7'", "6.5.0", {39, 1, 7}},
        {"ID=arch\nBUILD_ID=rolling\n", "6.7.4-arch1-1", {6, 7, 4}},
        {"VERSION_ID=\"\"\n", "6.1.0-18-amd64", {6, 1, 0}},
        {"MY_VERSION_ID=5\n", "5.15", {5, 15, 0}},
        {std::nullopt, "4.19.0", {4, 19, 0}},
        {std::nullopt, "weird", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kernel);
        const auto osRelease =
            c.osRelease ? std::optional<std::string_view>(*c.osRelease) : std::nullopt;
        EXPECT_EQ(host::osVersionFrom(osRelease, c.kernel), c.version);
    }
}

TEST(kitHost, NormalizedVersionsFollowTheOldTable) {
    const std::pair<std::int64_t, std::uint64_t> cases[] = {
        {5, 0},       {6, 1060},    {7, 1070},    {8, 1080},    {9, 1090},
        {10, 101000}, {11, 101100}, {12, 101200}, {13, 101300}, {14, 0},
    };
    for (const auto& [minor, normalized] : cases) {
        EXPECT_EQ(TRLHostNormalizedOSVersion({10, minor, 0}), normalized) << minor;
    }
}

TEST(kitHost, FactsOfThisMachine) {
    utsname name{};
    ::uname(&name);
    EXPECT_EQ(TRLHostOSBuildVersion(), std::string(name.release));
    EXPECT_EQ(TRLHostSysctlEntry("kernel.ostype"), "Linux");
    EXPECT_EQ(TRLHostSysctlEntry("kernel.osrelease"), std::string(name.release));
    for (const char* bad : {"", "kernel.nonexistent", "..etc.passwd", ".kernel"}) {
        EXPECT_EQ(TRLHostSysctlEntry(bad), std::nullopt) << bad;
    }
    const TRLOSVersion v = TRLHostGetOSVersion();
    EXPECT_EQ(TRLHostOSDisplayVersion(), std::to_string(v.majorVersion) + "." +
                                             std::to_string(v.minorVersion) + "." +
                                             std::to_string(v.patchVersion));
    EXPECT_TRUE(TRLHostModelInfo().has_value());
}

TEST(kitHost, TheModelIsTheFirmwaresProductNameElseTheMachine) {
    const fs::path dmi = fs::temp_directory_path() / ("talvor-dmi-" + std::to_string(::getpid()));
    fs::create_directories(dmi);
    EXPECT_EQ(host::modelFrom(dmi, "x86_64"), "x86_64");
    std::ofstream(dmi / "product_name") << "  \n";
    EXPECT_EQ(host::modelFrom(dmi, "x86_64"), "x86_64");
    std::ofstream(dmi / "product_name") << "ThinkPad X13 Gen 2\n";
    EXPECT_EQ(host::modelFrom(dmi, "x86_64"), "ThinkPad X13 Gen 2");
    fs::remove_all(dmi);
}

class ApplicationFunctionsTest : public ::testing::Test {
  protected:
    KitSandbox sandbox;
};

using kitApplication = ApplicationFunctionsTest;

TEST_F(kitApplication, NameAndVersionsComeFromInfoPlist) {
    struct Case {
        std::string info;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"<key>CFBundleDisplayName</key><string>Shown</string>"
         "<key>CFBundleName</key><string>Named</string>"
         "<key>CFBundleVersion</key><string>42</string>",
         "Shown"},
        {"<key>CFBundleName</key><string>Named</string>"
         "<key>CFBundleVersion</key><string>42</string>",
         "Named"},
        {"<key>CFBundleVersion</key><string>42</string>", "42"},
        {"<key>CFBundleDisplayName</key><integer>1</integer>", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info);
        sandbox.useBundle(plist(c.info));
        EXPECT_EQ(TRLApplicationGetName(), c.name);
    }
    sandbox.useBundle(
        plist("<key>CFBundleIdentifier</key><string>a/b/c</string>"
              "<key>CFBundleShortVersionString</key><string>2.3</string>"));
    EXPECT_EQ(TRLApplicationGetBundleIdentifier(), "a_b_c");
    EXPECT_EQ(TRLApplicationGetShortBundleVersion(), "2.3");
    EXPECT_EQ(TRLApplicationGetBundleVersion(), std::nullopt);
}

// Linux has no store receipts: the source is 3 when signed for distribution, else 1.
TEST_F(kitApplication, InstallationSourceWithoutAStoreReceipt) {
    EXPECT_FALSE(TRLApplicationHasAppStoreReceipt());
    const std::pair<std::string, std::uint64_t> cases[] = {
        {"", 1},
        {"<key>WreckordSignedForDistribution</key><true/>", 3},
        {"<key>WreckordSignedForDistribution</key><false/>", 1},
        {"<key>WreckordSignedForDistribution</key><integer>1</integer>", 3},
        {"<key>WreckordSignedForDistribution</key><string>YES</string>", 1},
    };
    for (const auto& [info, source] : cases) {
        SCOPED_TRACE(info);
        sandbox.useBundle(plist(info));
        EXPECT_EQ(TRLApplicationInstallationSource(), source);
    }
}

TEST_F(kitApplication, DeviceIdentifiersAreReportedUnlessSaidOtherwise) {
    struct Case {
        std::string info;
        bool nimbus;
        bool report;
    };
    const Case cases[] = {
        {"", false, true},
        {"", true, false},
        {"<key>Trellis</key><dict><key>ReportIdentifiers</key><false/></dict>"
         "<key>WreckordCollectDeviceIdentifiers</key><true/>",
         false, false},
        {"<key>Trellis</key><dict><key>ReportIdentifiers</key><true/></dict>"
         "<key>WreckordCollectDeviceIdentifiers</key><false/>",
         false, true},
        {"<key>Trellis</key><dict/><key>WreckordCollectDeviceIdentifiers</key><false/>", false,
         false},
        {"<key>Trellis</key><dict><key>ReportIdentifiers</key><true/></dict>", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info);
        Trellis& sdk = sandbox.install(plist(c.info));
        sdk.setInstallationMode(c.nimbus ? Trellis::Nimbus : Trellis::NotConfigured);
        EXPECT_EQ(TRLApplicationShouldReportDeviceIdentifiers(), c.report);
    }
}

// What binutils reads from the test program's own file.
std::optional<std::string> readelfBuildID() {
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    const std::string command = "readelf -n '" + std::string(self, n) + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) {
        out.append(buffer.data(), got);
    }
    std::smatch match;
    static const std::regex line("Build ID: ([0-9a-f]+)");
    if (!std::regex_search(out, match, line)) {
        return std::nullopt;
    }
    return match[1].str();
}

TEST(kitExecutableImage, TheBuildIdIsWhatReadelfReads) {
    const auto identity = mainExecutableIdentity();
    ASSERT_TRUE(identity);
    const auto expected = readelfBuildID();
    ASSERT_TRUE(expected) << "readelf found no build-id";
    EXPECT_EQ(imageUUIDString(identity->buildID), *expected);
    EXPECT_EQ(expected->size(), kImageUUIDHexDigits);
    utsname name{};
    ::uname(&name);
    EXPECT_EQ(identity->architecture, std::string(name.machine));
}

TEST(kitExecutableImage, UUIDTextsHaveOneLength) {
    std::string abs;
    for (int i = 0; i < 20; ++i) {
        abs += "ab";
    }
    EXPECT_EQ(imageUUIDString(PlistData(20, 0xab)), abs);
    EXPECT_EQ(imageUUIDString(PlistData(32, 0x01)).size(), kImageUUIDHexDigits);
    EXPECT_EQ(imageUUIDString(PlistData(16, 0x01)).size(), 32u);
    EXPECT_EQ(imageUUIDString({}), "");
}

TEST_F(kitApplication, TheInstanceIdentifierDoesNotDependOnTheOrderOfParts) {
    // Joined by architecture name: "ab" (aarch64) then "c" (x86_64) is "abc".
    const std::string abcSha1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
    std::map<std::string, std::string> uuids;
    uuids.emplace("x86_64", "c");
    uuids.emplace("aarch64", "ab");
    EXPECT_EQ(TRLApplicationIdentiferModel::computeInstanceIdentifier(uuids), abcSha1);
    std::map<std::string, std::string> reversed;
    reversed.emplace("aarch64", "ab");
    reversed.emplace("x86_64", "c");
    EXPECT_EQ(TRLApplicationIdentiferModel::computeInstanceIdentifier(reversed), abcSha1);

    EXPECT_EQ(TRLApplicationIdentiferModel::make("id", {}, {}, {}), std::nullopt);
    sandbox.useBundle(plist("<key>CFBundleIdentifier</key><string>org/x</string>"));
    const auto model = TRLApplicationIdentiferModel::make("id", uuids, {2, 36, 0}, {3, 2, 0});
    ASSERT_TRUE(model);
    EXPECT_EQ(model->instanceIdentifier(), abcSha1);
    EXPECT_EQ(model->builtSDKString(), "2.36.0");
    EXPECT_EQ(model->minimumSDKString(), "3.2.0");
    EXPECT_EQ(model->bundleIdentifier(), "org_x");
    EXPECT_EQ(model->installID(), "id");
}

TEST_F(kitApplication, TheRunningProgramsModelHasItsBuildId) {
    const auto model = TRLApplicationIdentiferModel::initWithInstallID("install");
    ASSERT_TRUE(model);
    ASSERT_EQ(model->architectureUUIDMap().size(), 1u);
    const auto& [architecture, uuid] = *model->architectureUUIDMap().begin();
    EXPECT_EQ(architecture, imageArchitectureName());
    EXPECT_EQ(uuid, readelfBuildID());
    EXPECT_EQ(model->instanceIdentifier(), TRLHashNSData(uuid));
    EXPECT_TRUE(std::regex_match(model->instanceIdentifier(), std::regex("[0-9a-f]{40}")));
    EXPECT_NE(model->builtSDKString(), "0.0.0");
}

}  // namespace
}  // namespace talvor::kit
