#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "KitSandbox.h"
#include "LogCapture.h"
#include "kit/KitKeys.h"
#include "kit/Trellis.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;
using test::KitSandbox;
using test::LogCapture;
using test::plist;

const std::regex kUpperUUID("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
const std::regex kExecutionID("[0-9a-f]{32}");

class InstallIdTest : public ::testing::Test {
  protected:
    KitSandbox sandbox;
    LogCapture capture;
};

using kitInstallId = InstallIdTest;

// Two launches over one store: the first makes and keeps the identifier, the second finds it.
TEST_F(kitInstallId, KeptAcrossTwoLaunches) {
    std::string installID;
    std::string firstExecution;
    {
        const Trellis& first = sandbox.install(std::nullopt);
        EXPECT_TRUE(first.isFirstInstall());
        EXPECT_TRUE(std::regex_match(first.installID(), kUpperUUID)) << first.installID();
        installID = first.installID();
        firstExecution = first.executionIdentifier();
    }
    const Trellis& second = sandbox.install(std::nullopt);
    EXPECT_FALSE(second.isFirstInstall());
    EXPECT_EQ(second.installID(), installID);

    for (const std::string& id : {firstExecution, second.executionIdentifier()}) {
        EXPECT_TRUE(std::regex_match(id, kExecutionID)) << id;
    }
    EXPECT_NE(second.executionIdentifier(), firstExecution);
    ASSERT_TRUE(second.applicationIdentifierModel());
    EXPECT_EQ(second.applicationIdentifierModel()->installID(), installID);
    EXPECT_TRUE(capture.lines.empty());
}

// An identifier the application's defaults kept from an older kit moves into the kit's store.
TEST_F(kitInstallId, AnOlderIdentifierMovesOutOfTheApplicationsDefaults) {
    sandbox.defaults->values[keys::TRLInstallIDKey] = "0A1B2C3D-0000-4000-8000-000000000001";
    const Trellis& sdk = sandbox.install(std::nullopt);
    EXPECT_FALSE(sdk.isFirstInstall());
    EXPECT_EQ(sdk.installID(), "0A1B2C3D-0000-4000-8000-000000000001");
    EXPECT_TRUE(sandbox.defaults->values.empty());
    EXPECT_EQ(WRKUserDefaults(sandbox.dir / "store").stringForKey(keys::TRLInstallIDKey),
              "0A1B2C3D-0000-4000-8000-000000000001");
}

// A value that is no identifier is replaced, as though there were none.
TEST_F(kitInstallId, AStoredValueThatIsNoTextIsReplaced) {
    {
        WRKUserDefaults store(sandbox.dir / "store");
        store.setObject(PlistValue(std::int64_t{12}), keys::TRLInstallIDKey);
        ASSERT_TRUE(store.synchronize());
    }
    const Trellis& sdk = sandbox.install(std::nullopt);
    EXPECT_TRUE(sdk.isFirstInstall());
    EXPECT_TRUE(std::regex_match(sdk.installID(), kUpperUUID));
}

// With a store that cannot be written, every launch is a first one: said once per launch.
TEST_F(kitInstallId, AnUnwritableStoreSaysSoOncePerLaunch) {
    std::ofstream(sandbox.dir / "plainfile") << "x";
    for (int launch = 0; launch < 2; ++launch) {
        capture.lines.clear();
        const Trellis& sdk = sandbox.install(std::nullopt, sandbox.dir / "plainfile/com.wreckord");
        EXPECT_TRUE(sdk.isFirstInstall());
        EXPECT_EQ(capture.lines.size(), 1u);
    }
}

}  // namespace
}  // namespace talvor::kit
