#pragma once

#include "platform/NetworkInterfaces.h"

#include <QString>

#include <functional>
#include <memory>

namespace talvor {

namespace platform {
class Menu;
class MenuItem;
}  // namespace platform
class TalvorTimeSettings;
class WorldClockItems;

// The IP-address lines, as the time menu places them.
class TimeMenuIpLines {
  public:
    using Family = platform::AddressFamily;
    virtual ~TimeMenuIpLines() = default;
    // Inserts the external-address line at `index` and starts a fetch of the address;
    // returns how many lines it inserted.
    virtual int insertExternalLine(int index) = 0;
    virtual void removeExternalLine() = 0;
    // Inserts one line per interface address of `family` from `index`; returns how many.
    virtual int insertInterfaceLines(Family family, int index) = 0;
    virtual void removeInterfaceLines(Family family) = 0;
};

// The feature items of the time menu, in groups above and below the fixed anchor item, with
// separators after the top groups. Every group update first takes out what the group has,
// so any sequence of updates leaves the menu a fresh build would make. Main thread only.
class TimeMenu {
  public:
    // Group codes of UpdateMenu.
    enum Group : qint32 {
        ExternalIP = 0,
        IPv4Lines = 1,
        IPv6Lines = 2,
        Alarms = 3,
        Take5 = 4,
        WorldClocks = 5,
        FloatingClocks = 6,
        CountDown = 8,
        DateDifference = 9,
        GlobalScheduler = 10,
        LightDark = 11,
    };

    // Tags of the items.
    static constexpr qint64 kExternalIPTag = 1001;
    static constexpr qint64 kFirstIPv4Tag = 100001;
    static constexpr qint64 kFirstIPv6Tag = 101000;
    static constexpr qint64 kAlarmsTag = 2001;
    static constexpr qint64 kTake5Tag = 2002;
    static constexpr qint64 kWorldClockTag = -96;
    static constexpr qint64 kFloatingClocksTag = -87;
    static constexpr qint64 kAnchorTag = -85;
    static constexpr qint64 kCountDownTag = -84;
    static constexpr qint64 kDateDifferenceTag = 1010;
    static constexpr qint64 kGlobalSchedulerTag = -83;
    static constexpr qint64 kLightDarkTag = -1050;
    // Fixed items.
    static constexpr qint64 kHelpTag = -86;
    static constexpr qint64 kQuitSeparatorTag = -88;
    static constexpr qint64 kQuitTag = -89;
    static constexpr qint64 kStopWatchTag = -90;

    // What the items do; an empty one leaves its item without action, so it shows disabled.
    struct Actions {
        std::function<void()> showFloating;
        std::function<void()> showCountDownTimer;
        std::function<void()> showDateDifferenceCalculator;
        std::function<void()> showGlobalScheduler;
        std::function<void()> enableTake5;
        std::function<void()> disableTake5;
        std::function<void()> showTake5Prefrences;
        std::function<void()> switchLighDarkMode;
        std::function<void()> showLightDarkModePrefrences;
        // Reloads the location list before an update rebuilds the world-clock lines.
        std::function<void()> reloadLocations;
    };

    // None is owned; all must outlive the object. Without `ipLines` the IP groups stay empty.
    TimeMenu(platform::Menu& menu, TalvorTimeSettings& settings, WorldClockItems& worldClocks,
             TimeMenuIpLines* ipLines, Actions actions);
    ~TimeMenu();
    TimeMenu(const TimeMenu&) = delete;
    TimeMenu& operator=(const TimeMenu&) = delete;

    struct FixedActions {
        std::function<void()> preferences;
        std::function<void()> help;
        std::function<void()> quit;
        std::function<void()> stopwatch;
    };
    // The fixed items: "Preferences..." (the anchor of the groups around it), "Stopwatch..."
    // (after the groups below the anchor), "Help/Manual..." and "Quit Talvor".
    static void addFixedItems(platform::Menu& menu, const FixedActions& actions);

    void setIpLines(TimeMenuIpLines* ipLines) { ipLines_ = ipLines; }

    // The first build of every group.
    void DrawTimeMenuItems();
    // Brings one group in line with its setting and re-places the separators; any other code
    // only re-places the separators.
    void UpdateMenu(qint32 code);
    void addMenuSeperator();
    // The "Alarms..." submenu, handed over by the alarm menu.
    void addItem(std::shared_ptr<platform::Menu> alarmMenu);
    void UpdateAlarm();
    void UpdateDateDiffCalculator();
    void UpdateCountDownTimer();
    void UpdateGlobalScheduler();

    // The break timer is stopped: its submenu offers "Start" instead of "Stop".
    bool isStop = false;
    // The floating-clocks item carries its check mark.
    bool IsShowFloatingClock = false;

  private:
    void updateGroup(Group group);
    void removeGroup(Group group);
    int insertionIndex(Group group) const;
    void insert(std::shared_ptr<platform::MenuItem> item, int index);

    platform::Menu& menu_;
    TalvorTimeSettings& settings_;
    WorldClockItems& worldClocks_;
    TimeMenuIpLines* ipLines_;
    Actions actions_;
    std::shared_ptr<platform::Menu> ourMenu_;
};

}  // namespace talvor
