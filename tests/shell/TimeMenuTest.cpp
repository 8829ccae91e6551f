#include "ShellTestSupport.h"
#include "alarms/AlarmsKeys.h"
#include "alarms/StopWatch.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "shell/AppDelegate.h"
#include "shell/TimeMenu.h"
#include "shell/WorldClockItems.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QStringList>

namespace talvor {
namespace {

// Interface lines from a fixed address list; the external line without a fetch.
class FakeIpLines : public TimeMenuIpLines {
  public:
    explicit FakeIpLines(platform::Menu& menu) : menu_(menu) {}

    int insertExternalLine(int index) override {
        auto item = platform::MenuItem::create(QStringLiteral("Copy IP Address"),
                                               [](platform::MenuItem&) {});
        item->setTag(TimeMenu::kExternalIPTag);
        menu_.insertItem(item, index);
        ++fetches;
        return 1;
    }
    void removeExternalLine() override {}
    int insertInterfaceLines(Family family, int index) override {
        const QStringList& entries = family == Family::IPv4 ? v4 : v6;
        const qint64 first =
            family == Family::IPv4 ? TimeMenu::kFirstIPv4Tag : TimeMenu::kFirstIPv6Tag;
        for (int i = 0; i < entries.size(); ++i) {
            auto item = platform::MenuItem::create(QStringLiteral("Local ") + entries[i],
                                                   [](platform::MenuItem&) {});
            item->setTag(first + i);
            menu_.insertItem(item, index + i);
        }
        return static_cast<int>(entries.size());
    }
    void removeInterfaceLines(Family family) override {
        const qint64 first =
            family == Family::IPv4 ? TimeMenu::kFirstIPv4Tag : TimeMenu::kFirstIPv6Tag;
        for (qint64 tag = first; menu_.indexOfItemWithTag(tag) >= 0; ++tag) {
            menu_.removeItemAtIndex(menu_.indexOfItemWithTag(tag));
        }
    }

    QStringList v4{QStringLiteral("IPv4 (eth0): 10.0.0.5")};
    QStringList v6{QStringLiteral("IPv6 (eth0): fe80::1"),
                   QStringLiteral("IPv6 (eth0): 2001:db8::5")};
    int fetches = 0;

  private:
    platform::Menu& menu_;
};

QVariantList record(const QString& city, const QString& country, const QString& zone, bool inMenu,
                    const QString& note = QString()) {
    return {note,      city,      QString(), country,   zone,  QStringLiteral("1"),
            QString(), QString(), QString(), QString(), inMenu};
}

// A menu with the fixed items and the groups, as the application delegate wires them.
struct Menus {
    explicit Menus(TalvorTimeSettings& settings, platform::Clock& clock) {
        TimeMenu::addFixedItems(*menu, {});
        worldClocks.emplace(
            *menu, settings, clock, [] { return 22745u; }, WorldClockItems::Actions{});
        worldClocks->setLocationList({record(QStringLiteral("Oslo"), QStringLiteral("Norway"),
                                             QStringLiteral("Europe/Oslo"), true),
                                      record(QStringLiteral("Lima"), QStringLiteral("Peru"),
                                             QStringLiteral("America/Lima"), false),
                                      record(QStringLiteral("Tokyo"), QStringLiteral("Japan"),
                                             QStringLiteral("Asia/Tokyo"), true)});
        TimeMenu::Actions actions;
        actions.showCountDownTimer = [] {};
        timeMenu.emplace(*menu, settings, *worldClocks, &ip, actions);
    }

    // "title [tag]" per item; separators as "---".
    QStringList layout() const {
        QStringList lines;
        for (const auto& item : menu->itemArray()) {
            lines << (item->isSeparatorItem()
                          ? QStringLiteral("--- [%1]").arg(item->tag())
                          : QStringLiteral("%1 [%2]").arg(item->title()).arg(item->tag()));
        }
        return lines;
    }

    std::shared_ptr<platform::Menu> menu = platform::Menu::create();
    FakeIpLines ip{*menu};
    std::optional<WorldClockItems> worldClocks;
    std::optional<TimeMenu> timeMenu;
};

struct Switches {
    bool ip = false, v4 = false, v6 = false, alarm = false, take5 = false, world = false,
         floater = false, countDown = false, dateDiff = false, planner = false, lightDark = false;
};

class shellTimeMenu : public ::testing::Test {
  protected:
    void apply(const Switches& s) {
        TalvorTimeSettings& t = *fixture.time;
        t.showIP = s.ip;
        t.showIPV4IP = s.v4;
        t.showIPV6IP = s.v6;
        t.showAlarm = s.alarm;
        t.showTake5 = s.take5;
        t.showLoctionNames = s.world;
        t.showCountDown = s.countDown;
        t.showDateDiffereneCalc = s.dateDiff;
        t.showGlobalScheduler = s.planner;
        t.showLightDarkMode = s.lightDark;
        t.hideCountryInMenuItems = true;
        fixture.defaults.setBool(s.floater, QStringLiteral("Floater"));
    }
    QStringList freshBuild() {
        Menus fresh(*fixture.time, fixture.clock);
        fresh.timeMenu->DrawTimeMenuItems();
        return fresh.layout();
    }

    test::ShellFixture fixture;
};

TEST_F(shellTimeMenu, SettingsGiveTheGroupsInOrderWithTheirTagsAndSeparators) {
    struct Case {
        const char* name;
        Switches on;
        QStringList expected;
    };
    const QString fixed = QStringLiteral(
        "Preferences... [-85]|Stopwatch... [-90]|--- [-88]|Help/Manual... [-86]|"
        "Quit Talvor [-89]");
    const auto rows = [&](const QString& top, const QString& bottom = QString()) {
        QStringList lines = top.isEmpty() ? QStringList() : top.split(QLatin1Char('|'));
        QStringList rest = fixed.split(QLatin1Char('|'));
        if (!bottom.isEmpty()) {
            rest = QStringList{rest.front()} + bottom.split(QLatin1Char('|')) + rest.mid(1);
        }
        return lines + rest;
    };
    const Case cases[] = {
        {"everything off", {}, rows({})},
        {"every group",
         {true, true, true, true, true, true, true, true, true, true, true},
         rows(QStringLiteral(
                  "Copy IP Address [1001]|Local IPv4 (eth0): 10.0.0.5 [100001]|"
                  "Local IPv6 (eth0): fe80::1 [101000]|Local IPv6 (eth0): 2001:db8::5 "
                  "[101001]|"
                  "--- [0]|Alarms... [2001]|--- [0]|Take 5... [2002]|--- [0]|"
                  "04:40 PM, Oslo [-96]|12:40 AM, Tokyo [-96]|Add Location... [-96]|--- [0]|"
                  "Floating Clocks\u2026 [-87]"),
              QStringLiteral("Count Down... [-84]|Date Difference Calculator... [1010]|Global "
                             "Scheduler... [-83]|"
                             "Light/Dark Mode... [-1050]"))},
        {"world clocks only",
         {.world = true},
         rows(QStringLiteral(
             "04:40 PM, Oslo [-96]|12:40 AM, Tokyo [-96]|Add Location... [-96]|--- [0]"))},
        {"lower items only",
         {.dateDiff = true, .lightDark = true},
         rows({},
              QStringLiteral("Date Difference Calculator... [1010]|Light/Dark Mode... [-1050]"))},
        {"alarms and floating clocks",
         {.alarm = true, .floater = true},
         rows(QStringLiteral("Alarms... [2001]|--- [0]|Floating Clocks\u2026 [-87]"))},
    };
    // The clock stands at 15:40:30 UTC: 16:40 in Oslo, 00:40 the next day in Tokyo.
    for (const Case& c : cases) {
        apply(c.on);
        EXPECT_EQ(freshBuild(), c.expected) << c.name;
    }
}

TEST_F(shellTimeMenu, EveryGroupCodeAddsAndRemovesItsGroupWithoutDuplicates) {
    struct Case {
        qint32 code;
        bool Switches::*flag;
        const char* firstTitle;
    };
    const Case cases[] = {
        {TimeMenu::ExternalIP, &Switches::ip, "Copy IP Address"},
        {TimeMenu::IPv4Lines, &Switches::v4, "Local IPv4 (eth0): 10.0.0.5"},
        {TimeMenu::IPv6Lines, &Switches::v6, "Local IPv6 (eth0): fe80::1"},
        {TimeMenu::Alarms, &Switches::alarm, "Alarms..."},
        {TimeMenu::Take5, &Switches::take5, "Take 5..."},
        {TimeMenu::WorldClocks, &Switches::world, "Add Location..."},
        {TimeMenu::FloatingClocks, &Switches::floater, "Floating Clocks\u2026"},
        {TimeMenu::CountDown, &Switches::countDown, "Count Down..."},
        {TimeMenu::DateDifference, &Switches::dateDiff, "Date Difference Calculator..."},
        {TimeMenu::GlobalScheduler, &Switches::planner, "Global Scheduler..."},
        {TimeMenu::LightDark, &Switches::lightDark, "Light/Dark Mode..."},
    };
    for (const Case& c : cases) {
        Switches s;
        apply(s);
        Menus menus(*fixture.time, fixture.clock);
        menus.timeMenu->DrawTimeMenuItems();
        s.*c.flag = true;
        apply(s);
        for (int i = 0; i < 3; ++i) {
            menus.timeMenu->UpdateMenu(c.code);
        }
        EXPECT_EQ(menus.layout(), freshBuild()) << "code " << c.code << " on";
        EXPECT_EQ(menus.layout().filter(QString::fromUtf8(c.firstTitle)).size(), 1)
            << "code " << c.code;
        s.*c.flag = false;
        apply(s);
        menus.timeMenu->UpdateMenu(c.code);
        EXPECT_EQ(menus.layout(), freshBuild()) << "code " << c.code << " off";
    }
}

TEST_F(shellTimeMenu, AnyUpdateSequenceEqualsAFreshBuild) {
    QRandomGenerator random(20261209);
    bool Switches::*const flags[] = {&Switches::ip,      &Switches::v4,        &Switches::v6,
                                     &Switches::alarm,   &Switches::take5,     &Switches::world,
                                     &Switches::floater, &Switches::countDown, &Switches::dateDiff,
                                     &Switches::planner, &Switches::lightDark};
    const qint32 codes[] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11};
    for (int round = 0; round < 40; ++round) {
        Switches s;
        for (auto flag : flags) {
            s.*flag = random.bounded(2) == 1;
        }
        apply(s);
        Menus menus(*fixture.time, fixture.clock);
        menus.timeMenu->DrawTimeMenuItems();
        for (int step = 0; step < 25; ++step) {
            const int which = random.bounded(11);
            if (random.bounded(3) == 0) {
                // A code with no group (the internal-IP switch sends 111) only moves separators.
                menus.timeMenu->UpdateMenu(random.bounded(2) == 0 ? 111 : 7);
                continue;
            }
            s.*flags[which] = random.bounded(2) == 1;
            apply(s);
            menus.timeMenu->UpdateMenu(codes[which]);
        }
        ASSERT_EQ(menus.layout(), freshBuild()) << "round " << round;
    }
}

TEST_F(shellTimeMenu, TheAlarmGroupAnnouncesItselfAndAStandingItemIsKept) {
    int announcements = 0;
    platform::Observation observation = platform::NotificationCenter::defaultCenter().addObserver(
        keys::ZephyrelMainMenuWillAppear, QVariant(),
        [&](const platform::Notification&) { ++announcements; });
    apply({.alarm = true});
    Menus menus(*fixture.time, fixture.clock);
    auto alarmMenu = platform::Menu::create(QStringLiteral("alarms"));
    menus.timeMenu->addItem(alarmMenu);
    menus.timeMenu->DrawTimeMenuItems();
    EXPECT_EQ(announcements, 1);
    platform::MenuItem* item = menus.menu->itemWithTag(TimeMenu::kAlarmsTag);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->submenu(), alarmMenu);
    menus.timeMenu->UpdateMenu(TimeMenu::Alarms);
    EXPECT_EQ(announcements, 2);
    EXPECT_EQ(menus.menu->itemWithTag(TimeMenu::kAlarmsTag), item);
}

TEST_F(shellTimeMenu, ItemsWithoutAHandlerShowDisabledAndLowerItemsNeedTheAnchor) {
    apply({.countDown = true, .dateDiff = true});
    Menus menus(*fixture.time, fixture.clock);
    menus.timeMenu->DrawTimeMenuItems();
    EXPECT_TRUE(menus.menu->isItemShownEnabled(*menus.menu->itemWithTag(TimeMenu::kCountDownTag)));
    EXPECT_FALSE(
        menus.menu->isItemShownEnabled(*menus.menu->itemWithTag(TimeMenu::kDateDifferenceTag)));

    menus.menu->removeItemAtIndex(menus.menu->indexOfItemWithTag(TimeMenu::kAnchorTag));
    menus.menu->removeItemAtIndex(menus.menu->indexOfItemWithTag(TimeMenu::kCountDownTag));
    menus.timeMenu->UpdateMenu(TimeMenu::CountDown);
    menus.timeMenu->UpdateGlobalScheduler();
    EXPECT_EQ(menus.menu->indexOfItemWithTag(TimeMenu::kCountDownTag), -1);
}

TEST_F(shellTimeMenu, InterfaceLinesWithoutAddressesLeaveNoSeparator) {
    apply({.v4 = true});
    Menus menus(*fixture.time, fixture.clock);
    menus.ip.v4.clear();
    menus.timeMenu->DrawTimeMenuItems();
    menus.timeMenu->UpdateMenu(111);
    EXPECT_EQ(menus.menu->itemAtIndex(0)->tag(), TimeMenu::kAnchorTag)
        << "no separator above the anchor";
}

TEST_F(shellTimeMenu, TheExternalLineIsFetchedOnceWhileItStands) {
    apply({.ip = true});
    Menus menus(*fixture.time, fixture.clock);
    menus.timeMenu->DrawTimeMenuItems();
    for (qint32 code : {0, 111, 3, 4, 5}) {
        menus.timeMenu->UpdateMenu(code);
    }
    EXPECT_EQ(menus.ip.fetches, 1);
    EXPECT_EQ(menus.layout().filter(QStringLiteral("Copy IP Address")).size(), 1);
}

// The application's own time menu: its "Stopwatch..." shows the stopwatch and hides it again,
// as its hot key does.
class shellTimeMenuStopwatch : public ::testing::Test, protected test::ShellEnvironment {
  protected:
    shellTimeMenuStopwatch() : test::ShellEnvironment(Date::fromUnix(1719835198)) {}
    ~shellTimeMenuStopwatch() override { MyStopWatchObj::sharedPanel().reset(); }
};

TEST_F(shellTimeMenuStopwatch, StopwatchItemShowsAndHidesTheStopwatch) {
    AppDelegate delegate({.showPanel = false});
    platform::Menu& menu = *delegate.timeMenu();
    const int index = menu.indexOfItemWithTitle(QStringLiteral("Stopwatch..."));
    ASSERT_GE(index, 0);
    ASSERT_TRUE(menu.isItemShownEnabled(*menu.itemAtIndex(index)));
    menu.performActionForItemAtIndex(index);
    EXPECT_TRUE(MyStopWatchObj::sharedPanel().stopwatchShown());
    menu.performActionForItemAtIndex(index);
    EXPECT_FALSE(MyStopWatchObj::sharedPanel().stopwatchShown());
}

}  // namespace

}  // namespace talvor
