// Count-down events: the remaining-time texts, the tiles on the fake clock (colour and the
// expiry sound), the editor window and the count-down page over an in-memory store.
#include "alarms/AlarmsTestSupport.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/CountDownEditor.h"
#include "alarms/CountDownTiles.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/SharedInstance.h"
#include "prefs/CountDownTimerViewController.h"
#include "services/SoundFadeOut.h"
#include "support/FakeSoundPlayer.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

namespace talvor::test {
namespace {

constexpr double kMinute = 60, kHour = 3600, kDay = 86400, kWeek = 7 * kDay;

struct RemainingCase {
    int32_t code;
    double seconds;
    const char* text;
};

// Every code on one moment, 2 weeks 2 days 3 hours 20 minutes 5.6 seconds ahead (387:20:05
// in total hours), then the two examples and the edges.
TEST(prefsCountDownRemaining, TextsOfEveryResolution) {
    const double t = 2 * kWeek + 2 * kDay + 3 * kHour + 20 * kMinute + 5.6;
    const RemainingCase cases[] = {
        {60, t, "23240 minutes (387:20:05)"},
        {61, t, "23240 minutes 5 seconds"},
        {360, t, "387 Hours (20:05)"},
        {361, t, "387 Hours 20 minutes 5 seconds"},
        {362, t, "387 Hours 20 minutes (05)"},
        {8640, t, "16 Days (3:20:05)"},
        {8641, t, "16 Days + 3 hours (387:20:05)"},
        {8642, t, "16 Days + 3 hours 20 minutes (05)"},
        {8643, t, "16 Days + 3 hours 20 minutes 5 seconds"},
        {60480, t, "2 weeks (387:20:05)"},
        {60481, t, "2 weeks + 2 days (387:20:05)"},
        {60482, t, "2 weeks + 2 days 3 hours (20:05)"},
        {0, t, "1394406 seconds"},
        {12345, 59.5, "60 seconds"},
        {60, 90 * kMinute + 5, "90 minutes (1:30:05)"},
        {8641, 2 * kDay + 3 * kHour + 20 * kMinute + 5, "2 Days + 3 hours (51:20:05)"},
        {60, 0, "0 minutes (0:00:00)"},
        {0, 0, "0 seconds"},
    };
    for (const RemainingCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(calculateTimeRemaining(c.code, c.seconds), QString::fromLatin1(c.text));
    }
}

// Red only ahead and within the last `hoursBefore` whole hours: with 0, the last hour.
TEST(prefsCountDownRemaining, WarningWindow) {
    struct Case {
        double seconds;
        int32_t hoursBefore;
        bool red;
    };
    const Case cases[] = {
        {0, 0, false},         {-1, 5, false},        {1, 0, true},
        {kHour - 1, 0, true},  {kHour, 0, false},     {3 * kHour + 59 * kMinute, 3, true},
        {4 * kHour, 3, false}, {10 * kDay, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(isWarning(c.seconds, c.hoursBefore), c.red);
    }
}

Event countDown(const char* name, Date time, int32_t resolution = 60, int32_t hoursBefore = 0,
                QString sound = QString()) {
    return Event(QString::fromLatin1(name).toUpper(), QString::fromLatin1(name), time, 3,
                 resolution, 0, hoursBefore, std::move(sound));
}

// Off the session bus, before anything makes the notification centre: other test programs
// post "EventsUpdate" there too, and the editor's posts are counted.
struct OffTheSessionBus {
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
};

class CountDownWorld : private OffTheSessionBus, public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        time_.emplace();
        sharedTime_.emplace(*time_);
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox*>(w) || w->objectName() == "NewCountDownEventWindow") {
                w->close();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        FadeOut::stopTimers();
        sharedTime_.reset();
        time_.reset();
        AlarmsTest::TearDown();
    }
    static void store(const QList<Event>& events) {
        EventsDictionary d;
        for (const Event& e : events) {
            d.insert(e.uid(), e);
        }
        saveEvents(d);
    }
    static QStringList storedNames() {
        QStringList names;
        for (const Event& e : sortedEvents(loadEvents())) {
            names << e.eventName();
        }
        return names;
    }
    static QMessageBox* messageBox(const char* name) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box != nullptr && box->isVisible() && box->objectName() == QLatin1String(name)) {
                return box;
            }
        }
        for (QWidget* w : QApplication::allWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box != nullptr && box->isVisible() && box->objectName() == QLatin1String(name)) {
                return box;
            }
        }
        return nullptr;
    }
    Date now() const { return clock_.now(); }

    std::optional<TalvorTimeSettings> time_;
    std::optional<SharedInstance<TalvorTimeSettings>::Override> sharedTime_;
};

using prefsCountDownTile = CountDownWorld;

// A tile ticks with the clock: exactly zero is still counting and grey, the last hour is red,
// and a tile that saw its event arrive plays the sound once, 20 seconds at most.
TEST_F(prefsCountDownTile, TicksTurnsRedAndPlaysTheSoundOnce) {
    FakeSoundSystem sounds(scheduler_);
    sounds.addSound(QStringLiteral("/s/Bell.ogg"), 60.0);
    EventsCollectionViewItem tile;
    tile.setRepresentedObject(
        countDown("Launch", now().addingTimeInterval(kHour + 2), 60, 0, "/s/Bell.ogg"));
    EXPECT_EQ(tile.titleText(), QStringLiteral("Launch"));
    EXPECT_EQ(tile.remainingText(), QStringLiteral("60 minutes (1:00:02)"));
    EXPECT_EQ(tile.bgColor(), EventsCollectionViewItem::kNormalColor);
    scheduler_.advanceBy(3.0);
    EXPECT_EQ(tile.remainingText(), QStringLiteral("59 minutes (0:59:59)"));
    EXPECT_EQ(tile.bgColor(), EventsCollectionViewItem::kWarningColor);
    scheduler_.advanceBy(kHour - 1);
    EXPECT_EQ(tile.remainingText(), QStringLiteral("0 minutes (0:00:00)")) << "zero is not past";
    EXPECT_EQ(tile.bgColor(), EventsCollectionViewItem::kNormalColor);
    EXPECT_TRUE(sounds.created.empty());
    scheduler_.advanceBy(1.0);
    EXPECT_TRUE(tile.remainingText().startsWith(QStringLiteral("expired ")));
    ASSERT_EQ(sounds.created.size(), 1u);
    scheduler_.advanceBy(30.0);
    EXPECT_EQ(sounds.created.size(), 1u) << "once";
    EXPECT_FALSE(sounds.created[0]->isPlaying()) << "stopped after 20 seconds";
}

// A tile made for an event already past, or one without a sound, stays silent.
TEST_F(prefsCountDownTile, PastOrSoundlessEventsAreSilent) {
    FakeSoundSystem sounds(scheduler_);
    sounds.addSound(QStringLiteral("/s/Bell.ogg"), 60.0);
    const Date pastTime = now().addingTimeInterval(-10);
    EventsCollectionViewItem past;
    past.setRepresentedObject(countDown("Past", pastTime, 60, 0, "/s/Bell.ogg"));
    EventsCollectionViewItem silent;
    silent.setRepresentedObject(countDown("Silent", now().addingTimeInterval(2)));
    scheduler_.advanceBy(5.0);
    EXPECT_TRUE(sounds.created.empty());
    EXPECT_EQ(past.remainingText(), expiredText(pastTime));
    EXPECT_EQ(expiredText(at("2024-03-04T10:00:00")),
              QStringLiteral("expired 2024-03-04 09:00:00 +0000"));
    EXPECT_TRUE(silent.remainingText().startsWith(QStringLiteral("expired ")));
}

using prefsCountDownEditor = CountDownWorld;

// An empty title is refused with the alert and the store is left as it was.
TEST_F(prefsCountDownEditor, EmptyTitleShowsTheAlertAndSavesNothing) {
    store({countDown("Keep", now().addingTimeInterval(kDay))});
    auto* window = NewCountDownEventWindowController::openFor(std::nullopt);
    EXPECT_FALSE(window->deleteButton()->isEnabled());
    EXPECT_FALSE(window->setEvent());
    EXPECT_EQ(window->lastAlertText(), QStringLiteral("Title must not be empty.\n"));
    QMessageBox* box = messageBox("CountDownProblems");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("CountDown Event"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Title must not be empty.\n"));
    EXPECT_EQ(storedNames(), QStringList{QStringLiteral("Keep")});
}

// Editing keeps the uid (one entry, not two), takes the day from the date picker and the time
// with its seconds from the time picker, keeps an unticked sound, and re-reads the store so
// that an event added meanwhile elsewhere survives. Saving and deleting say "EventsUpdate".
TEST_F(prefsCountDownEditor, SavingKeepsTheUidAndWhatOthersSaved) {
    const Event trip = countDown("Trip", at("2024-05-01T08:00:00"), 8641, 2, "/s/Bell.ogg");
    store({trip});
    int updates = 0;
    auto seen = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        keys::EventsUpdate, QVariant(), [&](const platform::Notification&) { ++updates; });
    auto* window = NewCountDownEventWindowController::openFor(trip);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Edit Event"));
    CountDownForm* form = window->form();
    EXPECT_EQ(form->titleField()->text(), QStringLiteral("Trip"));
    EXPECT_EQ(form->popUpResolution()->currentData().toInt(), 8641);
    EXPECT_EQ(form->xHoursField()->text(), QStringLiteral("2"));
    EXPECT_TRUE(form->playSoundCheck()->isChecked());

    // Meanwhile the page adds another event.
    storeEvent(countDown("Party", at("2024-04-01T20:00:00")));

    form->titleField()->setText(QStringLiteral("Long trip"));
    form->datePicker()->setDate(QDate(2024, 6, 2));
    form->timePicker()->setTime(QTime(7, 15, 42));
    form->playSoundCheck()->setChecked(false);
    EXPECT_TRUE(window->setEvent());
    const EventsDictionary saved = loadEvents();
    ASSERT_EQ(saved.size(), 2);
    ASSERT_TRUE(saved.contains(trip.uid()));
    const Event& edited = saved[trip.uid()];
    EXPECT_EQ(edited.eventName(), QStringLiteral("Long trip"));
    EXPECT_EQ(edited.eventTime(), at("2024-06-02T07:15:42"));
    EXPECT_EQ(edited.soundPath(), QStringLiteral("/s/Bell.ogg"));
    EXPECT_EQ(edited.hoursBefore(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates >= 1; }));
    EXPECT_EQ(updates, 1);

    auto* again = NewCountDownEventWindowController::openFor(edited);
    again->deleteButton()->click();
    EXPECT_EQ(storedNames(), QStringList{QStringLiteral("Party")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates >= 2; }));
    EXPECT_EQ(updates, 2);
}

using prefsCountDownPane = CountDownWorld;

// Add stores a new event under a fresh uid and says "Event Saved!"; OK empties the form and
// shows the tile among the others, earliest first.
TEST_F(prefsCountDownPane, AddStoresAndOkShowsTheNewTile) {
    store({countDown("Later", at("2024-12-24T18:00:00"))});
    CountDownTimerViewController pane(QStringLiteral("CountDownTimerViewController"));
    ASSERT_NE(pane.view(), nullptr);
    ASSERT_EQ(pane.eventsCollectionView()->tiles().size(), 1);
    CountDownForm* form = pane.form();
    EXPECT_FALSE(pane.setEvent()) << "no title";
    form->titleField()->setText(QStringLiteral("Soon"));
    form->datePicker()->setDate(QDate(2024, 3, 5));
    form->timePicker()->setTime(QTime(9, 0, 0));
    ASSERT_TRUE(pane.setEvent());
    EXPECT_EQ(storedNames(), (QStringList{"Soon", "Later"}));
    ASSERT_NE(pane.savedAlert(), nullptr);
    EXPECT_EQ(pane.savedAlert()->informativeText(), QStringLiteral("Event Saved!"));
    pane.savedAlert()->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(form->titleField()->text().isEmpty());
    QStringList titles;
    for (const EventsCollectionViewItem* tile : pane.eventsCollectionView()->tiles()) {
        titles << tile->titleText();
    }
    EXPECT_EQ(titles, (QStringList{"Soon", "Later"}));
    // Another window's change reaches the tiles.
    store({});
    platform::DistributedNotificationCenter::defaultCenter().post(keys::EventsUpdate);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane.eventsCollectionView()->tiles().isEmpty(); }));
}

// Adding on the page says "EventsUpdate", so that an open events window (and any other
// page) shows the new event; so does a new event saved in the editor window.
TEST_F(prefsCountDownPane, AddingSaysEventsUpdate) {
    int updates = 0;
    auto seen = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        keys::EventsUpdate, QVariant(), [&](const platform::Notification&) { ++updates; });
    CountDownTimerViewController pane(QStringLiteral("CountDownTimerViewController"));
    CountDownTimerViewController other(QStringLiteral("CountDownTimerViewController"));
    ASSERT_NE(pane.view(), nullptr);
    ASSERT_NE(other.view(), nullptr);
    pane.form()->titleField()->setText(QStringLiteral("Soon"));
    ASSERT_TRUE(pane.setEvent());
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates == 1; }));
    EXPECT_EQ(other.eventsCollectionView()->tiles().size(), 1) << "the other page follows";

    auto* window = NewCountDownEventWindowController::openFor(std::nullopt);
    window->form()->titleField()->setText(QStringLiteral("Later"));
    ASSERT_TRUE(window->setEvent());
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates == 2; }));
    EXPECT_EQ(other.eventsCollectionView()->tiles().size(), 2);
}

// A tile's information button, pressed again, brings the event's open editor to the front
// rather than opening a second one that could save over the first.
TEST_F(prefsCountDownPane, OneEditorPerEventBroughtToTheFront) {
    store({countDown("Trip", at("2024-05-01T08:00:00")),
           countDown("Party", at("2024-04-01T20:00:00"))});
    CountDownTimerViewController pane(QStringLiteral("CountDownTimerViewController"));
    ASSERT_NE(pane.view(), nullptr);
    const auto editors = [] {
        QList<NewCountDownEventWindowController*> open;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* e = qobject_cast<NewCountDownEventWindowController*>(w);
                e && e->isVisible()) {
                open << e;
            }
        }
        return open;
    };
    const QList<EventsCollectionViewItem*> tiles = pane.eventsCollectionView()->tiles();
    ASSERT_EQ(tiles.size(), 2);
    tiles[0]->iButton()->click();
    ASSERT_EQ(editors().size(), 1);
    NewCountDownEventWindowController* first = editors().front();
    tiles[0]->iButton()->click();
    EXPECT_EQ(editors(), QList<NewCountDownEventWindowController*>{first}) << "the same editor";
    tiles[1]->iButton()->click();
    EXPECT_EQ(editors().size(), 2) << "another event has its own";

    // Once closed, the next press opens a fresh one.
    first->close();
    tiles[0]->iButton()->click();
    EXPECT_EQ(editors().size(), 2);
    EXPECT_FALSE(editors().contains(first));
}

// The menu box stores the flag and has the count-down group of the time menu rebuilt.
TEST_F(prefsCountDownPane, TheMenuBoxReachesTheTimeMenu) {
    std::vector<qint32> updates;
    PaneDelegate d;
    d.UpdateMenu = [&](qint32 code) { updates.push_back(code); };
    CountDownTimerViewController pane(QStringLiteral("CountDownTimerViewController"), d);
    ASSERT_NE(pane.view(), nullptr);
    const bool before = pane.showHideCountDown()->isChecked();
    pane.showHideCountDown()->click();
    EXPECT_EQ(time_->showCountDown, !before);
    EXPECT_EQ(updates, std::vector<qint32>{8});
}

}  // namespace
}  // namespace talvor::test
