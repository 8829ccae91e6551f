#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "KitSandbox.h"
#include "LogCapture.h"
#include "SettingsTestSupport.h"
#include "kit/KitConsent.h"
#include "kit/KitKeys.h"
#include "kit/OutputStream.h"
#include "kit/TRLIcon.h"
#include "kit/TRLSettings.h"
#include "kit/network/TRLOnboardingOperation.h"
#include "kit/network/TRLSettingsOnboardingManager.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::KitSandbox;
using test::LogCapture;
using test::plist;

const char kBundleInfo[] =
    "<key>CFBundleIdentifier</key><string>org.talvor/Pro app</string>"
    "<key>CFBundleName</key><string>Talvor Pro</string>"
    "<key>CFBundleShortVersionString</key><string>4.2</string>"
    "<key>CFBundleVersion</key><string>420</string>";

TEST(KitSettingsTest, StoredDocumentIsReadOnceAndDamagedFilesAreDeleted) {
    KitSandbox sandbox;
    const fs::path file = sandbox.dir / "settings" / "settings.json";
    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // none: no file
        bool document;
    };
    const Case cases[] = {
        {"no file", std::nullopt, false},
        {"object", R"({"app":{"status":"activated"},"analytics":{"url":"https://e"}})", true},
        {"empty object", "{}", true},
        {"truncated", R"({"app":{"status":)", false},
        {"top-level array", R"([{"app":{}}])", false},
        {"top-level text", R"("settings")", false},
        {"null", "null", false},
        {"empty file", "", false},
        {"nested too deep", std::string(200, '[') + std::string(200, ']'), false},
        {"trailing garbage", R"({"app":{}} x)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(file.parent_path());
        if (c.bytes) {
            test::writeFile(file, *c.bytes);
        }
        TRLSettings settings(file);
        LogCapture logs;
        const auto document = settings.settingsDictionary();
        EXPECT_EQ(document.has_value(), c.document);
        if (c.document) {
            EXPECT_TRUE(logs.lines.empty());
            // Kept in memory: the file going away does not change what the kits read...
            fs::remove(file);
            EXPECT_EQ(settings.settingsDictionary(), document);
            // ...until the cache is cleared.
            settings.clearSettingsDictionary();
            EXPECT_FALSE(settings.settingsDictionary());
        } else if (c.bytes) {
            ASSERT_EQ(logs.lines.size(), 1u);
            EXPECT_EQ(logs.lines[0].rfind("[Trellis] Could not load settings with error: ", 0), 0u)
                << logs.lines[0];
            EXPECT_FALSE(fs::exists(file)) << "a damaged file stays and fails again";
        } else {
            EXPECT_TRUE(logs.lines.empty());
        }
    }
}

TEST(KitSettingsTest, AppSectionDecidesOnboarding) {
    KitSandbox sandbox;
    const fs::path file = sandbox.dir / "settings.json";
    struct Case {
        const char* document;
        std::optional<std::string> status;
        bool needsOnboarding;
        bool updateRequired;
    };
    const Case cases[] = {
        {R"({})", std::nullopt, false, false},
        {R"({"app":null})", std::nullopt, false, false},
        {R"({"app":"new"})", std::nullopt, false, false},
        {R"({"app":["new"]})", std::nullopt, false, false},
        {R"({"app":{"status":null,"update_required":null}})", std::nullopt, false, false},
        {R"({"app":{"status":"new"}})", "new", true, false},
        {R"({"app":{"status":"NEW"}})", "NEW", false, false},
        {R"({"app":{"status":7}})", std::nullopt, false, false},
        {R"({"app":{"status":"activated","update_required":true}})", "activated", false, true},
        {R"({"app":{"status":"activated","update_required":false}})", "activated", false, false},
        {R"({"app":{"update_required":1}})", std::nullopt, false, true},
        {R"({"app":{"update_required":0}})", std::nullopt, false, false},
        {R"({"app":{"update_required":"yes"}})", std::nullopt, false, false},
        {R"({"app":{"status":"new","update_required":true}})", "new", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        test::writeFile(file, c.document);
        TRLSettings settings(file);
        EXPECT_EQ(settings.appStatus(), c.status);
        EXPECT_EQ(settings.appNeedsOnboarding(), c.needsOnboarding);
        EXPECT_EQ(settings.appUpdateRequired(), c.updateRequired);
    }
}

TEST(KitSettingsTest, SettingsUrlCarriesOnlyTheValuesThereAre) {
    KitSandbox sandbox;
    const std::string base = "https://settings.example:8443";
    const std::string path = "/spi/v2/platforms/mac/apps/org.talvor_Pro%20app/settings";
    struct Case {
        const char* name;
        std::string info;
        std::optional<std::string> instance, iconHash;
        std::string query;
    };
    const std::string noBuild = "<key>CFBundleIdentifier</key><string>org.talvor/Pro app</string>";
    const Case cases[] = {
        {"everything", kBundleInfo, "inst1", "hash1",
         "?build_version=420&display_version=4.2&instance=inst1&icon_hash=hash1&source=1"},
        {"no icon", kBundleInfo, "inst1", std::nullopt,
         "?build_version=420&display_version=4.2&instance=inst1&source=1"},
        {"no versions", noBuild, "inst1", "hash1", "?instance=inst1&icon_hash=hash1&source=1"},
        {"only the source", noBuild, std::nullopt, std::nullopt, "?source=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.useBundle(plist(c.info));
        EXPECT_EQ(TRLSettings::settingsURLForEndpoint(base, c.instance, c.iconHash),
                  base + path + c.query);
    }
    EXPECT_EQ(TRLSettings::settingsURLForEndpoint("not a url", "i", "h"), std::nullopt);
    EXPECT_EQ(TRLSettings::settingsURLForEndpoint("", "i", "h"), std::nullopt);
}

TEST(KitSettingsTest, EndpointsComeFromTheEnvironmentThenInfoPlistAndHaveNoDefault) {
    KitSandbox sandbox;
    struct Case {
        const char* name;
        std::optional<std::string> environment;
        std::optional<std::string> infoPlist;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"neither", std::nullopt, std::nullopt, std::nullopt},
        {"Info.plist", std::nullopt, "https://plist.example", "https://plist.example"},
        {"environment wins", "https://env.example", "https://plist.example", "https://env.example"},
        {"environment alone", "https://env.example", std::nullopt, "https://env.example"},
    };
    for (const char* key : {keys::TRLSettingsEndpointKey, keys::TRLConfigureEndpointKey}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(key) + ": " + c.name);
            test::ScopedEnv env(key, c.environment);
            sandbox.useBundle(c.infoPlist
                                  ? plist(std::string("<key>Wreckord</key><dict><key>") + key +
                                          "</key><string>" + *c.infoPlist + "</string></dict>")
                                  : plist("<key>Wreckord</key><dict/>"));
            EXPECT_EQ(TRLSettingsOnboardingManager::valueForConfigurationKey(key), c.expected);
        }
    }
    // A "Wreckord" entry that is no dictionary configures nothing.
    test::ScopedEnv env(keys::TRLSettingsEndpointKey, std::nullopt);
    sandbox.useBundle(plist("<key>Wreckord</key><string>https://x.example</string>"));
    EXPECT_EQ(TRLSettingsOnboardingManager::valueForConfigurationKey(keys::TRLSettingsEndpointKey),
              std::nullopt);
}

TEST(KitSettingsTest, SettingsFolderIsTheKitsOwnUnderTheUsersCaches) {
    KitSandbox sandbox;
    test::ScopedEnv cache("XDG_CACHE_HOME", (sandbox.dir / "cache").string());
    sandbox.useBundle(plist(kBundleInfo));
    // The bundle identifier stands unchanged here, "/" and all.
    EXPECT_EQ(
        TRLSettingsOnboardingManager::settingsDirectoryPath(),
        sandbox.dir / "cache" / "talvor" / "io.trellis.sdk.mac.data" / "org.talvor" / "Pro app");
}

TEST(KitSettingsTest, DataSharingIsAllowedUntilTheUserSwitchesItOff) {
    KitSandbox sandbox;
    struct Case {
        std::optional<PlistValue> value;
        bool allowed;
    };
    const Case cases[] = {
        {std::nullopt, true},
        {PlistValue(true), true},
        {PlistValue(false), false},
        {PlistValue(0), false},
        {PlistValue(1), true},
        {PlistValue("NO"), false},
        {PlistValue(PlistArray{}), true},
    };
    for (const Case& c : cases) {
        sandbox.defaults->values.erase(keys::TalvorShareDataWithServiceKey);
        if (c.value) {
            sandbox.defaults->values[keys::TalvorShareDataWithServiceKey] = *c.value;
        }
        EXPECT_EQ(TRLDataSharingAllowed(), c.allowed);
    }
}

TEST(KitIconTest, HashAndSurface) {
    const std::string png = test::pngHeader(512, 256);
    const auto icon = TRLIcon::initWithPNGData(png);
    ASSERT_TRUE(icon);
    // SHA-1 of those 33 bytes, worked out with Python's hashlib.
    EXPECT_EQ(icon->dataHash(), "96450dced9203c810d6aea33e5b612284a9596a0");
    EXPECT_EQ(icon->size(), (TRLIconSize{512, 256}));
    EXPECT_TRUE(icon->prerendered());
    EXPECT_EQ(icon->surfaceArea(), 512.0 * 256);
    EXPECT_TRUE(icon->largerThanSize({256, 256}));
    EXPECT_FALSE(icon->largerThanSize({512, 256}));

    struct Case {
        TRLIconSize size;
        bool within;
    };
    for (const Case& c : {Case{{1024, 1024}, true}, Case{{1025, 1024}, false},
                          Case{{2048, 512}, true}, Case{{1024.5, 1024}, false}}) {
        EXPECT_EQ(TRLIcon("x", c.size).isWithinMaxSurfaceArea(), c.within) << c.size.width;
    }
    // Given a hash, the icon keeps it as it is.
    EXPECT_EQ(TRLIcon("x", "given", {1, 1}, false).dataHash(), "given");

    // Bytes that are no PNG picture make no icon.
    for (const std::string& bytes :
         {std::string(), std::string("GIF89a"), png.substr(0, 23), test::pngHeader(0, 16),
          test::pngHeader(16, 0), "\x89PNG\r\n\x1a\n" + std::string(16, '\0')}) {
        EXPECT_FALSE(TRLIcon::initWithPNGData(bytes));
    }
}

TEST(KitIconTest, ApplicationIconIsTheBundlesPicture) {
    KitSandbox sandbox;
    struct Case {
        const char* name;
        std::string info;
        std::optional<std::string> file;  // written among the resources
        std::optional<TRLIconSize> size;
    };
    const Case cases[] = {
        {"none", "", std::nullopt, std::nullopt},
        {"AppIcon.png", "", "AppIcon.png", TRLIconSize{128, 128}},
        {"named with extension", "<key>CFBundleIconFile</key><string>Clock.png</string>",
         "Clock.png", TRLIconSize{128, 128}},
        {"named without extension", "<key>CFBundleIconFile</key><string>Clock</string>",
         "Clock.png", TRLIconSize{128, 128}},
        {"named file missing", "<key>CFBundleIconFile</key><string>Gone</string>", "AppIcon.png",
         std::nullopt},
        {"not a picture", "", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(sandbox.dir / "bundle");
        fs::create_directories(sandbox.dir / "bundle");
        if (c.file) {
            test::writeFile(sandbox.dir / "bundle" / *c.file, test::pngHeader(128, 128));
        } else if (std::string(c.name) == "not a picture") {
            test::writeFile(sandbox.dir / "bundle" / "AppIcon.png", "not a png");
        }
        sandbox.useBundle(plist(c.info));
        TRLAppIconUtility::reset();
        const auto icon = TRLAppIconUtility::applicationIcon();
        EXPECT_EQ(icon ? std::optional<TRLIconSize>(icon->size()) : std::nullopt, c.size);
        // Kept for the process: a later change of the file does not show.
        fs::remove_all(sandbox.dir / "bundle");
        EXPECT_EQ(TRLAppIconUtility::applicationIcon(), icon);
    }
    TRLAppIconUtility::reset();
}

// The form the service takes, part by part, as the operation writes it.
std::vector<test::FormPart> formOf(const TRLOnboardingOperation& operation) {
    auto stream = std::make_shared<MemoryOutputStream>();
    const std::string boundary = TRLMultipartMimeStreamEncoder::generateBoundary();
    TRLMultipartMimeStreamEncoder encoder(stream, boundary);
    EXPECT_TRUE(encoder.encode([&](TRLMultipartMimeStreamEncoder& e) { operation.encodeForm(e); }));
    return test::splitForm(stream->data(), boundary);
}

test::FormPart text(std::string name, std::string value) {
    return {std::move(name), std::nullopt, "text/plain", std::move(value)};
}

TEST(KitOnboardingFormTest, FieldsInOrderWithSlicePairsAndTheIconCutToWholePoints) {
    KitSandbox sandbox;
    sandbox.useBundle(plist(kBundleInfo));
    const std::string png = test::pngHeader(1024, 1024, "icon");
    const TRLIcon icon(png, {512.7, 512.2}, false);
    const auto model =
        TRLApplicationIdentiferModel::make("install-1",
                                           {{"x86_64", "0123456789abcdef0123456789abcdef"},
                                            {"arm64", "fedcba9876543210fedcba9876543210"}},
                                           SDKVersion{2, 36, 0}, SDKVersion{3, 2, 0}, icon);
    ASSERT_TRUE(model);
    TRLOnboardingOperation::Parameters parameters;
    parameters.shouldCreate = true;
    parameters.appIdentifierModel = model;
    parameters.kitVersionsByKitBundleIdentifier = {{"io.trellis.sdk.mac", "1.7.2"},
                                                   {"com.wreckord.sdk.mac", "3.10.1"}};
    parameters.appEndpoint = "https://configure.example";
    auto operation = TRLOnboardingOperation::initWithAPIKey("key", parameters);
    ASSERT_TRUE(operation);

    const std::vector<test::FormPart> expected = {
        text("app[identifier]", "org.talvor_Pro app"),
        text("app[instance_identifier]", model->instanceIdentifier()),
        text("app[name]", "Talvor Pro"),
        text("app[build_version]", "420"),
        text("app[display_version]", "4.2"),
        text("app[source]", "1"),
        text("app[minimum_sdk_version]", "3.2.0"),
        text("app[built_sdk_version]", "2.36.0"),
        text("app[build][libraries][com.wreckord.sdk.mac]", "3.10.1"),
        text("app[build][libraries][io.trellis.sdk.mac]", "1.7.2"),
        text("app[slices][][arch]", "arm64"),
        text("app[slices][][uuid]", "fedcba9876543210fedcba9876543210"),
        text("app[slices][][arch]", "x86_64"),
        text("app[slices][][uuid]", "0123456789abcdef0123456789abcdef"),
        text("app[icon][hash]", icon.dataHash()),
        text("app[icon][prerendered]", "false"),
        text("app[icon][width]", "512"),
        text("app[icon][height]", "512"),
        {"app[icon][data]", "icon.png", "image/png", png},
    };
    EXPECT_EQ(formOf(*operation), expected);

    // Without an icon none of its five parts is written.
    parameters.appIdentifierModel = TRLApplicationIdentiferModel::make(
        "install-1", model->architectureUUIDMap(), SDKVersion{2, 36, 0}, SDKVersion{3, 2, 0});
    const auto withoutIcon = formOf(*TRLOnboardingOperation::initWithAPIKey("key", parameters));
    ASSERT_EQ(withoutIcon.size(), expected.size() - 5);
    EXPECT_TRUE(std::equal(withoutIcon.begin(), withoutIcon.end(), expected.begin()));

    EXPECT_EQ(operation->appCreateURL(), "https://configure.example/spi/v1/platforms/mac/apps");
    EXPECT_EQ(operation->appUpdateURL(),
              "https://configure.example/spi/v1/platforms/mac/apps/org.talvor_Pro%20app");
    EXPECT_EQ(operation->onboardingRequestForAppCreate(true).HTTPMethod, "POST");
    EXPECT_EQ(operation->onboardingRequestForAppCreate(false).HTTPMethod, "PUT");
    EXPECT_EQ(operation->onboardingRequestForAppCreate(false).timeoutInterval, 10.0);
    EXPECT_FALSE(TRLOnboardingOperation::initWithAPIKey(std::nullopt, parameters));
}

}  // namespace
}  // namespace talvor::kit
