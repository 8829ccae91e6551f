#include "SoundsTestSupport.h"
#include "platform/SoundPlayer.h"
#include "services/AlertSound.h"
#include "services/SoundFadeOut.h"
#include "support/TestEnvironment.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

// The real player on a machine without a sound server: quiet, one log line, no crash.
TEST(servicesSoundsPlayer, WithoutAnOutputDeviceSoundsStaySilentAndSaySoOnce) {
    // Before Qt Multimedia first looks for devices: a server that is not there.
    qputenv("PULSE_SERVER", "unix:/nonexistent/talvor-no-sound");
    test::LogCapture logs;
    test::FakeClock clock;
    test::ManualScheduler scheduler(clock);
    platform::Scheduler::setShared(&scheduler);

    auto& system = platform::SoundSystem::shared();
    EXPECT_EQ(AlertSound::alertSoundAlertDeviceIdentifier(), std::nullopt);
    for (int i = 0; i < 2; ++i) {
        auto sound = system.soundWithContentsOfFile(test::bundledChime());
        ASSERT_NE(sound, nullptr);
        EXPECT_FALSE(sound->play());
        EXPECT_FALSE(sound->isPlaying());
        FadeOut::playFor(sound, 20, 10);
        scheduler.advanceBy(30);
        EXPECT_FALSE(sound->isPlaying());
    }
    EXPECT_EQ(system.soundWithContentsOfFile("/nonexistent/sound.ogg"), nullptr);
    int lines = 0;
    for (const QString& l : logs.lines()) {
        lines += l.contains("no audio output device") ? 1 : 0;
    }
    EXPECT_EQ(lines, 1);
    FadeOut::stopTimers();
    scheduler.runPosted();
    platform::Scheduler::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
