#include "SoundsTestSupport.h"
#include "services/AlertSound.h"
#include "services/SoundFadeOut.h"
#include "services/SoundRepeat.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace talvor {
namespace {

using test::FakeSoundPlayer;
using Kind = FakeSoundPlayer::Kind;

constexpr float kStep = 0.01f;

// The volume after `steps` fade steps from 0.5, in the player's single precision.
float afterSteps(int steps) {
    float v = 0.5f;
    for (int i = 0; i < steps; ++i) {
        v = v - kStep;
        if (v < 0.0f) {
            v = 0.0f;
        }
    }
    return v;
}

class soundsFade : public test::FakeSoundTime {
  protected:
    std::shared_ptr<FakeSoundPlayer> load(const QString& path, double duration,
                                          bool loaded = true) {
        sounds.addSound(path, duration, loaded);
        auto s = sounds.soundWithContentsOfFile(path);
        return std::static_pointer_cast<FakeSoundPlayer>(s);
    }
    std::vector<double> stepTimes(const FakeSoundPlayer& s) const {
        std::vector<double> out;
        for (const auto& e : s.events()) {
            if (e.kind == Kind::Volume && e.volume < 0.5f) {
                out.push_back(e.time);
            }
        }
        return out;
    }
};

// The break timer's 20 s play with the fade from 10 s, on sounds of three lengths.
using servicesSoundsFade = soundsFade;

TEST_F(servicesSoundsFade, PlaysForTwentySecondsFadingFromTheTenth) {
    struct Case {
        const char* name;
        double duration;
        double stepInterval;  // 0: no fade at all
        int steps;
        std::optional<double> stoppedAt;
        std::optional<double> endedAt;
        std::vector<std::pair<double, float>> volumes;
    };
    const std::vector<Case> cases = {
        {"5 s sound: plays once to its end at 0.5",
         5,
         0,
         0,
         std::nullopt,
         5.0,
         {{0, 0.5f}, {4.9, 0.5f}, {30, 0.5f}}},
        {"60 s sound: 0.01 less every 0.2 s from 10 s, stopped silent at 20 s",
         60,
         0.2,
         50,
         20.0,
         std::nullopt,
         {{9.99, 0.5f},
          {10.2, afterSteps(1)},
          {15.05, afterSteps(25)},
          {19.9, afterSteps(49)},
          {20.0, afterSteps(50)}}},
        {"15 s sound: steps every 0.1 s from 10 s, silent at its end at 15 s",
         15,
         0.1,
         50,
         std::nullopt,
         15.0,
         {{10.05, 0.5f}, {10.1, afterSteps(1)}, {12.55, afterSteps(25)}, {15.0, afterSteps(50)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FadeOut::stopTimers();
        const double t0 = now();
        auto sound = load(QString::fromLatin1(c.name), c.duration);
        FadeOut::playFor(sound, 20.0, 10.0);
        EXPECT_TRUE(sound->isPlaying());
        if (c.stepInterval == 0) {
            EXPECT_EQ(scheduler.activeTimerCount(), 1u) << "only the sound's own end";
        }
        for (const auto& [t, v] : c.volumes) {
            advanceTo(t0 + t);
            EXPECT_NEAR(sound->volume(), v, 1e-6) << "at " << t;
        }
        advanceTo(t0 + 40);
        const auto stops = sound->timesOf(Kind::Stop);
        const auto ends = sound->timesOf(Kind::End);
        ASSERT_EQ(stops.size(), c.stoppedAt ? 1u : 0u);
        ASSERT_EQ(ends.size(), c.endedAt ? 1u : 0u);
        if (c.stoppedAt) {
            EXPECT_NEAR(stops[0] - t0, *c.stoppedAt, 1e-6);
        }
        if (c.endedAt) {
            EXPECT_NEAR(ends[0] - t0, *c.endedAt, 1e-6);
        }
        const auto steps = stepTimes(*sound);
        ASSERT_EQ(static_cast<int>(steps.size()), c.steps);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_NEAR(steps[i] - t0, 10.0 + static_cast<double>(i + 1) * c.stepInterval, 1e-5);
        }
        EXPECT_EQ(sound->timesOf(Kind::Play).size(), 1u);
        EXPECT_EQ(scheduler.activeTimerCount(), 0u) << "every timer ends with the sound";
    }
}

TEST_F(servicesSoundsFade, EachSoundFadesOnItsOwnAndStopTimersHaltsThemAll) {
    auto first = load("first", 60);
    auto second = load("second", 60);
    FadeOut::playFor(first, 20, 10);
    advanceTo(5);
    FadeOut::playFor(second, 20, 10);
    advanceTo(25.5);
    EXPECT_NEAR(first->timesOf(Kind::Stop).at(0), 20, 1e-6);
    EXPECT_NEAR(second->timesOf(Kind::Stop).at(0), 25, 1e-6);
    EXPECT_EQ(stepTimes(*first).size(), 50u);
    EXPECT_EQ(stepTimes(*second).size(), 50u);

    auto third = load("third", 60);
    auto fourth = load("fourth", 60);
    FadeOut::playFor(third, 20, 10);
    FadeOut::playFor(fourth, 20, 10);
    advanceTo(37.1);
    FadeOut::stopTimers();
    const float frozen = third->volume();
    EXPECT_LT(frozen, 0.5f);
    advanceTo(90);
    for (const auto& s : {third, fourth}) {
        EXPECT_FLOAT_EQ(s->volume(), frozen);
        EXPECT_TRUE(s->timesOf(Kind::Stop).empty());
        EXPECT_EQ(s->timesOf(Kind::End).size(), 1u) << "plays on to its end";
    }
}

TEST_F(servicesSoundsFade, PlayingASoundAgainReplacesItsEarlierFade) {
    auto sound = load("chime", 60);
    // Three plays back to back, a few seconds apart: only the last one's timeline counts.
    for (double t : {0.0, 3.0, 6.0}) {
        advanceTo(t);
        sound->stop();
        FadeOut::playFor(sound, 20, 10);
    }
    advanceTo(40);
    EXPECT_EQ(sound->timesOf(Kind::Play).size(), 3u);
    const auto stops = sound->timesOf(Kind::Stop);
    ASSERT_FALSE(stops.empty());
    EXPECT_NEAR(stops.back(), 26, 1e-6);
    const auto steps = stepTimes(*sound);
    ASSERT_EQ(steps.size(), 50u);
    EXPECT_NEAR(steps.front(), 16.2, 1e-5);
}

TEST_F(servicesSoundsFade, TheDecisionWaitsForTheDurationButKeepsTheTimeline) {
    auto sound = load("slow to read", 60, false);
    FadeOut::playFor(sound, 20, 10);
    EXPECT_TRUE(sound->isPlaying());
    advanceTo(2);
    sound->finishLoading();
    advanceTo(40);
    EXPECT_NEAR(sound->timesOf(Kind::Stop).at(0), 20, 1e-6);
    EXPECT_NEAR(stepTimes(*sound).at(0), 10.2, 1e-5);
    FadeOut::playFor(nullptr, 20, 10);
}

using soundsRepeat = soundsFade;

using servicesSoundsRepeat = soundsRepeat;

TEST_F(servicesSoundsRepeat, PlaysTheFileBackToBackTheAskedNumberOfTimes) {
    struct Case {
        qint32 times;
        std::vector<double> starts;
    };
    const double d = 1.5;
    sounds.addSound("bell", d);
    for (const Case& c : {Case{3, {0, d, 2 * d}}, Case{1, {0}}, Case{0, {0}}, Case{-4, {0}}}) {
        SCOPED_TRACE(c.times);
        const double t0 = now();
        Repeat::Handle h = Repeat::playSoundAtPath("bell", c.times);
        advanceTo(t0 + 20);
        auto sound = sounds.created.back();
        std::vector<double> starts;
        for (double t : sound->timesOf(Kind::Play)) {
            starts.push_back(t - t0);
        }
        ASSERT_EQ(starts.size(), c.starts.size());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            EXPECT_NEAR(starts[i], c.starts[i], 1e-6);
        }
        EXPECT_FALSE(h.isActive());
        EXPECT_EQ(scheduler.activeTimerCount(), 0u);
    }
}

TEST_F(servicesSoundsRepeat, AHandleStopsThePreviewAndUnreadableFilesPlayNothing) {
    sounds.addSound("bell", 2, false);
    Repeat::Handle h = Repeat::playSoundAtPath("bell", 5);
    auto sound = sounds.created.back();
    advanceTo(1);
    sound->finishLoading();  // the chain counts from the first start, not from here
    advanceTo(2.5);
    EXPECT_EQ(sound->timesOf(Kind::Play).size(), 2u);
    EXPECT_NEAR(sound->timesOf(Kind::Play).at(1), 2, 1e-6);
    EXPECT_TRUE(h.isActive());
    h.cancel();
    EXPECT_FALSE(sound->isPlaying());
    advanceTo(30);
    EXPECT_EQ(sound->timesOf(Kind::Play).size(), 2u);

    Repeat::Handle none = Repeat::playSoundAtPath("no such file", 3);
    EXPECT_FALSE(none.isActive());
    none.cancel();
}

TEST_F(servicesSoundsFade, TheAlertDeviceIsTheSystemsOrNone) {
    EXPECT_EQ(AlertSound::alertSoundAlertDeviceIdentifier(), std::nullopt);
    sounds.alertDevice = QStringLiteral("alsa_output.pci-0000_00_1f.3.analog-stereo");
    EXPECT_EQ(AlertSound::alertSoundAlertDeviceIdentifier(), sounds.alertDevice);
}

}  // namespace
}  // namespace talvor
