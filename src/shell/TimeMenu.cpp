#include "TimeMenu.h"

#include "WorldClockItems.h"
#include "alarms/AlarmsKeys.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "world/WorldKeys.h"

#include <algorithm>
#include <array>
#include <optional>

namespace talvor {

namespace {

using Group = TimeMenu::Group;

// Top to bottom; the anchor stands between the two lists.
constexpr std::array kUpperGroups{Group::ExternalIP,    Group::IPv4Lines, Group::IPv6Lines,
                                  Group::Alarms,        Group::Take5,     Group::WorldClocks,
                                  Group::FloatingClocks};
constexpr std::array kLowerGroups{Group::CountDown, Group::DateDifference, Group::GlobalScheduler,
                                  Group::LightDark};

// The groups of one item each, with the item's tag.
constexpr std::pair<Group, qint64> kItemTags[] = {
    {Group::Alarms, TimeMenu::kAlarmsTag},
    {Group::Take5, TimeMenu::kTake5Tag},
    {Group::FloatingClocks, TimeMenu::kFloatingClocksTag},
    {Group::CountDown, TimeMenu::kCountDownTag},
    {Group::DateDifference, TimeMenu::kDateDifferenceTag},
    {Group::GlobalScheduler, TimeMenu::kGlobalSchedulerTag},
    {Group::LightDark, TimeMenu::kLightDarkTag},
};

std::optional<Group> groupOfTag(qint64 tag) {
    if (tag == TimeMenu::kExternalIPTag) {
        return Group::ExternalIP;
    }
    if (tag >= TimeMenu::kFirstIPv4Tag && tag < TimeMenu::kFirstIPv6Tag) {
        return Group::IPv4Lines;
    }
    if (tag >= TimeMenu::kFirstIPv6Tag && tag < TimeMenu::kFirstIPv6Tag + 1000) {
        return Group::IPv6Lines;
    }
    if (tag == TimeMenu::kWorldClockTag) {
        return Group::WorldClocks;
    }
    for (const auto& [group, itemTag] : kItemTags) {
        if (itemTag == tag) {
            return group;
        }
    }
    return std::nullopt;
}

template <size_t N>
int rankIn(const std::array<Group, N>& groups, Group group) {
    const auto it = std::find(groups.begin(), groups.end(), group);
    return it == groups.end() ? -1 : static_cast<int>(it - groups.begin());
}

bool isIPGroup(Group group) {
    return group == Group::ExternalIP || group == Group::IPv4Lines || group == Group::IPv6Lines;
}

void removeTagged(platform::Menu& menu, qint64 tag) {
    for (int index = menu.indexOfItemWithTag(tag); index >= 0;
         index = menu.indexOfItemWithTag(tag)) {
        menu.removeItemAtIndex(index);
    }
}

// An item without a command has no action, so the menu shows it disabled.
std::shared_ptr<platform::MenuItem> makeItem(const QString& title,
                                             const std::function<void()>& action, qint64 tag,
                                             const QString& keyEquivalent = QString()) {
    platform::MenuAction menuAction;
    if (action) {
        menuAction = [action](platform::MenuItem&) { action(); };
    }
    auto item = platform::MenuItem::create(title, std::move(menuAction), keyEquivalent);
    item->setTag(tag);
    return item;
}

}  // namespace

TimeMenu::TimeMenu(platform::Menu& menu, TalvorTimeSettings& settings, WorldClockItems& worldClocks,
                   TimeMenuIpLines* ipLines, Actions actions)
    : menu_(menu),
      settings_(settings),
      worldClocks_(worldClocks),
      ipLines_(ipLines),
      actions_(std::move(actions)) {}

TimeMenu::~TimeMenu() = default;

void TimeMenu::addFixedItems(platform::Menu& menu, const FixedActions& actions) {
    menu.addItem(makeItem(QStringLiteral("Preferences..."), actions.preferences, kAnchorTag,
                          QStringLiteral(",")));
    // The groups below go between the anchor and this: it closes the feature items.
    menu.addItem(makeItem(QStringLiteral("Stopwatch..."), actions.stopwatch, kStopWatchTag));
    auto separator = platform::MenuItem::separatorItem();
    separator->setTag(kQuitSeparatorTag);
    menu.addItem(separator);
    menu.addItem(makeItem(QStringLiteral("Help/Manual..."), actions.help, kHelpTag));
    menu.addItem(
        makeItem(QStringLiteral("Quit Talvor"), actions.quit, kQuitTag, QStringLiteral("q")));
}

void TimeMenu::insert(std::shared_ptr<platform::MenuItem> item, int index) {
    if (index >= 0) {
        menu_.insertItem(std::move(item), std::min(index, menu_.numberOfItems()));
    }
}

// Right after the last line of the groups above `group` in its part of the menu; -1 when
// the group belongs below a missing anchor.
int TimeMenu::insertionIndex(Group group) const {
    const int upperRank = rankIn(kUpperGroups, group);
    int start = 0;
    if (upperRank < 0) {
        start = menu_.indexOfItemWithTag(kAnchorTag);
        if (start < 0) {
            return -1;
        }
        ++start;
    }
    int index = start;
    for (int i = start; i < menu_.numberOfItems(); ++i) {
        const std::optional<Group> other = groupOfTag(menu_.itemAtIndex(i)->tag());
        if (!other) {
            continue;
        }
        const bool before =
            upperRank >= 0
                ? rankIn(kUpperGroups, *other) >= 0 && rankIn(kUpperGroups, *other) < upperRank
                : rankIn(kLowerGroups, *other) >= 0 &&
                      rankIn(kLowerGroups, *other) < rankIn(kLowerGroups, group);
        if (before) {
            index = i + 1;
        }
    }
    return index;
}

void TimeMenu::removeGroup(Group group) {
    switch (group) {
        case Group::ExternalIP:
            if (ipLines_) {
                ipLines_->removeExternalLine();
            }
            removeTagged(menu_, kExternalIPTag);
            return;
        case Group::IPv4Lines:
        case Group::IPv6Lines:
            if (ipLines_) {
                ipLines_->removeInterfaceLines(group == Group::IPv4Lines
                                                   ? TimeMenuIpLines::Family::IPv4
                                                   : TimeMenuIpLines::Family::IPv6);
            }
            return;
        case Group::WorldClocks:
            worldClocks_.RemoveLocMenuItems();
            return;
        default:
            for (const auto& [itemGroup, tag] : kItemTags) {
                if (itemGroup == group) {
                    removeTagged(menu_, tag);
                }
            }
    }
}

void TimeMenu::updateGroup(Group group) {
    switch (group) {
        case Group::ExternalIP:
            // A line already there keeps its address; a second line would start a second fetch.
            if (!settings_.showIP) {
                removeGroup(group);
            } else if (menu_.indexOfItemWithTag(kExternalIPTag) < 0 && ipLines_) {
                ipLines_->insertExternalLine(insertionIndex(group));
            }
            return;
        case Group::IPv4Lines:
        case Group::IPv6Lines: {
            removeGroup(group);
            const bool v4 = group == Group::IPv4Lines;
            if ((v4 ? settings_.showIPV4IP : settings_.showIPV6IP) && ipLines_) {
                ipLines_->insertInterfaceLines(
                    v4 ? TimeMenuIpLines::Family::IPv4 : TimeMenuIpLines::Family::IPv6,
                    insertionIndex(group));
            }
            return;
        }
        case Group::Alarms:
            if (!settings_.showAlarm) {
                removeGroup(group);
                return;
            }
            if (menu_.indexOfItemWithTag(kAlarmsTag) < 0) {
                auto item = makeItem(QStringLiteral("Alarms..."), {}, kAlarmsTag);
                if (ourMenu_) {
                    item->setSubmenu(ourMenu_);
                }
                insert(item, insertionIndex(group));
            }
            platform::NotificationCenter::defaultCenter().post(keys::ZephyrelMainMenuWillAppear);
            return;
        case Group::Take5: {
            removeGroup(group);
            if (!settings_.showTake5) {
                return;
            }
            auto item = makeItem(QStringLiteral("Take 5..."), {}, kTake5Tag);
            auto submenu = platform::Menu::create();
            submenu->addItem(isStop ? makeItem(QStringLiteral("Start"), actions_.enableTake5, 0)
                                    : makeItem(QStringLiteral("Stop"), actions_.disableTake5, 0));
            submenu->addItem(
                makeItem(QStringLiteral("Preferences..."), actions_.showTake5Prefrences, 0));
            item->setSubmenu(submenu);
            insert(item, insertionIndex(group));
            return;
        }
        case Group::WorldClocks:
            if (settings_.showLoctionNames) {
                worldClocks_.updateLocationMenuItems(insertionIndex(group));
            } else {
                worldClocks_.RemoveLocMenuItems();
            }
            return;
        case Group::FloatingClocks: {
            removeGroup(group);
            const platform::UserDefaults& defaults = platform::UserDefaults::standard();
            if (!defaults.boolForKey(keys::Floater)) {
                return;
            }
            auto item = makeItem(QStringLiteral("Floating Clocks\u2026"), actions_.showFloating,
                                 kFloatingClocksTag);
            if (defaults.boolForKey(keys::FloaterState)) {
                item->setState(platform::ControlState::On);
                IsShowFloatingClock = true;
            }
            insert(item, insertionIndex(group));
            return;
        }
        case Group::CountDown:
        case Group::DateDifference:
        case Group::GlobalScheduler:
        case Group::LightDark:
            break;
    }

    removeGroup(group);
    std::shared_ptr<platform::MenuItem> item;
    if (group == Group::CountDown && settings_.showCountDown) {
        item =
            makeItem(QStringLiteral("Count Down..."), actions_.showCountDownTimer, kCountDownTag);
    } else if (group == Group::DateDifference && settings_.showDateDiffereneCalc) {
        item = makeItem(QStringLiteral("Date Difference Calculator..."),
                        actions_.showDateDifferenceCalculator, kDateDifferenceTag);
    } else if (group == Group::GlobalScheduler && settings_.showGlobalScheduler) {
        item = makeItem(QStringLiteral("Global Scheduler..."), actions_.showGlobalScheduler,
                        kGlobalSchedulerTag);
    } else if (group == Group::LightDark && settings_.showLightDarkMode) {
        item = makeItem(QStringLiteral("Light/Dark Mode..."), {}, kLightDarkTag);
        auto submenu = platform::Menu::create();
        submenu->addItem(makeItem(QStringLiteral("Switch"), actions_.switchLighDarkMode, 0));
        submenu->addItem(
            makeItem(QStringLiteral("Preferences..."), actions_.showLightDarkModePrefrences, 0));
        item->setSubmenu(submenu);
    }
    // Without the anchor there is no place for the lower items.
    if (item) {
        insert(item, insertionIndex(group));
    }
}

void TimeMenu::DrawTimeMenuItems() {
    removeTagged(menu_, 0);
    for (Group group : kUpperGroups) {
        updateGroup(group);
    }
    for (Group group : kLowerGroups) {
        updateGroup(group);
    }
    addMenuSeperator();
}

void TimeMenu::UpdateMenu(qint32 code) {
    removeTagged(menu_, 0);
    const auto group = static_cast<Group>(code);
    // Only an update asks for the table again; the first build shows the list loaded at start.
    if (group == Group::WorldClocks && actions_.reloadLocations) {
        actions_.reloadLocations();
    }
    if (rankIn(kUpperGroups, group) >= 0 || rankIn(kLowerGroups, group) >= 0) {
        updateGroup(group);
    }
    addMenuSeperator();
}

// A separator under the IP lines, under "Alarms...", under "Take 5..." and under
// "Add Location...", each only when its group has lines.
void TimeMenu::addMenuSeperator() {
    removeTagged(menu_, 0);
    std::vector<int> after;
    std::optional<Group> previous;
    for (int i = 0; i < menu_.numberOfItems(); ++i) {
        const std::optional<Group> group = groupOfTag(menu_.itemAtIndex(i)->tag());
        const bool separated = group && (isIPGroup(*group) || *group == Group::Alarms ||
                                         *group == Group::Take5 || *group == Group::WorldClocks);
        const bool sameSection =
            previous && group && (isIPGroup(*previous) ? isIPGroup(*group) : *previous == *group);
        if (previous && !sameSection) {
            after.push_back(i);
        }
        previous = separated ? group : std::nullopt;
    }
    if (previous) {
        after.push_back(menu_.numberOfItems());
    }
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
        menu_.insertItem(platform::MenuItem::separatorItem(), *it);
    }
}

void TimeMenu::addItem(std::shared_ptr<platform::Menu> alarmMenu) {
    ourMenu_ = std::move(alarmMenu);
    if (platform::MenuItem* item = menu_.itemWithTag(kAlarmsTag)) {
        item->setSubmenu(ourMenu_);
    }
}

void TimeMenu::UpdateAlarm() {
    removeGroup(Group::Alarms);
    UpdateMenu(Group::Alarms);
}

void TimeMenu::UpdateDateDiffCalculator() {
    updateGroup(Group::DateDifference);
}

void TimeMenu::UpdateCountDownTimer() {
    updateGroup(Group::CountDown);
}

void TimeMenu::UpdateGlobalScheduler() {
    updateGroup(Group::GlobalScheduler);
}

}  // namespace talvor
