#include "AlarmsTestSupport.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/PlatformChimeSounds.h"
#include "alarms/TalvorChimeSettings.h"
#include "foundation/StringsBundle.h"
#include "platform/Log.h"
#include "services/ServicesKeys.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeSpeechSynthesizer.h"
#include "support/SettingsRoundTrip.h"
#include "support/TestEnvironment.h"

namespace talvor::test {
namespace {

// Plays nothing: records what it is asked, and ends a sound when the test says so.
class FakeChimePort : public ChimeSoundPort {
  public:
    bool playChimeSound(const QString& path, double volume,
                        std::function<void()> finished) override {
        played.push_back(path);
        volumes.push_back(volume);
        if (!playable) {
            return false;
        }
        finish = std::move(finished);
        return true;
    }
    bool loadVoice(const QString& voiceId, double volume) override {
        voices.push_back(voiceId);
        voiceVolume = volume;
        return speaks;
    }
    void speak(const QString& text) override { spoken.push_back(text); }

    // Ends the sound playing now.
    void endSound() {
        auto f = std::move(finish);
        finish = nullptr;
        if (f) {
            f();
        }
    }

    bool playable = true;
    bool speaks = true;
    std::vector<QString> played;
    std::vector<double> volumes;
    std::vector<QString> voices;
    double voiceVolume = 0;
    std::vector<QString> spoken;
    std::function<void()> finish;
};

const QString kHour = QStringLiteral("/sounds/hour.aiff");
const QString kQuarter = QStringLiteral("/sounds/quarter.aiff");
const QString kHalf = QStringLiteral("/sounds/half.aiff");
const QString k3Quarter = QStringLiteral("/sounds/3quarter.aiff");

class alarmsChimes : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        store().setValue(keys::CustomChimeSoundPath, kHour);
        store().setValue(keys::ChimeQuarterSoundPath, kQuarter);
        store().setValue(keys::ChimeHalfSoundPath, kHalf);
        store().setValue(keys::Chime3QuarterSoundPath, k3Quarter);
        previousBeep_ = platform::setBeepHandler([this] { ++beeps_; });
    }
    void TearDown() override {
        platform::setBeepHandler(previousBeep_);
        AlarmsTest::TearDown();
    }

    // Settings loaded from these chime states, quiet hours and volume.
    std::unique_ptr<TalvorChimeSettings> chimes(const char* states, int quietStart = 0,
                                                int quietEnd = 0) {
        store().setValue(keys::ChimeStates, QString::fromLatin1(states));
        store().setValue(keys::QuietStart, qint64(quietStart));
        store().setValue(keys::QuietEnd, qint64(quietEnd));
        return std::make_unique<TalvorChimeSettings>(&port_);
    }

    // Chimes the minute that starts at the wall-clock time.
    void chimeAt(TalvorChimeSettings& s, const char* time) {
        clock_.set(at(time));
        s.doChimesIfNeeded(at(time), bundle_);
    }

    // Lets every hour strike end and the next follow.
    int strikesUntilQuiet() {
        for (int guard = 0; guard < 20 && port_.finish; ++guard) {
            port_.endSound();
            scheduler_.advanceBy(0.25);
        }
        return static_cast<int>(port_.played.size());
    }

    FakeChimePort port_;
    StringsBundle bundle_;
    int beeps_ = 0;
    platform::BeepHandler previousBeep_;
};

TEST_F(alarmsChimes, TheStoredSettingsAreReadTolerantly) {
    struct Case {
        QVariant states;
        std::array<int32_t, 8>
            flags;  // speak, play, once, hour, quarter, half, three-quarter, o'clock
    };
    const Case cases[] = {
        {QStringLiteral("Chimes: 1 1 1 1 1 1 1 1"), {1, 1, 1, 1, 1, 1, 1, 1}},
        {QStringLiteral("Chimes: 1 0 1 0 1 0 1 0"), {1, 0, 1, 0, 1, 0, 1, 0}},
        {QStringLiteral("Chimes: 1 1 1"), {1, 1, 1, 0, 0, 0, 0, 0}},
        {QStringLiteral("Chimes: 1 x 1 1"), {1, 0, 0, 0, 0, 0, 0, 0}},
        {QStringLiteral("nonsense"), {0, 0, 0, 0, 0, 0, 0, 0}},
        {QVariant(qint64(11111111)), {0, 0, 0, 0, 0, 0, 0, 0}},
        {QVariant(), {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        store().setValue(keys::ChimeStates, c.states);
        TalvorChimeSettings s(&port_);
        const std::array<int32_t, 8> read = {
            s.bSpeakHour(),    s.bPlayChimes(), s.bChimeOnlyOnce(), s.bChimeHour(),
            s.bChimeQuarter(), s.bChimeHalf(),  s.bChime3Quarter(), s.oClockFlag()};
        EXPECT_EQ(read, c.flags) << c.states.toString().toStdString();
    }

    struct VolumeCase {
        QVariant stored;
        int64_t volume;
        double portVolume;
    };
    for (const VolumeCase& c :
         {VolumeCase{QVariant(), -1, -1.0}, VolumeCase{QVariant(qint64(0)), -1, -1.0},
          VolumeCase{QVariant(qint64(51)), 51, 0.2}, VolumeCase{QVariant(qint64(255)), 255, 1.0}}) {
        store().setValue(keys::ChimeVolume, c.stored);
        TalvorChimeSettings s(&port_);
        EXPECT_EQ(s.chimeVolume(), c.volume);
        EXPECT_DOUBLE_EQ(port_.voiceVolume, c.portVolume);
    }

    store().setValue(keys::QuietStart, qint64(2200));
    store().setValue(keys::QuietEnd, qint64(700));
    store().setValue(keys::chimeVoice, QStringLiteral("flite-slt"));
    TalvorChimeSettings s(&port_);
    EXPECT_EQ(s.QuietStart(), 2200);
    EXPECT_EQ(s.QuietEnd(), 700);
    EXPECT_EQ(port_.voices.back(), QStringLiteral("flite-slt"));

    // A speaker that cannot be made is logged, and nothing is spoken.
    LogCapture log;
    port_.speaks = false;
    s.LoadTimerOptions(QVariant(true));
    EXPECT_TRUE(
        log.contains(QStringLiteral("Speech: the voice flite-slt cannot speak the chimes")));
    s.setBSpeakHour(1);
    chimeAt(s, "2024-03-04T13:00:00");
    EXPECT_TRUE(port_.spoken.empty());
}

TEST_F(alarmsChimes, EveryRowOfTheTableRoundTrips) {
    expectEveryRowRoundTrips<TalvorChimeSettings>(
        [] { return std::make_unique<TalvorChimeSettings>(); });
}

TEST_F(alarmsChimes, EachQuarterHasItsSound) {
    struct Case {
        const char* states;
        const char* time;
        QString sound;  // null: none
    };
    const Case cases[] = {
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T10:15:00", kQuarter},
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T10:30:00", kHalf},
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T10:45:00", k3Quarter},
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T10:20:00", QString()},
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T10:15:01", QString()},  // not the minute's start
        {"Chimes: 0 1 0 0 0 1 1 0", "2024-03-04T10:15:00", QString()},  // no quarter chime
        {"Chimes: 0 0 0 0 1 1 1 0", "2024-03-04T10:30:00", QString()},  // chimes switched off
        {"Chimes: 0 1 0 1 1 1 1 0", "2024-03-04T11:00:00", kHour},
        {"Chimes: 0 1 0 0 1 1 1 0", "2024-03-04T11:00:00", QString()},  // no hour strike
    };
    for (const Case& c : cases) {
        port_.played.clear();
        auto s = chimes(c.states);
        chimeAt(*s, c.time);
        const std::vector<QString> expected =
            c.sound.isNull() ? std::vector<QString>{} : std::vector<QString>{c.sound};
        EXPECT_EQ(port_.played, expected) << c.states << " at " << c.time;
    }
}

TEST_F(alarmsChimes, QuietHoursSilenceOnlyTheTimesFromStartToEnd) {
    struct Case {
        int start;
        int end;
        int time;
        bool quiet;
    };
    const Case cases[] = {
        // Across midnight.
        {2200, 700, 2145, false},
        {2200, 700, 2200, true},
        {2200, 700, 2315, true},
        {2200, 700, 0, true},
        {2200, 700, 645, true},
        {2200, 700, 700, true},
        {2200, 700, 715, false},
        {1200, 700, 1100, false},
        {1201, 700, 1200, false},
        // None.
        {0, 700, 300, false},
        {1200, 1200, 1200, false},
        // Within one day: only the period itself is quiet, not the rest of the day.
        {900, 1700, 800, false},
        {900, 1700, 900, true},
        {900, 1700, 1300, true},
        {900, 1700, 1700, true},
        {900, 1700, 1701, false},
        {200, 700, 0, false},
        {200, 700, 159, false},
        {200, 700, 200, true},
        {200, 700, 700, true},
        {200, 700, 1215, false},
    };
    auto s = chimes("Chimes: 0 1 0 0 1 1 1 0");
    for (const Case& c : cases) {
        s->setQuietStart(c.start);
        s->setQuietEnd(c.end);
        EXPECT_EQ(s->isInQuietHours(c.time), c.quiet)
            << c.start << '-' << c.end << " at " << c.time;
    }
    // The ticking chime obeys them.
    s = chimes("Chimes: 0 1 0 0 1 1 1 0", 2200, 700);
    chimeAt(*s, "2024-03-04T23:15:00");
    chimeAt(*s, "2024-03-05T06:45:00");
    EXPECT_TRUE(port_.played.empty());
    chimeAt(*s, "2024-03-05T07:15:00");
    EXPECT_EQ(port_.played, std::vector<QString>{kQuarter});
}

TEST_F(alarmsChimes, TheHourIsSpoken) {
    struct Case {
        const char* states;
        const char* time;
        const char* text;
    };
    const Case cases[] = {
        {"Chimes: 1 0 0 0 0 0 0 0", "2024-03-04T12:00:00", "Noon"},
        {"Chimes: 1 0 0 0 0 0 0 0", "2024-03-04T00:00:00", "Mid Night"},
        {"Chimes: 1 0 0 0 0 0 0 0", "2024-03-04T13:00:00", "1 oClock"},
        {"Chimes: 1 0 0 0 0 0 0 0", "2024-03-04T23:00:00", "11 oClock"},
        {"Chimes: 1 0 0 0 0 0 0 1", "2024-03-04T15:00:00", "3PM "},
        {"Chimes: 1 0 0 0 0 0 0 1", "2024-03-04T09:00:00", "9AM "},
    };
    for (const Case& c : cases) {
        port_.spoken.clear();
        auto s = chimes(c.states);
        chimeAt(*s, c.time);
        EXPECT_EQ(port_.spoken, std::vector<QString>{QString::fromLatin1(c.text)}) << c.time;
    }
    // The texts come from the bundle's table.
    bundle_.setTable(keys::LocalizableMETalvor2,
                     {{QStringLiteral("%d oClock"), QStringLiteral("%d Uhr %s%%")},
                      {QStringLiteral("Noon"), QStringLiteral("Mittag")}});
    port_.spoken.clear();
    auto s = chimes("Chimes: 1 0 0 0 0 0 0 0");
    chimeAt(*s, "2024-03-04T17:00:00");
    chimeAt(*s, "2024-03-05T12:00:00");
    EXPECT_EQ(port_.spoken,
              (std::vector<QString>{QStringLiteral("5 Uhr %s%"), QStringLiteral("Mittag")}));
}

// The third field means what the chimes pane writes: 1 strikes once, 0 counts the hours.
TEST_F(alarmsChimes, TheStrikeCountFieldMeansWhatThePaneSays) {
    struct Case {
        const char* states;
        const char* time;
        int strikes;
    };
    const Case cases[] = {
        {"Chimes: 0 1 0 1 0 0 0 0", "2024-03-04T15:00:00", 3},
        {"Chimes: 0 1 0 1 0 0 0 0", "2024-03-04T00:00:00", 12},
        {"Chimes: 0 1 0 1 0 0 0 0", "2024-03-04T12:00:00", 12},
        {"Chimes: 0 1 0 1 0 0 0 0", "2024-03-04T13:00:00", 1},
        {"Chimes: 0 1 1 1 0 0 0 0", "2024-03-04T15:00:00", 1},
        {"Chimes: 0 1 1 1 0 0 0 0", "2024-03-04T00:00:00", 1},
        {"Chimes: 0 0 0 1 0 0 0 0", "2024-03-04T15:00:00", 0},
    };
    for (const Case& c : cases) {
        port_.played.clear();
        port_.finish = nullptr;
        auto s = chimes(c.states);
        chimeAt(*s, c.time);
        EXPECT_EQ(strikesUntilQuiet(), c.strikes) << c.states << " at " << c.time;
        EXPECT_EQ(s->myChimeHourCnt(), 0);
    }
}

TEST_F(alarmsChimes, EachStrikeFollowsAQuarterSecondAfterTheLastEnds) {
    auto s = chimes("Chimes: 0 1 0 1 0 0 0 0");
    chimeAt(*s, "2024-03-04T02:00:00");
    EXPECT_EQ(port_.played.size(), 1u);
    scheduler_.advanceBy(5.0);  // the strike has not ended yet
    EXPECT_EQ(port_.played.size(), 1u);
    port_.endSound();
    scheduler_.advanceBy(0.2);
    EXPECT_EQ(port_.played.size(), 1u);
    scheduler_.advanceBy(0.05);
    EXPECT_EQ(port_.played.size(), 2u);
    port_.endSound();
    scheduler_.advanceBy(0.25);
    EXPECT_EQ(port_.played.size(), 2u);  // two o'clock: two strikes
}

TEST_F(alarmsChimes, AStrikeThatCannotPlayEndsTheHourWithoutStickingIt) {
    auto s = chimes("Chimes: 0 1 0 1 0 0 0 0");
    port_.playable = false;
    chimeAt(*s, "2024-03-04T15:00:00");
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(s->myChimeHourCnt(), 0);
    port_.playable = true;
    port_.played.clear();
    chimeAt(*s, "2024-03-04T16:00:00");
    EXPECT_EQ(strikesUntilQuiet(), 4);

    // No hour sound chosen: nothing plays, and the next hour is not blocked either.
    store().removeValue(keys::CustomChimeSoundPath);
    port_.played.clear();
    chimeAt(*s, "2024-03-04T17:00:00");
    EXPECT_TRUE(port_.played.empty());
    EXPECT_EQ(s->myChimeHourCnt(), 0);
    store().setValue(keys::CustomChimeSoundPath, kHour);
    chimeAt(*s, "2024-03-04T18:00:00");
    EXPECT_EQ(strikesUntilQuiet(), 6);

    // Switched off: the count is not even set.
    s->setBPlayChimes(0);
    port_.played.clear();
    chimeAt(*s, "2024-03-04T19:00:00");
    EXPECT_EQ(s->myChimeHourCnt(), 0);
    EXPECT_TRUE(port_.played.empty());
}

TEST_F(alarmsChimes, AMinuteIsChimedOnce) {
    auto s = chimes("Chimes: 1 1 0 0 1 1 1 0");
    chimeAt(*s, "2024-03-04T10:15:00");
    chimeAt(*s, "2024-03-04T10:15:00");
    EXPECT_EQ(port_.played.size(), 1u);
    chimeAt(*s, "2024-03-04T11:15:00");
    EXPECT_EQ(port_.played.size(), 2u);
}

TEST_F(alarmsChimes, WithoutASoundServiceAChimeIsTheBeep) {
    store().setValue(keys::ChimeStates, QStringLiteral("Chimes: 1 1 0 1 1 1 1 0"));
    LogCapture log;
    TalvorChimeSettings s(nullptr);
    EXPECT_TRUE(log.contains(QStringLiteral("Speech: the voice (none) cannot speak the chimes")));
    s.doChimesIfNeeded(at("2024-03-04T10:30:00"), bundle_);
    EXPECT_EQ(beeps_, 1);
    s.doChimesIfNeeded(at("2024-03-04T11:00:00"), bundle_);
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(s.myChimeHourCnt(), 0);
}

using alarmsChimeSounds = AlarmsTest;

TEST_F(alarmsChimeSounds, ChimesPlayOnTheAlertDeviceAndSpeakWithTheirVoice) {
    FakeSoundSystem sounds(scheduler_);
    sounds.addSound(QStringLiteral("/chimes/Hour.ogg"), 2.0);
    sounds.alertDevice = QStringLiteral("alerts");
    FakeSpeechSynthesizer speech;
    platform::SpeechSynthesizer::setShared(&speech);
    PlatformChimeSounds port;

    int ends = 0;
    ASSERT_TRUE(port.playChimeSound(QStringLiteral("/chimes/Hour.ogg"), 0.5, [&] { ++ends; }));
    ASSERT_EQ(sounds.created.size(), 1u);
    const FakeSoundPlayer& hour = *sounds.created.front();
    EXPECT_EQ(hour.playbackDeviceIdentifier(), QStringLiteral("alerts"));
    EXPECT_FLOAT_EQ(hour.volume(), 0.5f);
    scheduler_.advanceBy(1.9);
    EXPECT_EQ(ends, 0);
    scheduler_.advanceBy(0.2);
    EXPECT_EQ(ends, 1);
    // A file that cannot be read is not played: the engine beeps instead.
    EXPECT_FALSE(port.playChimeSound(QStringLiteral("/chimes/Missing.ogg"), -1, [&] { ++ends; }));

    // An alarm's title being spoken is cut short and told so: its sound follows.
    bool titleSpoken = true;
    speech.speak(QStringLiteral("Tea"), QString(), [&](bool spoken) { titleSpoken = spoken; });
    ASSERT_TRUE(port.loadVoice(QStringLiteral("en_US/Kathy"), 0.25));
    port.speak(QStringLiteral("3 oClock"));
    EXPECT_FALSE(titleSpoken);
    EXPECT_EQ(speech.spoken.back(), QStringLiteral("en_US/Kathy: 3 oClock"));
    EXPECT_DOUBLE_EQ(speech.volume, 0.25);
    platform::SpeechSynthesizer::setShared(nullptr);
}

}  // namespace
}  // namespace talvor::test
