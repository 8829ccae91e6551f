#pragma once

#include "BoardingScreen.h"
#include "MoonDisplay.h"
#include "ShellParts.h"
#include "TimeDateText.h"
#include "alarms/AlarmMenuController.h"
#include "alarms/ChimeCatchUp.h"
#include "calendarui/ztCalendarController.h"
#include "platform/DesktopPanel.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace talvor {

class AudioStorageController;
class ReminderFeed;
class HotKey;
class TalvorFloatingClockCtrl;
class ApplicationsMenu;
class SunInfoWindowController;
namespace platform {
class Clock;
class StatusBarPanel;
}  // namespace platform

// The application delegate: start-up, the one-second tick and shut-down, and the commands
// the menus and panes call back. Its parts are made and wired by ShellParts.
class AppDelegate : public QObject,
                    public StatusItemsDelegate,
                    public SettingsWindowHostDelegate,
                    public ztCalendarMenuExtra,
                    public AlarmMenuHost {
    Q_OBJECT
  public:
    struct Options {
        bool showPanel = true;  // false in tests: the items are drawn offscreen
        // How the application quits; empty: the application's terminate().
        std::function<void()> terminate = {};
        // Started by the login item: the count-downs due at login are shown.
        bool startedAtLogin = false;
        // Offers to move the program, then calls `keepRunning` unless the process is to
        // end; empty: PFMoveToApplicationsFolderIfNecessary.
        std::function<void(std::function<void()> keepRunning)> offerMove = {};
        // Calls `goOn` once the strip's first frame is drawn: the start-up's steps that
        // nothing on the strip needs wait for it. Empty: the panel's first paint (at the
        // latest after kFirstFramePatienceMs), or at once without a panel.
        std::function<void(std::function<void()> goOn)> afterFirstFrame = {};
    };
    static constexpr int kFirstFramePatienceMs = 1000;

    AppDelegate();
    explicit AppDelegate(Options options);
    ~AppDelegate() override;

    // Starts up as far as the move offer; the rest follows once the offer is answered, and
    // what the strip does not need once the strip's first frame is drawn.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Every step of the start-up has run, those behind the strip too (see launchFinished).
    bool hasFinishedLaunching() const { return launchFinished_; }

  signals:
    // The start-up's last step behind the strip has run.
    void launchFinished();

  public:
    // The one-second tick.
    void updateTimeDate() override;
    void stopTimer();

    // Forces the tick's full update (zone change, wake, session, date settings).
    void TimeZoneChanged();
    void resume();

    // AlarmMenuHost: the alarms' submenu goes into the time menu.
    void addItem(std::shared_ptr<platform::Menu> alarmMenu) override {
        parts_.timeMenuItems->addItem(std::move(alarmMenu));
    }
    // The location table changed: the floating clocks and the affected groups follow it.
    void LocationChangeNotification();
    // The time menu's feature items and world-clock lines.
    TimeMenu& timeMenuItems() { return *parts_.timeMenuItems; }
    WorldClockItems& worldClocks() { return *parts_.worldClocks; }

    // The floating clocks: the settings changed (`notification` set) or were loaded.
    void LoadFloatingOptions(const platform::Notification* notification);
    // "Floating Clocks…": shows or hides the clocks.
    void showFloating();
    // The floating clocks pane turned them on (or off): the time menu's item follows and
    // the clocks are rebuilt by the pane's announcement.
    void setShowFloating(bool show);
    TalvorFloatingClockCtrl* floatingClocks() { return floatingClockCtrl_.get(); }
    // The General pane's choice (stored already): the items move to the strip, or to the
    // desktop's panel where one shows them (else they stay on the strip, said once).
    void setStatusItemsPlace(platform::StatusItemsPlace place);
    // The items' presenter in the desktop's panel, or nullptr while the strip shows them.
    QObject* desktopPanelItems() const { return panelItems_.get(); }

    // "Edit Locations..." and "Add Location...": the settings window with the locations.
    void actEditLocationSelection();
    // "Sunset/Sunrise..." of a world-clock line: the sun window for the city, made once.
    void actSunriseSunsetMenuItemSelection(const QString& city);
    SunInfoWindowController* sunInfoWindow() { return sunInfo_.get(); }
    BreakTimer& breakTimer() { return *parts_.breakTimer; }

    // Appearance and help commands of the menus.
    void switchLighDarkMode();
    void showHelp();
    void quit();

    void hotKeyDown(HotKey& hotKey);
    void hotKeyUp(HotKey& hotKey);

    // The stopwatch window: visible?, shown or hidden (its shortcut), shown with its options.
    bool stopwatchShown() const;
    void orderStopWatch();
    // The desktop's location settings, after the light/dark pane's "location denied" alert.
    void openLocationSystemPrefrences();
    void PrefsStopWatch();

    // StatusItemsDelegate.
    std::shared_ptr<platform::Menu> timeMenu() override { return parts_.timeMenu; }
    void setLastDay(qint64 day) override { lastDay = day; }
    void setupASMMenu() override;
    void moonUpdate() override;
    void showCal() override { parts_.calendars->showCal(); }
    QString timeItemText(Date now) override;
    QString dateItemText(Date now) override;
    void updateOtherItems() override { parts_.calendars->updateMinnowItem(); }

    // SettingsWindowHostDelegate.
    void SetAlarmPrefSetControllerDelegate(AlarmEditor* alarmSetController) override;
    QWidget* minnowCalendarWindow() override;

    // ztCalendarMenuExtra: what the big calendar shows of the moon.
    QImage mooonImage(Date date) override;
    QString addNextMoons(const std::optional<QString>& prefix, Date onDate) override;
    void showMenubarCalendarPrefs() override { parts_.settings->showMenubarCalendarPrefs(); }

    // The applications item: its taskbar presence from the settings, made when needed.
    void UpdateAppDockIcon();
    ApplicationsMenu* applicationsMenu() { return parts_.applications.get(); }
    IpAddressItems& ipAddresses() { return *parts_.ip; }
    CalendarWindows& calendars() { return *parts_.calendars; }
    DueCountDowns& dueCountDowns() { return *parts_.dueCountDowns; }
    // Through the desktop (the shared workspace); a failure is one log line.
    void openURL(const QUrl& url) override;

    // The settings window and the onboarding window.
    SettingsWindowHost& settingsWindow() { return *parts_.settings; }
    void showPrefs() { parts_.settings->showPrefs(); }
    void doOnMain(PaneTag tag) { parts_.settings->doOnMain(tag); }
    // AlarmMenuHost: the settings window, then its "Create Alarm" choice.
    void showAlarmEditor() override {
        showPrefs();
        doOnMain(PaneTag::createAlarm);
    }
    BoardingScreen& boarding() { return boarding_; }

    StatusItemsController& statusItems() { return *parts_.items; }
    // The sound library made at launch (the process's shared one while it lives); null
    // before.
    AudioStorageController* soundLibrary() { return soundLibrary_.get(); }
    // The minutes whose chimes the last ticks asked for, latest last.
    const std::vector<Date>& chimedMinutes() const { return chimedMinutes_; }
    qint64 lastDay = -1;
    double extraHeight = 0;

  private:
    void bindStopWatchHotKey();
    void stopWatchHotKeyDown(HotKey& hotKey);
    // The start-up after the move offer, as far as the strip.
    void continueLaunching();
    void afterFirstFrame(std::function<void()> goOn);
    // The strip, or the desktop's panel when `inPanel` and it can; start-up goes on behind.
    void showStatusItems(bool inPanel);
    // True when the desktop's panel shows the items now.
    bool presentInPanel();
    // The start-up once the strip is drawn.
    void launchBehindTheStrip();
    void observeShutdown();
    bool quitRequested() const;
    MoonDisplay& moon();
    void scheduleTick();
    // Chimes the minutes the catch-up policy gives for this tick.
    void strikeChimes(Date now);
    void registerObservers();
    void repairColours();
    void repairDatePattern();

    Options options_;
    platform::Clock& clock_;
    // Made first and gone last: everything below may call on the parts.
    ShellParts parts_;
    std::unique_ptr<platform::StatusBarPanel> panel_;
    std::unique_ptr<QObject> panelItems_;
    std::unique_ptr<SunInfoWindowController> sunInfo_;
    bool quitRequested_ = false;
    // The strip's first frame is drawn and start-up went on behind it.
    bool stripDrawn_ = false;
    bool launchFinished_ = false;
    BoardingScreen boarding_;
    std::unique_ptr<TalvorFloatingClockCtrl> floatingClockCtrl_;
    platform::TimerHandle updateTimer_;
    TimeDateText texts_;
    ChimeCatchUp chimeCatchUp_;
    std::vector<Date> chimedMinutes_;
    std::vector<platform::Observation> observations_;
    // Made at launch, or at the first refresh when the delegate runs without a launch.
    std::unique_ptr<MoonDisplay> moon_;
    std::unique_ptr<AudioStorageController> soundLibrary_;
    // The calendar events' reminders, from the strip's first frame on.
    std::shared_ptr<ReminderFeed> reminderFeed_;
};

}  // namespace talvor
