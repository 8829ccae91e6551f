#pragma once

#include "Alarm.h"
#include "StatusView.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace talvor {

// The delegate of every active alarm and the owner of the alarm item of the menu bar. This
// is its start-up form: it keeps the item's model up to date and marks a due alarm as
// ringing; sounds, speech, the snooze window and the alarm menu join it later.
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

    StatusView& statusView() { return statusView_; }
    std::shared_ptr<Alarm> nextAlarm() const { return nextAlarm_; }

private:
    StatusView statusView_;
    std::shared_ptr<Alarm> nextAlarm_;
    QPointer<QObject> alarmSetController_;
};

}  // namespace talvor
