#pragma once

#include "Alarm.h"
#include "StatusView.h"

#include "platform/NotificationCenter.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace talvor {

namespace platform {
class Menu;
}

// What the alarm menu asks of the application above it.
class AlarmMenuHost {
  public:
    virtual ~AlarmMenuHost() = default;
    // Takes the alarm menu as the submenu of the time menu's "Alarms..." item.
    virtual void addItem(std::shared_ptr<platform::Menu> alarmMenu) = 0;
    // Opens the settings window, then the sidebar choice `tag` (22: creating an alarm).
    virtual void showPrefs() = 0;
    virtual void doOnMain(int tag) = 0;
};

// The delegate of every active alarm and the owner of the alarm item of the menu bar and of
// the alarm menu. This is its start-up form: it keeps the item's model up to date, marks a
// due alarm as ringing and lists the active alarms in its menu; sounds, speech, the snooze
// window and the menu's other commands join it later.
// Main thread only.
class AlarmMenuController : public AlarmDelegate {
  public:
    AlarmMenuController() = default;
    ~AlarmMenuController() override;
    AlarmMenuController(const AlarmMenuController&) = delete;
    AlarmMenuController& operator=(const AlarmMenuController&) = delete;

    // The shared controller, made on first use.
    static AlarmMenuController& mainMenuController();
    // Puts another controller in its place (not owned); nullptr makes a fresh one on next use.
    static void setMainMenuController(AlarmMenuController* controller);

    // Stops the flashing, then shows the nearest alarm of the shared alarm clock: its minute
    // and its minutes to go rounded up to a whole minute; angle 0 and no time without alarms.
    void updateStatusView();

    // Keeps the alarm as the last one that fired and rings it.
    void alarmTriggered(Alarm& alarm) override;
    // Marks the alarm ringing and flashes the item.
    void activateAlarm(Alarm& alarm);

    // Records the alarm editor the alarm menu talks to (none: forgets it).
    void setAlarmSetController(QObject* controller) { alarmSetController_ = controller; }
    QObject* alarmSetController() const { return alarmSetController_.data(); }

    // Hands the alarm menu to `host` and keeps it current on "ZephyrelMainMenuWillAppear" and
    // as it opens; nullptr lets go of the host (it is going away).
    void awakeFromNib(AlarmMenuHost* host);
    const std::shared_ptr<platform::Menu>& alarmMenu();
    // The menu's entries: "Active alarms:", one line per alarm of the shared alarm clock (its
    // due weekday and time, and its title) or "No Alarms", then "Create alarm...".
    void rebuildAlarmMenu();
    // Opens the settings window on creating an alarm.
    void editAlarm();

    StatusView& statusView() { return statusView_; }
    std::shared_ptr<Alarm> nextAlarm() const { return nextAlarm_; }

  private:
    StatusView statusView_;
    std::shared_ptr<Alarm> nextAlarm_;
    QPointer<QObject> alarmSetController_;
    AlarmMenuHost* host_ = nullptr;
    std::shared_ptr<platform::Menu> alarmMenu_;
    platform::Observation willAppear_;
    QMetaObject::Connection opening_;
};

}  // namespace talvor
