#include "AlarmsTestSupport.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/Event.h"
#include "alarms/ReminderStrings.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "platform/KeyedArchiver.h"
#include "platform/Paths.h"
#include "platform/SharedInstance.h"
#include "support/SettingsRoundTrip.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

namespace talvor::test {
namespace {

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

class alarmsBreaks : public ::testing::Test {
  protected:
    platform::MemoryPreferenceStore& store() { return domain_.store(); }

    XdgSandbox sandbox_;  // first: it forgets the domains opened before it
    ScopedMemoryDomain domain_{appTalvor4Prefs};
};

TEST_F(alarmsBreaks, AbsentSettingsTakeTheirDefaults) {
    SharedInstance<TalvorTakeABreakSettings>::reset();
    TalvorTakeABreakSettings& s = TalvorTakeABreakSettings::sharedInstance();
    EXPECT_TRUE(s.enableTakeABreak());
    EXPECT_EQ(s.takeABreakDuration(), 5);
    EXPECT_EQ(s.takeABreakFrequency(), 30);
    EXPECT_EQ(s.takeABreakRepeat(), 8);
    EXPECT_EQ(s.soundPath(), QStringLiteral("Take 5"));
    EXPECT_EQ(s.durationSoundPath(),
              sandbox_.root() + QStringLiteral("/cache/talvor/Clock/Rings/Basso.aiff"));
    SharedInstance<TalvorTakeABreakSettings>::reset();
}

TEST_F(alarmsBreaks, EveryRowOfTheTableRoundTrips) {
    expectEveryRowRoundTrips<TalvorTakeABreakSettings>([] {
        auto s = std::make_unique<TalvorTakeABreakSettings>();
        s->loadPrefs();
        return s;
    });
}

TEST_F(alarmsBreaks, SettingsSurviveAWriteAndALoad) {
    TalvorTakeABreakSettings s;
    s.setEnableTakeABreak(false);
    s.setTakeABreakDuration(12);
    s.setTakeABreakFrequency(45);
    s.setTakeABreakRepeat(3);
    s.setSoundPath(QStringLiteral("/sounds/start.aiff"));
    s.setDurationSoundPath(QStringLiteral("/sounds/end.aiff"));
    s.writePrefsAndSync();

    TalvorTakeABreakSettings back;
    back.loadPrefs();
    EXPECT_FALSE(back.enableTakeABreak());
    EXPECT_EQ(back.takeABreakDuration(), 12);
    EXPECT_EQ(back.takeABreakFrequency(), 45);
    EXPECT_EQ(back.takeABreakRepeat(), 3);
    EXPECT_EQ(back.soundPath(), QStringLiteral("/sounds/start.aiff"));
    EXPECT_EQ(back.durationSoundPath(), QStringLiteral("/sounds/end.aiff"));

    // Resetting touches only the three numbers, and only in memory.
    back.resetPrefsToDefaults();
    EXPECT_EQ(back.takeABreakDuration(), 5);
    EXPECT_EQ(back.takeABreakFrequency(), 30);
    EXPECT_EQ(back.takeABreakRepeat(), 8);
    EXPECT_FALSE(back.enableTakeABreak());
    EXPECT_EQ(store().value(keys::TalvorTakeABreakDuration), QVariant(qint64(12)));

    // A value of the wrong type is as good as absent.
    store().setValue(keys::TalvorTakeABreakFrequency, QStringLiteral("often"));
    store().setValue(keys::TalvorTakeABreakSoundPath, qint64(4));
    back.loadPrefs();
    EXPECT_EQ(back.takeABreakFrequency(), 30);
    EXPECT_EQ(back.soundPath(), QStringLiteral("Take 5"));

    // Keyed coding with the same keys.
    const std::optional<TalvorTakeABreakSettings> coded =
        KeyedUnarchiver::unarchiveObjectWithData<TalvorTakeABreakSettings>(
            KeyedArchiver::archivedDataWithRootObject(s));
    ASSERT_TRUE(coded);
    EXPECT_FALSE(coded->enableTakeABreak());
    EXPECT_EQ(coded->takeABreakDuration(), 12);
    EXPECT_EQ(coded->takeABreakFrequency(), 45);
    EXPECT_EQ(coded->takeABreakRepeat(), 3);
    EXPECT_EQ(coded->soundPath(), QStringLiteral("/sounds/start.aiff"));
    EXPECT_EQ(coded->durationSoundPath(), QStringLiteral("/sounds/end.aiff"));
}

TEST_F(alarmsBreaks, RecordingsLiveInApplicationSupport) {
    const QString dir = ReminderStrings::soundDirectory();
    EXPECT_EQ(dir, sandbox_.root() + QStringLiteral("/data/talvor/Zephyrel/Recordings"));
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_EQ(ReminderStrings::soundDirectory(), dir);
}

class alarmsEvents : public AlarmsTest {};

Event birthday() {
    return Event(QStringLiteral("6A1B-UID"), QStringLiteral("Birthday"), at("2024-05-01T00:00:00"),
                 4, 8641, 10, 24, QStringLiteral("/sounds/party.aiff"));
}

TEST_F(alarmsEvents, AnEventKeepsItsFieldsInAnArchive) {
    const Event e = birthday();
    const std::optional<Event> back = KeyedUnarchiver::unarchiveObjectWithData<Event>(
        KeyedArchiver::archivedDataWithRootObject(e));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, e);

    Event silent = e;
    silent.setSoundPath(QString());
    const std::optional<Event> noSound = KeyedUnarchiver::unarchiveObjectWithData<Event>(
        KeyedArchiver::archivedDataWithRootObject(silent));
    ASSERT_TRUE(noSound);
    EXPECT_TRUE(noSound->soundPath().isNull());
}

TEST_F(alarmsEvents, TheStoreMapsIdentifiersToEvents) {
    EXPECT_TRUE(loadEvents().isEmpty());

    saveEvents({});
    EXPECT_TRUE(defaults_.objectForKey(keys::StoredEventsKey).isValid());
    EXPECT_TRUE(loadEvents().isEmpty());

    Event trip(QStringLiteral("TRIP"), QStringLiteral("Trip"), at("2024-04-01T08:00:00"), 1, 60, 0,
               2, QString());
    const EventsDictionary events{{birthday().uid(), birthday()}, {trip.uid(), trip}};
    const int syncs = store().synchronizeCount();
    saveEvents(events);
    EXPECT_EQ(store().synchronizeCount(), syncs + 1);
    EXPECT_EQ(loadEvents(), events);

    LogCapture log;
    defaults_.setObject(QVariant(QByteArray("not an archive")), keys::StoredEventsKey);
    EXPECT_TRUE(loadEvents().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("cannot be read")));
}

class alarmsStatus : public AlarmsTest {};

TEST_F(alarmsStatus, TheItemShowsTheNearestAlarm) {
    struct Case {
        const char* name;
        double secondsToGo;  // none: no alarm
        int32_t endAngle;
        int32_t duration;
    };
    // Now is 10:00:00.
    const Case cases[] = {
        {"45 min 1 s to go: 46 minutes", 45 * 60 + 1, 45, 46},
        {"exactly 45 min", 45 * 60, 45, 45},
        {"over an hour: a full disc", 2 * 3600 + 600, 10, 60},
        {"passed", -120, 58, -2},
    };
    for (const Case& c : cases) {
        makeAlarmClock();
        alarmClock().insertAlarm(relativeAlarm(0, true, Date()));
        alarmClock().allAlarms().front()->setRunTime(
            clock_.now().addingTimeInterval(c.secondsToGo));
        controller_.updateStatusView();
        EXPECT_EQ(controller_.statusView().endAngle(), c.endAngle) << c.name;
        EXPECT_EQ(controller_.statusView().durationAngle(), c.duration) << c.name;
    }
    makeAlarmClock();
    controller_.updateStatusView();
    EXPECT_EQ(controller_.statusView().endAngle(), 0);
    EXPECT_EQ(controller_.statusView().durationAngle(), 0);
}

TEST_F(alarmsStatus, ARingingAlarmFlashesTheItemUntilItIsRefreshed) {
    int changes = 0;
    controller_.statusView().changed = [&] { ++changes; };
    auto a = dateAlarm(at("2024-03-04T09:00:00"));
    alarmClock().insertAlarm(a);
    a->setDelegate(&controller_);
    scheduler_.advanceBy(0.5);  // the next tick finds it due

    EXPECT_TRUE(a->isTriggered());
    EXPECT_EQ(controller_.nextAlarm(), a);
    EXPECT_TRUE(controller_.statusView().isFlashing());
    std::vector<int32_t> durations;
    for (int i = 0; i < 4; ++i) {
        scheduler_.advanceBy(1.0);
        durations.push_back(controller_.statusView().durationAngle());
    }
    EXPECT_EQ(durations, (std::vector<int32_t>{60, 0, 60, 0}));
    EXPECT_GE(changes, 4);

    alarmClock().removeAlarm(a.get());
    controller_.updateStatusView();
    EXPECT_FALSE(controller_.statusView().isFlashing());
    EXPECT_EQ(controller_.statusView().durationAngle(), 0);
}

// An editor that shows nothing: what the alarm menu asks of it is written down.
class RecordingEditor : public AlarmEditor {
  public:
    void showWithAlarm(const std::shared_ptr<Alarm>& alarm) override { shown.push_back(alarm); }
    void setDelegate(AlarmSetControllerDelegate* d) override { delegate = d; }
    const std::shared_ptr<Alarm>& editingOne() const override { return editing; }

    std::vector<std::shared_ptr<Alarm>> shown;
    AlarmSetControllerDelegate* delegate = nullptr;
    std::shared_ptr<Alarm> editing;
};

TEST_F(alarmsStatus, TheEditorIsRecordedUntilItGoes) {
    auto editor = std::make_unique<RecordingEditor>();
    controller_.setAlarmSetController(editor.get());
    EXPECT_EQ(controller_.alarmSetController(), editor.get());
    // It is made the editor's delegate and asked for an empty form.
    EXPECT_EQ(editor->delegate, &controller_);
    EXPECT_EQ(editor->shown, (std::vector<std::shared_ptr<Alarm>>{nullptr}));
    editor.reset();
    EXPECT_EQ(controller_.alarmSetController(), nullptr);
}

}  // namespace
}  // namespace talvor::test
