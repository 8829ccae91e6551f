#include "AlarmsTestSupport.h"

#include "alarms/ActiveAlarms.h"
#include "alarms/SavedAlarms.h"
#include "alarms/SnoozeWindowController.h"
#include "alarms/TextSpeaker.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "platform/StatusBar.h"
#include "support/FakeScreens.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeSpeechSynthesizer.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace talvor::test {
namespace {

const QString kRing = QStringLiteral("/rings/Bell.ogg");
const QString kFile = QStringLiteral("/sounds/Long Alarm.ogg");

// A ringing alarm's world: sounds and speech are fakes, "/rings/" holds the system sounds.
class alarmsFiring : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        sounds_.emplace(scheduler_);
        sounds_->addSound(kRing, 2.0);
        sounds_->addSound(kFile, 60.0);
        speech_.voices = {{QStringLiteral("en_US/Alex"), QStringLiteral("Alex"), {}, {}},
                          {QStringLiteral("en_US/Kathy"), QStringLiteral("Kathy"), {}, {}}};
        platform::SpeechSynthesizer::setShared(&speech_);
        controller_.setIsSystemSound(
            [](const QString& path) { return path.startsWith(QStringLiteral("/rings/")); });
    }
    void TearDown() override {
        // Windows and speakers go before the fakes they use.
        for (const auto& a : std::vector(alarmClock().allAlarms())) {
            controller_.clearFromMenu(a);
        }
        scheduler_.runPosted();
        platform::SpeechSynthesizer::setShared(nullptr);
        sounds_.reset();
        AlarmsTest::TearDown();
    }

    // An alarm due at 10:00:30, inserted with the controller as its delegate.
    std::shared_ptr<Alarm> dueSoon(const QString& title) {
        auto a = dateAlarm(at("2024-03-04T10:00:00"));
        a->setTitle(title);
        a->setSnoozeTime(5);
        controller_.scheduleAlarm(a);
        return a;
    }

    std::optional<FakeSoundSystem> sounds_;
    FakeSpeechSynthesizer speech_;
};

TEST_F(alarmsFiring, EachKindOfAlarmSoundsAsItSays) {
    struct Case {
        const char* name;
        bool playSound;
        QString path;
        bool fade;
        bool speak;
        std::size_t playersMade;  // sounds made in the first 30 s
        std::size_t plays;        // starts of the first sound
        float volumeAtStart;      // of the first sound
        bool stoppedBy20s;
        QStringList spoken;
    };
    const Case cases[] = {
        {"a system sound rings three times", true, kRing, false, false, 1, 3, 1.0f, false, {}},
        {"a file plays once, at half volume, faded out and stopped at 20 s",
         true,
         kFile,
         true,
         false,
         1,
         1,
         0.5f,
         true,
         {}},
        {"a file without fade plays once at its own volume",
         true,
         kFile,
         false,
         false,
         1,
         1,
         1.0f,
         false,
         {}},
        {"a silent alarm only flashes", false, kFile, false, false, 0, 0, 0, false, {}},
        {"a spoken title speaks and does not sound before it ends",
         true,
         kFile,
         false,
         true,
         0,
         0,
         0,
         false,
         {"en_US/Kathy: Tea"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeAlarmClock();
        sounds_->created.clear();
        speech_.spoken.clear();
        auto a = dueSoon(QStringLiteral("Tea"));
        a->setIsPlaySound(c.playSound);
        a->setSoundPath(c.path);
        a->setShouldFadeIn(c.fade);
        a->setIsSpeakAlarmName(c.speak);
        a->setVoiceName(QStringLiteral("Kathy"));
        scheduler_.advanceBy(1.0);

        EXPECT_TRUE(a->isTriggered());
        EXPECT_TRUE(controller_.statusView().isFlashing());
        ASSERT_NE(controller_.snoozeWindowFor(a.get()), nullptr);
        EXPECT_TRUE(controller_.snoozeWindowFor(a.get())->window()->isVisible());
        const double start = clock_.now().timeIntervalSinceReferenceDate();
        scheduler_.advanceBy(30.0);
        EXPECT_EQ(speech_.spoken, c.spoken);
        ASSERT_EQ(sounds_->created.size(), c.playersMade);
        if (c.playersMade > 0) {
            const FakeSoundPlayer& s = *sounds_->created.front();
            EXPECT_EQ(s.timesOf(FakeSoundPlayer::Kind::Play).size(), c.plays);
            EXPECT_FLOAT_EQ(s.volumeAt(start), c.volumeAtStart);
            const std::vector<double> stops = s.timesOf(FakeSoundPlayer::Kind::Stop);
            EXPECT_EQ(!stops.empty() && stops.front() <= start + 20.0 + 1e-6, c.stoppedBy20s);
        }
        controller_.clearFromMenu(a);
        scheduler_.runPosted();
    }
}

TEST_F(alarmsFiring, TheSoundFollowsTheSpokenTitleWhateverWindowIsOpen) {
    auto a = dueSoon(QStringLiteral("Tea"));
    a->setIsPlaySound(true);
    a->setSoundPath(kFile);
    a->setIsSpeakAlarmName(true);
    a->setVoiceName(QStringLiteral("Alex"));
    scheduler_.advanceBy(1.0);
    ASSERT_EQ(speech_.spoken, QStringList{"en_US/Alex: Tea"});
    EXPECT_TRUE(sounds_->created.empty());
    // No settings page is involved: the end of the speech alone brings the sound.
    speech_.finishSpeaking();
    ASSERT_EQ(sounds_->created.size(), 1u);
    EXPECT_TRUE(sounds_->created.front()->isPlaying());
}

TEST_F(alarmsFiring, ASpokenTitleClearedBeforeItEndsBringsNoSound) {
    auto a = dueSoon(QStringLiteral("Tea"));
    a->setIsPlaySound(true);
    a->setSoundPath(kFile);
    a->setIsSpeakAlarmName(true);
    a->setVoiceName(QStringLiteral("Alex"));
    scheduler_.advanceBy(1.0);
    controller_.snoozeWindowFor(a.get())->clearButton()->click();
    speech_.finishSpeaking();
    EXPECT_TRUE(sounds_->created.empty());
}

TEST_F(alarmsFiring, SpeakingManyTitlesLeavesNothingOpen) {
    for (int i = 0; i < 5; ++i) {
        auto a = dueSoon(QStringLiteral("Tea %1").arg(i));
        a->setIsSpeakAlarmName(true);
        a->setVoiceName(QStringLiteral("Alex"));
        scheduler_.advanceBy(1.0);
        speech_.finishSpeaking();
        EXPECT_FALSE(speech_.isWaitingForEnd());
        controller_.clearFromMenu(a);
        scheduler_.runPosted();
    }
    EXPECT_EQ(speech_.spoken.size(), 5);
}

TEST_F(alarmsFiring, EveryRingingAlarmHasItsOwnSnoozeWindow) {
    auto tea = dueSoon(QStringLiteral("Tea"));
    auto bus = dueSoon(QStringLiteral("Bus"));
    scheduler_.advanceBy(1.0);
    ASSERT_EQ(controller_.openSnoozeWindowCount(), 2u);
    SnoozeWindowController* teaWindow = controller_.snoozeWindowFor(tea.get());
    ASSERT_NE(teaWindow, nullptr);
    EXPECT_EQ(teaWindow->titleLabel()->text(), QStringLiteral("Tea"));
    EXPECT_EQ(teaWindow->timeLabel()->text(), QStringLiteral("Mon, 10:00 AM"));
    // Ringing on: no second window for the same alarm.
    scheduler_.advanceBy(5.0);
    EXPECT_EQ(controller_.openSnoozeWindowCount(), 2u);
}

TEST_F(alarmsFiring, ClearingOneAlarmFromTheMenuLeavesTheOtherRinging) {
    auto tea = dueSoon(QStringLiteral("Tea"));
    auto bus = dueSoon(QStringLiteral("Bus"));
    scheduler_.advanceBy(1.0);
    controller_.clearFromMenu(bus);
    scheduler_.runPosted();
    EXPECT_EQ(controller_.openSnoozeWindowCount(), 1u);
    ASSERT_NE(controller_.snoozeWindowFor(tea.get()), nullptr);
    EXPECT_TRUE(tea->isTriggered());
    EXPECT_TRUE(controller_.statusView().isFlashing());
    EXPECT_EQ(alarmClock().allAlarms(), AlarmList{tea});
}

TEST_F(alarmsFiring, SnoozeRingsAgainAfterTheSnoozeMinutes) {
    auto tea = dueSoon(QStringLiteral("Tea"));
    scheduler_.advanceBy(1.0);
    controller_.snoozeWindowFor(tea.get())->snoozeButton()->click();
    scheduler_.runPosted();
    EXPECT_FALSE(tea->isTriggered());
    EXPECT_FALSE(controller_.statusView().isFlashing());
    EXPECT_EQ(controller_.openSnoozeWindowCount(), 0u);
    EXPECT_EQ(wall(tea->time()), QStringLiteral("2024-03-04T10:05:00"));
    scheduler_.advanceTo(at("2024-03-04T10:04:59"));
    EXPECT_FALSE(tea->isTriggered());
    scheduler_.advanceTo(at("2024-03-04T10:05:00.5"));
    EXPECT_TRUE(tea->isTriggered());
}

TEST_F(alarmsFiring, ClosingTheWindowSnoozes) {
    auto tea = dueSoon(QStringLiteral("Tea"));
    scheduler_.advanceBy(1.0);
    controller_.snoozeWindowFor(tea.get())->window()->close();
    scheduler_.runPosted();
    EXPECT_FALSE(tea->isTriggered());
    EXPECT_EQ(tea->snoozedMinutes(), 5u);
    EXPECT_EQ(controller_.openSnoozeWindowCount(), 0u);
}

// Now is Monday 2024-03-04 10:00.
TEST_F(alarmsFiring, ClearingMovesEachAlarmOnOrDropsIt) {
    struct Case {
        const char* name;
        std::function<std::shared_ptr<Alarm>()> make;
        std::optional<QString> next;  // none: removed
    };
    auto weekday = [](std::initializer_list<int32_t> codes, bool keep) {
        auto a = Alarm::initWithTime(at("2024-03-04T10:00:00"), QStringLiteral("week"));
        a->setRunTime(at("2024-03-04T10:00:00"));
        a->setSelRowNo(2);
        for (int32_t c : codes) {
            setRunOnWeekday(*a, c, true);
        }
        a->setShouldUseForever(keep);
        return a;
    };
    const Case cases[] = {
        {"Monday and Thursday, cleared on Monday: Thursday (3 days on)",
         [&] {
             return weekday({102, 105}, false);
         },
         "2024-03-07T10:00:00"},
        {"Monday only, for ever: next Monday (7 days on)", [&] { return weekday({102}, true); },
         "2024-03-11T10:00:00"},
        {"Monday only, not for ever: removed", [&] { return weekday({102}, false); }, std::nullopt},
        {"a repeating relative alarm restarts from its due time",
         [] {
             auto a = relativeAlarm(30, true, at("2024-03-04T09:30:00"));
             a->setShouldRepeat(true);
             return a;
         },
         "2024-03-04T10:30:00"},
        {"a relative alarm without repeat is removed",
         [] { return relativeAlarm(30, true, at("2024-03-04T09:30:00")); }, std::nullopt},
        {"an every-day date alarm moves to the next day",
         [] { return dateAlarm(at("2024-03-04T10:00:00"), true); }, "2024-03-05T10:00:00"},
        {"an every-day date alarm cleared days late moves to the next day to come",
         [] { return dateAlarm(at("2024-03-01T10:30:00"), true); }, "2024-03-04T10:30:00"},
        {"a date alarm without repeat is removed",
         [] { return dateAlarm(at("2024-03-04T10:00:00")); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeAlarmClock();
        std::shared_ptr<Alarm> a = c.make();
        // As it stood when it rang, whatever inserting it late would do to it.
        const std::optional<Date> stored = a->storedTime();
        const Date run = a->runTime();
        alarmClock().insertAlarm(a);
        a->setTime(stored);
        a->setRunTime(run);
        controller_.unscheduleAlarm(*a);
        const bool kept = !alarmClock().allAlarms().empty();
        EXPECT_EQ(kept, c.next.has_value());
        if (kept && c.next) {
            EXPECT_EQ(wall(a->time()), *c.next);
            // The list is saved as it changed.
            ASSERT_TRUE(storedAlarms().has_value());
            ASSERT_EQ(storedAlarms()->size(), 1u);
            EXPECT_EQ(wall(storedAlarms()->front()->time()), *c.next);
        }
    }
}

TEST_F(alarmsFiring, TheWindowOpensUnderTheAlarmItem) {
    // A screen without a window manager: only the strip's own band keeps windows off it.
    FakeScreens screens({QRectF(0, 0, 800, 600)});
    const int strip = 0;
    platform::Screens::reserve(&strip, QRectF(0, 0, 800, 24));
    auto tea = dueSoon(QStringLiteral("Tea"));
    controller_.statusItem().get();  // no presenter in this test: no frame
    scheduler_.advanceBy(1.0);
    QWidget* w = controller_.snoozeWindowFor(tea.get())->window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    // With no item to hang under, it opens at the top right, below the strip.
    EXPECT_EQ(w->pos(), QPoint(800 - w->width(), 24));
    platform::Screens::reserve(&strip, QRectF());
}

class NoHost : public AlarmMenuHost {
  public:
    void addItem(std::shared_ptr<platform::Menu>) override {}
    void showAlarmEditor() override {}
};

TEST_F(alarmsFiring, AClickOnTheItemOpensTheActiveAlarmsAndBringsTheWindowsForward) {
    platform::StatusBar bar;
    platform::StatusBar::setSystemStatusBar(&bar);
    TalvorTimeSettings::sharedInstance().showAlarm = true;
    NoHost host;
    controller_.awakeFromNib(&host);
    auto tea = dueSoon(QStringLiteral("Tea"));
    scheduler_.advanceBy(1.0);
    QWidget* window = controller_.snoozeWindowFor(tea.get())->window();
    window->hide();

    int rebuilt = 0;
    platform::Observation seen = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("ZephyrelMainMenuWillAppear"), QVariant(),
        [&](const platform::Notification&) { ++rebuilt; });
    std::shared_ptr<platform::Menu> opened;
    QObject::connect(controller_.statusItem().get(), &platform::StatusItem::popUpMenuRequested,
                     [&](const std::shared_ptr<platform::Menu>& menu) { opened = menu; });
    controller_.statusView().mouseDown({});
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(opened, controller_.activeAlarmMenu());
    ASSERT_EQ(opened->numberOfItems(), 1);
    EXPECT_TRUE(opened->itemAtIndex(0)->attributedTitle().string().endsWith(QStringLiteral("Tea")));
    EXPECT_TRUE(controller_.statusView().isVisible());
    EXPECT_TRUE(window->isVisible()) << "the ringing alarm's window comes back to the front";

    controller_.clearFromMenu(tea);
    scheduler_.runPosted();
    controller_.awakeFromNib(nullptr);
    TalvorTimeSettings::sharedInstance().showAlarm = false;
    platform::StatusBar::setSystemStatusBar(nullptr);
}

TEST_F(alarmsFiring, TheVoiceMenuKeepsItsFirstItemAndListsTheVoicesByName) {
    TextSpeaker speaker;
    auto menu = platform::Menu::create();
    menu->addItemWithTitle(QStringLiteral("Kathy"));
    menu->addItemWithTitle(QStringLiteral("stale"));
    int chosen = 0;
    speaker.fillMenuWithVoices(*menu, [&](platform::MenuItem&) { ++chosen; });
    ASSERT_EQ(menu->numberOfItems(), 3);
    EXPECT_EQ(menu->itemAtIndex(0)->title(), QStringLiteral("Kathy"));
    EXPECT_EQ(menu->itemAtIndex(1)->title(), QStringLiteral("Alex"));
    EXPECT_EQ(menu->itemAtIndex(2)->representedObject(), QVariant(QStringLiteral("Kathy")));
    menu->performActionForItemAtIndex(2);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(speaker.indexOfVoice(QStringLiteral("Kathy")), 2);
    EXPECT_EQ(speaker.indexOfVoice(QStringLiteral("Nobody")), 0);
}

}  // namespace
}  // namespace talvor::test
