#pragma once

#include "CalEvent.h"
#include "CalendarBackEnd.h"
#include "foundation/TimedEvent.h"
#include "platform/Date.h"
#include "platform/NotificationCenter.h"

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
class UserDefaults;
}  // namespace platform

struct UserNotification;

// One alert of a calendar event at a chosen moment: it waits on the minute scheduler and,
// when due, posts a user notification ("Minnow", the event's title, "Begins on ... at ...").
class Reminder : public std::enable_shared_from_this<Reminder> {
  public:
    // Alert kinds: the first two post a notification; the others give no alert here.
    enum Type : uint32_t { None = 0, Display = 1, Sound = 2, Email = 3 };
    // Shows a notification now; the default one uses the desktop's notification service.
    using Poster = std::function<void(const UserNotification&)>;
    static void setPoster(Poster poster);  // empty: the default

    static std::shared_ptr<Reminder> reminderForEvent(CalEventPtr event, uint32_t type, Date time);
    // Unscheduled, never fired.
    Reminder(CalEventPtr event, uint32_t type, Date time);
    ~Reminder();
    Reminder(const Reminder&) = delete;
    Reminder& operator=(const Reminder&) = delete;

    void setEvent(CalEventPtr event) { event_ = std::move(event); }
    void setHasFired(bool fired) { hasFired_ = fired; }
    const CalEventPtr& event() const { return event_; }
    uint32_t type() const { return type_; }
    Date time() const { return time_; }
    bool hasFired() const { return hasFired_; }
    bool isScheduled() const { return timedEvent_ != nullptr; }

    // Waits for `time` on the minute scheduler (priority 1) when it is neither waiting nor
    // fired and `date` is earlier than `time`.
    void scheduleIfAfter(Date date);
    void unschedule();
    // The alert: nothing for an invalid event or a fired reminder; else marks it fired and,
    // for the first two kinds, posts the notification.
    void alertNow();

    // "Begins on <MMMM dd> at <HH:mm>" of the event's start, in English.
    static QString beginsText(Date start);

    // Keyed archive: "time", "type", "hasfired"; the owner sets the event again.
    static QString archiveClassName() { return QStringLiteral("Reminder"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::shared_ptr<Reminder> initWithCoder(const platform::KeyedUnarchiver& coder);

    QString description() const;
    int compare(const Reminder& other) const;

  private:
    CalEventPtr event_;
    Date time_;
    uint32_t type_ = None;
    TimedEvent::Ptr timedEvent_;
    bool hasFired_ = false;
};

using ReminderPtr = std::shared_ptr<Reminder>;

// An alarm of an event as the calendar text gives it (its "VALARM" dictionary, see
// TalvorVCALENDAR): the alert kind from "ACTION" (DISPLAY, AUDIO, EMAIL; anything else no
// alert) and the moment from "TRIGGER" (a duration before or after the start, or the end with
// "RELATED=END", or a "VALUE=DATE-TIME" instant). None for a trigger that cannot be read.
struct ReminderTrigger {
    uint32_t type = Reminder::None;
    Date time;
};
std::optional<ReminderTrigger> reminderTriggerFromVALARM(const CalEvent& event,
                                                         const QVariantMap& alarm);

// The reminders of the events of the selected calendars: refilled from the back end's
// event alarms, each scheduled when it lies ahead. Main thread only.
class EventReminders {
  public:
    // How far ahead events are asked for.
    static constexpr double kLookAhead = 8 * 24 * 3600.0;

    // Replaces the reminders with those of `alarms`, scheduling the ones after `now`. A
    // reminder already given for the same event and moment stays fired.
    void setAlarms(const std::vector<EventAlarm>& alarms, Date now);
    // The alarms of events from `now` on, from `backEnd` (none without one).
    void reloadFrom(CalendarBackEnd* backEnd, Date now);
    void clear();

    const std::vector<ReminderPtr>& reminders() const { return reminders_; }

  private:
    std::vector<ReminderPtr> reminders_;
};

// Keeps the reminders of the shown calendars (this computer's, and Google's when chosen):
// read when started, whenever the calendars are loaded again ("loadCalendarEvents",
// "CalendarsLoaded" in the process) and every hour, so that events coming into the
// look-ahead get theirs. Main thread only.
class ReminderFeed : public std::enable_shared_from_this<ReminderFeed> {
    struct Key {};

  public:
    ReminderFeed(Key, platform::UserDefaults& defaults);
    ~ReminderFeed();
    // A running feed over the back end that `defaults` selects; keep it to keep it running.
    static std::shared_ptr<ReminderFeed> start(platform::UserDefaults& defaults);

    void reload();
    const EventReminders& reminders() const { return reminders_; }

  private:
    platform::UserDefaults& defaults_;
    EventReminders reminders_;
    std::vector<platform::Observation> observations_;
    TimedEvent::Ptr hourly_;
};

}  // namespace talvor
