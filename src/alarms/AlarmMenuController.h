#pragma once

#include "Alarm.h"
#include "AlarmEditor.h"
#include "AlarmSetPreController.h"
#include "SnoozeWindowController.h"
#include "StatusView.h"
#include "TextSpeaker.h"
#include "UserNotificationCenter.h"

#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "services/SoundRepeat.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace platform {
class Menu;
class SoundPlayer;
class StatusItem;
}  // namespace platform

// What the alarm menu asks of the application above it.
class AlarmMenuHost {
  public:
    virtual ~AlarmMenuHost() = default;
    // Takes the alarm menu as the submenu of the time menu's "Alarms..." item.
    virtual void addItem(std::shared_ptr<platform::Menu> alarmMenu) = 0;
    // Opens the settings window on the alarm editor's page ("Create Alarm"), which makes
    // the page the alarm menu's editor (`setAlarmSetController`).
    virtual void showAlarmEditor() = 0;
};

// The delegate of every active alarm, the owner of the alarm item of the menu bar and of
// the alarm menu. A due alarm rings here: its own snooze window under the alarm item, its
// sound or its spoken title followed by its sound, and the item flashing; snooze and clear
// move it on. Several alarms may ring at once, each with its own window. Main thread only.
class AlarmMenuController : public AlarmDelegate,
                            public SnoozeWindowControllerDelegate,
                            public TextSpeakerDelegate,
                            public StatusViewMenuDelegate,
                            public AlarmSetPreControllerDelegate,
                            public AlarmSetControllerDelegate {
  public:
    // The quick alarms of "Timer...", in minutes.
    static constexpr int32_t kQuickMinutes[] = {1, 2, 3, 4, 5, 10, 15, 20, 30, 45};

    AlarmMenuController();
    ~AlarmMenuController() override;
    AlarmMenuController(const AlarmMenuController&) = delete;
    AlarmMenuController& operator=(const AlarmMenuController&) = delete;

    // The shared controller, made on first use.
    static AlarmMenuController& mainMenuController();
    // Puts another controller in its place (not owned); nullptr makes a fresh one on next use.
    static void setMainMenuController(AlarmMenuController* controller);

    // Hands the alarm menu to `host`, puts the alarm item into the system status bar and
    // keeps both current; nullptr lets go of the host and takes the item out of the bar.
    void awakeFromNib(AlarmMenuHost* host);

    // Stops the flashing, then shows the nearest alarm of the shared alarm clock: its minute
    // and its minutes to go rounded up to a whole minute; angle 0 and no time without alarms.
    // The item takes room only while there are alarms.
    void updateStatusView();

    // Firing.
    void alarmTriggered(Alarm& alarm) override;
    // Opens the alarm's snooze window, marks it ringing, speaks its title (the sound follows)
    // or sounds it, flashes the item and shows it as a desktop notification.
    void activateAlarm(Alarm& alarm);
    // Not ringing any more; its sound, if it is the one playing, stops.
    void deactivateAlarm(Alarm& alarm);
    // A system sound three times; any other file once, faded in over 20 s when asked; nothing
    // for an alarm without sound.
    void soundAlarm(Alarm& alarm);
    // Becomes the alarm's delegate and puts it at the head of the clock's list.
    void scheduleAlarm(const std::shared_ptr<Alarm>& alarm);
    // After a clear: an every-day date alarm moves to its next day, a repeating relative one
    // starts its next interval where the last one ended, a weekday alarm moves to its next
    // weekday (today's day dropped unless it is kept forever); any other is removed.
    void unscheduleAlarm(Alarm& alarm);
    void removeAlarm(Alarm& alarm);

    // The editor's result: replaces `editingOne` (a weekday alarm first takes its due time as
    // run time), or is put at the head of the list.
    void acceptedAlarm(const std::shared_ptr<Alarm>& alarm, const Alarm* editingOne = nullptr);
    void acceptedPreAlarm(AlarmSetPreController& controller,
                          const std::shared_ptr<Alarm>& alarm) override;
    // The editor's result, replacing the alarm it edited.
    void acceptedAlarm(AlarmEditor& controller, const std::shared_ptr<Alarm>& alarm) override;

    // The alarm menu's commands.
    void clearFromMenu(const std::shared_ptr<Alarm>& alarm);
    void saveFromMenu(const std::shared_ptr<Alarm>& alarm);
    void deleteFromMenu(const std::shared_ptr<Alarm>& saved);
    // Activates a saved alarm.
    void setAlarm(const std::shared_ptr<Alarm>& saved);
    // Opens the settings window on the alarm page; the editor shows `alarm` (none: a new one).
    void editAlarm(const std::shared_ptr<Alarm>& alarm = nullptr);
    void createAlarm() { editAlarm(nullptr); }
    void createPreAlarm(int32_t minutes);
    void createAlarm1m() { createPreAlarm(1); }
    void createAlarm2m() { createPreAlarm(2); }
    void createAlarm3m() { createPreAlarm(3); }
    void createAlarm4m() { createPreAlarm(4); }
    void createAlarm5m() { createPreAlarm(5); }
    void createAlarm10m() { createPreAlarm(10); }
    void createAlarm15m() { createPreAlarm(15); }
    void createAlarm20m() { createPreAlarm(20); }
    void createAlarm30m() { createPreAlarm(30); }
    void createAlarm45m() { createPreAlarm(45); }

    // The snooze windows: snooze adds the alarm's snooze minutes; clear moves it on.
    void snoozeWindowDidSnooze(SnoozeWindowController& controller) override;
    void snoozeWindowDidClear(SnoozeWindowController& controller) override;
    SnoozeWindowController* snoozeWindowFor(const Alarm* alarm) const;
    std::size_t openSnoozeWindowCount() const;

    // The spoken title ended: the alarm's sound follows while it still rings.
    void textSpeakerFinishedSpeakingText(TextSpeaker& speaker) override;
    // The item's menu was opened: the open snooze windows come to the front.
    void menuClicked() override;

    // The alarm menu: "Active alarms:" and the active alarms (each with "Edit...", "Clear"
    // and, but for a quick alarm, "Save"), "Create alarm...", "Inactive alarms:" and the
    // saved alarms, "Timer..." with the quick alarms. Rebuilt only while alarms are shown in
    // the time settings.
    const std::shared_ptr<platform::Menu>& alarmMenu();
    // The active alarms only, opened by the alarm item.
    const std::shared_ptr<platform::Menu>& activeAlarmMenu() { return activeAlarmMenu_; }
    void rebuildAlarmMenu();

    // Records the alarm editor the alarm menu talks to (none: forgets it), becomes its
    // delegate and has it show an empty form.
    void setAlarmSetController(AlarmEditor* controller);
    AlarmEditor* alarmSetController() const { return alarmSetController_.get(); }
    // The alarm the editor was last asked to show.
    const std::shared_ptr<Alarm>& editingAlarm() const { return editingAlarm_; }

    // Tests: which sound paths count as system sounds (default: the sound library's rings).
    void setIsSystemSound(std::function<bool(const QString&)> test) {
        isSystemSound_ = std::move(test);
    }

    // How a ringing alarm is also shown on the desktop (default: the notification service).
    void setNotifier(std::function<void(const UserNotification&)> notifier) {
        notifier_ = std::move(notifier);
    }

    StatusView& statusView() { return *statusView_; }
    const std::shared_ptr<platform::StatusItem>& statusItem() const { return statusItem_; }
    std::shared_ptr<Alarm> nextAlarm() const { return nextAlarm_; }

  private:
    struct Ringing {
        std::shared_ptr<Alarm> alarm;
        std::unique_ptr<SnoozeWindowController> window;
        std::unique_ptr<TextSpeaker> speaker;
    };
    void buildWorkingAlarms(platform::Menu& menu);
    void buildSettableAlarms(platform::Menu& menu);
    void buildPredefinedAlarms(platform::Menu& menu);
    std::shared_ptr<platform::MenuItem> activeAlarmItem(const std::shared_ptr<Alarm>& alarm);
    // Every change of the list: the menus rebuild, the item follows.
    void alarmsChanged();
    // The item between rings: shown while alarms exist, its wedge and its count-down text.
    void refreshStatusItem();
    // Closes and forgets the alarm's window; the flashing stops with the last ringing alarm.
    void endRinging(const Alarm* alarm);
    void stopPlayingSound();

    std::shared_ptr<StatusView> statusView_;
    std::shared_ptr<platform::StatusItem> statusItem_;
    std::shared_ptr<Alarm> nextAlarm_;
    std::shared_ptr<Alarm> editingAlarm_;
    std::vector<Ringing> ringing_;
    std::shared_ptr<platform::SoundPlayer> playingSound_;
    Repeat::Handle playingRepeat_;
    const Alarm* playingAlarm_ = nullptr;
    std::function<bool(const QString&)> isSystemSound_;
    std::function<void(const UserNotification&)> notifier_;
    AlarmEditor::Watch alarmSetController_;
    AlarmMenuHost* host_ = nullptr;
    std::shared_ptr<platform::Menu> alarmMenu_;
    std::shared_ptr<platform::Menu> activeAlarmMenu_;
    AlarmList savedAlarms_;
    platform::Observation willAppear_;
    platform::TimerHandle refreshTimer_;
    QMetaObject::Connection opening_;
};

}  // namespace talvor
