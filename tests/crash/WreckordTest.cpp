#include "crash/Wreckord.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kit/KitLog.h"
#include "kit/MainBundle.h"
#include "kit/PropertyList.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"

namespace talvor::crash {
namespace {

using kit::KitClass;
using kit::Trellis;

TEST(crashWreckord, TheHostSeesTheKitsIdentity) {
    const KitClass& wreckord = KitClass::of<Wreckord>();
    struct Row {
        const char* what;
        std::string actual;
        std::string expected;
    };
    const Row rows[] = {
        {"name", wreckord.name, "Wreckord"},
        {"bundleIdentifier", wreckord.bundleIdentifier(), "com.quillon.wreckord.mac"},
        {"kitDisplayVersion", wreckord.kitDisplayVersion(), "3.9.3"},
        {"kitBuildVersion", wreckord.kitBuildVersion ? wreckord.kitBuildVersion() : "", "128"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.actual, row.expected) << row.what;
    }
    EXPECT_TRUE(wreckord.initializeIfNeeded);
}

TEST(crashWreckord, StartedByTheHostAsItsOnlyKit) {
    std::vector<std::string> lines;
    auto previous = kit::setLogSink([&](std::string_view line) { lines.emplace_back(line); });
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("talvor-crash-" + std::to_string(::getpid()));
    kit::WRKUserDefaults store(dir / "store");
    kit::KitRegistry registry;
    registry.add(KitClass::of<Wreckord>());
    const kit::PlistDictionary info{
        {"Trellis", kit::PlistDictionary{{"APIKey", "key"}, {"Kits", kit::PlistArray{}}}}};
    Trellis::setSharedSDK(
        std::make_unique<Trellis>(std::make_shared<kit::MainBundle>(info, dir), store, registry));

    const Trellis& sdk = Trellis::with({&KitClass::of<Wreckord>()});

    EXPECT_EQ(sdk.kitClasses(), (std::vector<const KitClass*>{&KitClass::of<Wreckord>()}));
    EXPECT_TRUE(Wreckord::sharedInstance().isWreckordStarted());
    // Starting again (the host's initialisation and a direct start) changes nothing.
    Wreckord::initializeIfNeeded();
    EXPECT_TRUE(Wreckord::sharedInstance().isWreckordStarted());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[Trellis] ", 0), 0u);

    Trellis::setSharedSDK(nullptr);
    kit::setLogSink(std::move(previous));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace talvor::crash
