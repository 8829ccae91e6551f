#include "AlarmsTestSupport.h"

#include "alarms/AlarmMenuController.h"
#include "alarms/AlarmSetPreController.h"
#include "alarms/SavedAlarms.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/NotificationCenter.h"
#include "platform/StatusBar.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace talvor::test {
namespace {

class RecordingHost : public AlarmMenuHost {
  public:
    void addItem(std::shared_ptr<platform::Menu> alarmMenu) override {
        menu = std::move(alarmMenu);
    }
    void showAlarmEditor() override { calls << QStringLiteral("showAlarmEditor"); }

    std::shared_ptr<platform::Menu> menu;
    QStringList calls;
};

// The menu as indented lines: a two-part title as its text, a separator as "---", an item
// with an action marked "*".
void dump(const platform::Menu& menu, int depth, QStringList& lines) {
    for (const auto& item : menu.itemArray()) {
        QString text = item->isSeparatorItem() ? QStringLiteral("---")
                       : item->attributedTitle().string().isEmpty()
                           ? item->title()
                           : item->attributedTitle().string();
        if (item->hasAction()) {
            text += QStringLiteral(" *");
        }
        lines << QString(depth * 2, QLatin1Char(' ')) + text;
        if (item->submenu()) {
            dump(*item->submenu(), depth + 1, lines);
        }
    }
}

QStringList tree(const platform::Menu& menu) {
    QStringList lines;
    dump(menu, 0, lines);
    return lines;
}

const QStringList kTimer = {"Timer...",   "  1 min *",  "  2 min *",  "  3 min *",
                            "  4 min *",  "  5 min *",  "  10 min *", "  15 min *",
                            "  20 min *", "  30 min *", "  45 min *"};

class alarmsMenu : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        TalvorTimeSettings::sharedInstance().showAlarm = true;
    }
    void TearDown() override {
        controller_.awakeFromNib(nullptr);
        TalvorTimeSettings::sharedInstance().showAlarm = false;
        AlarmsTest::TearDown();
    }
    void post() {
        platform::NotificationCenter::defaultCenter().post(
            QStringLiteral("ZephyrelMainMenuWillAppear"));
    }
    RecordingHost host;
};

TEST_F(alarmsMenu, WithoutAlarmsTheMenuOffersToCreateOne) {
    controller_.awakeFromNib(&host);
    ASSERT_NE(host.menu, nullptr);
    EXPECT_EQ(
        tree(*host.menu),
        QStringList({"Active alarms:", "No Alarms", "---", "Create alarm... *", "---"}) + kTimer);
    EXPECT_EQ(host.menu->itemWithTitle(QStringLiteral("Timer..."))->submenu()->title(),
              QStringLiteral("Pre"));
}

TEST_F(alarmsMenu, TwoActiveAndOneSavedAlarm) {
    auto saved = dateAlarm(at("2024-03-06T06:15:00"));
    saved->setTitle(QStringLiteral("Gym"));
    saved->setIsExisInActiveAlarmList(true);
    auto unlisted = dateAlarm(at("2024-03-06T06:15:00"));
    unlisted->setTitle(QStringLiteral("Not saved by the user"));
    SavedAlarms::save({saved, unlisted});
    controller_.awakeFromNib(&host);
    auto tea = dateAlarm(at("2024-03-05T07:30:00"));
    tea->setTitle(QStringLiteral("Tea"));
    controller_.scheduleAlarm(tea);
    auto bus = dateAlarm(at("2024-03-04T17:05:00"));
    bus->setTitle(QStringLiteral("Bus"));
    controller_.scheduleAlarm(bus);
    post();
    EXPECT_EQ(tree(*host.menu),
              QStringList({"Active alarms:", "Mon, 5:05 PM Bus", "  Edit... *", "  Clear *",
                           "  Save *", "Tue, 7:30 AM Tea", "  Edit... *", "  Clear *", "  Save *",
                           "---", "Create alarm... *", "---", "Inactive alarms:",
                           "Wed, 6:15 AM Gym *", "  Set *", "  Edit... *", "  Clear *", "---"}) +
                  kTimer);
    // The item's own menu lists the active alarms only.
    EXPECT_EQ(tree(*controller_.activeAlarmMenu()),
              QStringList({"Mon, 5:05 PM Bus", "  Edit... *", "  Clear *", "  Save *",
                           "Tue, 7:30 AM Tea", "  Edit... *", "  Clear *", "  Save *"}));
}

TEST_F(alarmsMenu, AQuickAlarmIsTitledByItsTimeToGoAndCannotBeSaved) {
    controller_.awakeFromNib(&host);
    platform::Menu& quick = *host.menu->itemWithTitle(QStringLiteral("Timer..."))->submenu();
    quick.performActionForItemAtIndex(quick.indexOfItemWithTitle(QStringLiteral("5 min")));
    EXPECT_EQ(tree(*host.menu).mid(0, 4),
              QStringList({"Active alarms:", "In 5 mins at 10:05 AM", "  Edit... *", "  Clear *"}));
    EXPECT_EQ(tree(*host.menu)[4], QStringLiteral("---"));
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u);
    const Alarm& made = *alarmClock().allAlarms().front();
    EXPECT_TRUE(made.isDefaultAlarm());
    EXPECT_EQ(made.snoozeTime(), 5);
    EXPECT_EQ(made.title(), QStringLiteral("default"));
    EXPECT_TRUE(made.soundPath().endsWith(QStringLiteral("/Ping.ogg")));
    EXPECT_EQ(wall(made.time()), QStringLiteral("2024-03-04T10:05:00"));
    // Kept as the one saved quick alarm, replaced by the next.
    controller_.createAlarm1m();
    const AlarmList saved = SavedAlarms::load();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.front()->ringWithinUnits(), 1);
    EXPECT_EQ(tree(*host.menu)[1], QStringLiteral("In 1 min at 10:01 AM"));
}

TEST_F(alarmsMenu, EveryQuickAlarmRingsInItsMinutes) {
    controller_.awakeFromNib(&host);
    const std::vector<std::pair<void (AlarmMenuController::*)(), int>> makers = {
        {&AlarmMenuController::createAlarm1m, 1},   {&AlarmMenuController::createAlarm2m, 2},
        {&AlarmMenuController::createAlarm3m, 3},   {&AlarmMenuController::createAlarm4m, 4},
        {&AlarmMenuController::createAlarm5m, 5},   {&AlarmMenuController::createAlarm10m, 10},
        {&AlarmMenuController::createAlarm15m, 15}, {&AlarmMenuController::createAlarm20m, 20},
        {&AlarmMenuController::createAlarm30m, 30}, {&AlarmMenuController::createAlarm45m, 45}};
    for (const auto& [maker, minutes] : makers) {
        (controller_.*maker)();
        EXPECT_EQ(alarmClock().allAlarms().front()->time(),
                  clock_.now().addingTimeInterval(60.0 * minutes))
            << minutes;
    }
}

TEST_F(alarmsMenu, SaveFromTheMenuStoresTheAlarmEvenWhenItsTitleIsGone) {
    controller_.awakeFromNib(&host);
    auto tea = dateAlarm(at("2024-03-05T07:30:00"));
    tea->setTitle(QStringLiteral("Tea"));
    controller_.scheduleAlarm(tea);
    post();
    ASSERT_FALSE(SavedAlarms::exists());
    platform::Menu& commands = *host.menu->itemAtIndex(1)->submenu();
    commands.performActionForItemAtIndex(commands.indexOfItemWithTitle(QStringLiteral("Save")));
    const AlarmList saved = SavedAlarms::load();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.front()->title(), QStringLiteral("Tea"));
    EXPECT_TRUE(saved.front()->isExisInActiveAlarmList());
    EXPECT_TRUE(tree(*host.menu).contains(QStringLiteral("Tue, 7:30 AM Tea *")));

    // Its "Clear" under "Inactive alarms:" deletes the saved one, not the active one.
    const int savedLine = host.menu->indexOfItemWithTitle(QStringLiteral("Inactive alarms:")) + 1;
    platform::Menu& savedCommands = *host.menu->itemAtIndex(savedLine)->submenu();
    savedCommands.performActionForItemAtIndex(
        savedCommands.indexOfItemWithTitle(QStringLiteral("Clear")));
    EXPECT_TRUE(SavedAlarms::load().empty());
    EXPECT_EQ(alarmClock().allAlarms().size(), 1u);
}

TEST_F(alarmsMenu, ASavedAlarmIsActivatedFromTheMenu) {
    auto saved = dateAlarm(at("2024-03-06T06:15:00"));
    saved->setTitle(QStringLiteral("Gym"));
    saved->setIsExisInActiveAlarmList(true);
    SavedAlarms::save({saved});
    controller_.awakeFromNib(&host);
    host.menu->performActionForItemAtIndex(
        host.menu->indexOfItemWithTitle(QStringLiteral("Inactive alarms:")) + 1);
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u);
    EXPECT_EQ(alarmClock().allAlarms().front()->title(), QStringLiteral("Gym"));
    EXPECT_EQ(alarmClock().allAlarms().front()->delegate(), &controller_);
    EXPECT_TRUE(controller_.statusView().isShown());
}

// In a Qt menu a line with a submenu only opens it: a saved alarm is set again by its
// submenu's first command, one click away, as the user reaches it in the real QMenu.
TEST_F(alarmsMenu, ASavedAlarmIsSetAgainThroughTheQtMenu) {
    auto saved = dateAlarm(at("2024-03-06T06:15:00"));
    saved->setTitle(QStringLiteral("Gym"));
    saved->setIsExisInActiveAlarmList(true);
    SavedAlarms::save({saved});
    controller_.awakeFromNib(&host);
    platform::MenuMirror mirror(host.menu);
    const int line = host.menu->indexOfItemWithTitle(QStringLiteral("Inactive alarms:")) + 1;
    QAction* gym = mirror.actionAt(line);
    ASSERT_NE(gym, nullptr);
    ASSERT_NE(gym->menu(), nullptr) << "the line opens its commands";
    const QList<QAction*> commands = gym->menu()->actions();
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.front()->text(), QStringLiteral("Set"));
    EXPECT_TRUE(commands.front()->isEnabled());

    commands.front()->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u);
    EXPECT_EQ(alarmClock().allAlarms().front()->title(), QStringLiteral("Gym"));
    EXPECT_EQ(alarmClock().allAlarms().front()->time(), at("2024-03-06T06:15:00"));
}

// A saved relative alarm rings its interval after it is set again: its line says so, and
// does not move with the clock. Saved alarms that are not listed leave no heading behind.
TEST_F(alarmsMenu, SavedLinesSayWhenTheyWouldRingAndTheHeadingNeedsOne) {
    auto tea = relativeAlarm(10, true, at("2024-03-04T09:00:00"));
    tea->setTitle(QStringLiteral("Tea"));
    tea->setIsExisInActiveAlarmList(true);
    auto walk = relativeAlarm(2, false, at("2024-03-04T09:00:00"));
    walk->setTitle(QStringLiteral("Walk"));
    walk->setShouldRepeat(true);
    walk->setIsExisInActiveAlarmList(true);
    SavedAlarms::save({tea, walk});
    controller_.awakeFromNib(&host);
    const QStringList listed = {"Inactive alarms:", "In 10 min Tea *", "  Set *",
                                "  Edit... *",      "  Clear *",       "Every 2 hours Walk *",
                                "  Set *",          "  Edit... *",     "  Clear *"};
    const auto savedPart = [&] {
        const QStringList all = tree(*host.menu);
        const qsizetype from = all.indexOf(QStringLiteral("Inactive alarms:"));
        return from < 0 ? QStringList() : all.mid(from, listed.size());
    };
    EXPECT_EQ(savedPart(), listed);
    clock_.advance(7 * 60.0);
    post();
    EXPECT_EQ(savedPart(), listed) << "the lines do not move with the clock";

    auto unlisted = dateAlarm(at("2024-03-06T06:15:00"));
    unlisted->setTitle(QStringLiteral("Preset"));
    SavedAlarms::save({unlisted});
    post();
    EXPECT_EQ(
        tree(*host.menu),
        QStringList({"Active alarms:", "No Alarms", "---", "Create alarm... *", "---"}) + kTimer);
}

TEST_F(alarmsMenu, WithAlarmsHiddenTheMenuIsLeftAsItIs) {
    controller_.awakeFromNib(&host);
    const QStringList before = tree(*host.menu);
    TalvorTimeSettings::sharedInstance().showAlarm = false;
    controller_.scheduleAlarm(dateAlarm(at("2024-03-05T07:30:00")));
    post();
    EXPECT_EQ(tree(*host.menu), before);
    // The alarm item's menu still follows the alarms.
    EXPECT_EQ(controller_.activeAlarmMenu()->numberOfItems(), 1);
}

TEST_F(alarmsMenu, AMenuMadeWhileAlarmsWereHiddenIsFilledWhenItOpens) {
    TalvorTimeSettings::sharedInstance().showAlarm = false;
    controller_.awakeFromNib(&host);
    EXPECT_EQ(host.menu->numberOfItems(), 0);
    TalvorTimeSettings::sharedInstance().showAlarm = true;
    host.menu->notifyWillOpen();
    EXPECT_EQ(tree(*host.menu).front(), QStringLiteral("Active alarms:"));
    host.menu->notifyDidClose();
}

TEST_F(alarmsMenu, CreatingAnAlarmOpensItsSettingsPane) {
    controller_.awakeFromNib(&host);
    host.menu->performActionForItemAtIndex(
        host.menu->indexOfItemWithTitle(QStringLiteral("Create alarm...")));
    EXPECT_EQ(host.calls, (QStringList{"showAlarmEditor"}));

    // Once the host is gone, nothing calls it.
    controller_.awakeFromNib(nullptr);
    controller_.editAlarm();
    EXPECT_EQ(host.calls.size(), 1);
}

TEST_F(alarmsMenu, TheAlarmItemTakesRoomOnlyWhileThereAreAlarms) {
    controller_.awakeFromNib(&host);
    ASSERT_NE(controller_.statusItem(), nullptr);
    EXPECT_EQ(controller_.statusItem()->view().get(), &controller_.statusView());
    EXPECT_FALSE(controller_.statusView().isShown());
    auto tea = dateAlarm(at("2024-03-04T10:45:00"));
    tea->setTitle(QStringLiteral("Tea"));
    controller_.acceptedAlarm(tea);
    EXPECT_TRUE(controller_.statusView().isShown());
    EXPECT_EQ(controller_.statusView().durationAngle(), 45);
    EXPECT_EQ(controller_.statusItem()->toolTip(), QStringLiteral("In 45 mins at 10:45 AM: Tea"));
    // The wedge follows the minutes; the tip counts a started minute as a whole one.
    scheduler_.advanceBy(60.0);
    EXPECT_EQ(controller_.statusView().durationAngle(), 44);
    for (const auto& [wait, tip] :
         std::vector<std::pair<double, const char*>>{{25.0, "In 44 mins at 10:45 AM: Tea"},
                                                     {60.0 * 43, "In 1 min at 10:45 AM: Tea"},
                                                     {25.0, "In 1 min at 10:45 AM: Tea"}}) {
        scheduler_.advanceBy(wait);
        EXPECT_EQ(controller_.statusItem()->toolTip(), QString::fromLatin1(tip));
    }
    controller_.clearFromMenu(tea);
    EXPECT_FALSE(controller_.statusView().isShown());
    controller_.awakeFromNib(nullptr);
    EXPECT_EQ(controller_.statusItem(), nullptr);
}

// A quick timer's stored title is a key: the user sees and hears its length instead.
TEST_F(alarmsMenu, AQuickTimerIsNamedAfterItsLengthWhereverItIsShown) {
    controller_.awakeFromNib(&host);
    controller_.createPreAlarm(5);
    ASSERT_NE(controller_.statusItem(), nullptr);
    EXPECT_TRUE(controller_.statusItem()->toolTip().endsWith(QStringLiteral(": Timer, 5 min")))
        << controller_.statusItem()->toolTip().toStdString();
    scheduler_.advanceBy(300.0);
    ASSERT_TRUE(alarmClock().allAlarms().front()->isTriggered());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].informativeText, QStringLiteral("Timer, 5 min"));
    controller_.clearFromMenu(alarmClock().allAlarms().front());
    controller_.awakeFromNib(nullptr);
}

// The quick alarm keeps one saved alarm titled "default": the first of that title is
// rewritten in place, the others and the order stay.
TEST_F(alarmsMenu, AQuickAlarmRewritesTheFirstSavedDefaultOnly) {
    const auto titled = [](const char* title, int64_t minutes) {
        auto a = Alarm::create();
        a->setTitle(QString::fromLatin1(title));
        a->setRingWithinUnits(minutes);
        return a;
    };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, int64_t>> before;
        std::vector<std::pair<const char*, int64_t>> after;
    };
    const Case cases[] = {
        {"no saved alarms", {}, {{"default", 10}}},
        {"default at index 2",
         {{"Tea", 3}, {"Gym", 4}, {"default", 2}, {"Soup", 5}},
         {{"Tea", 3}, {"Gym", 4}, {"default", 10}, {"Soup", 5}}},
        {"two defaults",
         {{"Tea", 3}, {"default", 1}, {"Gym", 4}, {"default", 7}},
         {{"Tea", 3}, {"default", 10}, {"Gym", 4}, {"default", 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults_.removeObjectForKey(QStringLiteral("StoredAlarmsKey"));
        if (!c.before.empty()) {
            AlarmList list;
            for (const auto& [title, minutes] : c.before) {
                list.push_back(titled(title, minutes));
            }
            ASSERT_TRUE(SavedAlarms::save(list));
        }
        controller_.createPreAlarm(10);
        const AlarmList saved = SavedAlarms::load();
        ASSERT_EQ(saved.size(), c.after.size());
        for (std::size_t i = 0; i < saved.size(); ++i) {
            EXPECT_EQ(saved[i]->title(), QString::fromLatin1(c.after[i].first)) << i;
            EXPECT_EQ(saved[i]->ringWithinUnits(), c.after[i].second) << i;
        }
        const auto preset = alarmClock().allAlarms().front();
        EXPECT_EQ(preset->title(), QStringLiteral("default"));
        EXPECT_TRUE(preset->isDefaultAlarm() && preset->isMinuteUnits() && preset->isPlaySound());
        EXPECT_EQ(preset->snoozeTime(), 5);
        EXPECT_EQ(preset->time(), clock_.now().addingTimeInterval(600.0));
        EXPECT_EQ(preset->delegate(), &controller_);
    }
}

// Saved alarms that cannot be read are kept as they are, with a copy: the quick alarm still
// rings, and nothing set later overwrites them.
TEST_F(alarmsMenu, AnUnreadableSavedListIsKeptAndBackedUp) {
    const QByteArray garbage("bplist00 not an archive of alarms");
    defaults_.setObject(QVariant(garbage), QStringLiteral("StoredAlarmsKey"));
    controller_.createPreAlarm(5);

    EXPECT_EQ(defaults_.objectForKey(QStringLiteral("StoredAlarmsKey")).toByteArray(), garbage);
    EXPECT_EQ(defaults_.objectForKey(SavedAlarms::kUnreadableBackupKey).toByteArray(), garbage);
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u) << "the quick alarm rings all the same";

    auto tea = dateAlarm(at("2024-03-05T07:30:00"));
    tea->setTitle(QStringLiteral("Tea"));
    EXPECT_FALSE(SavedAlarms::updateAlarmList(*tea, true));
    EXPECT_FALSE(SavedAlarms::remove(QStringLiteral("default")));
    controller_.saveFromMenu(tea);
    EXPECT_EQ(defaults_.objectForKey(QStringLiteral("StoredAlarmsKey")).toByteArray(), garbage);
    EXPECT_TRUE(SavedAlarms::load().empty());
}

}  // namespace
}  // namespace talvor::test
