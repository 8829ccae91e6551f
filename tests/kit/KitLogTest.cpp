// The kit log's levels: debug lines only while the host's debug flag is on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KitSandbox.h"
#include "LogCapture.h"
#include "kit/KitLog.h"
#include "kit/Trellis.h"

namespace talvor::kit {
namespace {

using test::LogCapture;

// Puts the threshold back after the test.
class kitLog : public ::testing::Test {
  protected:
    void TearDown() override { setLogLevel(KitLogLevel::Info); }
};

TEST_F(kitLog, LevelsBelowTheThresholdAreDropped) {
    const KitLogLevel levels[] = {KitLogLevel::Debug, KitLogLevel::Info, KitLogLevel::Warning,
                                  KitLogLevel::Error};
    for (const KitLogLevel threshold : levels) {
        setLogLevel(threshold);
        LogCapture capture;
        std::vector<std::string> expected;
        for (const KitLogLevel level : levels) {
            const std::string line = "[Trellis] level " + std::to_string(int(level));
            log(level, line);
            if (level >= threshold) {
                expected.push_back(line);
            }
        }
        log("[Trellis] always");
        expected.push_back("[Trellis] always");
        EXPECT_EQ(capture.lines, expected) << "threshold " << int(threshold);
    }
}

TEST_F(kitLog, TheHostsDebugFlagLetsDebugLinesThrough) {
    test::KitSandbox sandbox;
    Trellis& host = sandbox.install(std::nullopt);
    for (const bool debug : {true, false}) {
        host.setDebug(debug);
        LogCapture capture;
        log(KitLogLevel::Debug, "[Trellis] progress");
        EXPECT_EQ(capture.lines.size(), debug ? 1u : 0u);
    }
}

}  // namespace
}  // namespace talvor::kit
