#pragma once

#include "BackEndKind.h"
#include "CalSource.h"
#include "platform/CalendarStore.h"
#include "platform/Date.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace talvor {

namespace platform {
class UserDefaults;
}

class CalEvent;
class CalMonth;
class CalSource;

// An alarm of an event: the event and its "VALARM" dictionary as TalvorVCALENDAR reads it.
struct EventAlarm {
    std::shared_ptr<CalEvent> event;
    QVariantMap alarm;
};

// A provider of events (the system's calendars, Google Calendar). It fills the month it is
// given, later, from its own thread of completions: it must hold the month weakly and skip
// it when it is gone.
class CalendarBackEnd {
  public:
    // (success, none) or (failure, a text for the user).
    using Completion = std::function<void(bool, std::optional<QString>)>;

    virtual ~CalendarBackEnd() = default;
    // Replaces the month's events of this back end (those of the others stay).
    virtual void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) = 0;
    // Whether events can be asked for now (access granted, signed in); true by default.
    virtual bool canLoadEvents() { return true; }
    // The calendars the back end keeps on this computer, as sources; none by default.
    virtual std::vector<std::shared_ptr<CalSource>> getLocalEventCalendars_Parsed() { return {}; }
    // The alarms of the events that start in [from, to); none by default.
    virtual std::vector<EventAlarm> eventAlarms(Date from, Date to) {
        (void)from;
        (void)to;
        return {};
    }

    // A back end that cannot write refuses these with a message. `recurrance`: -1 none,
    // 0 daily, 1 weekly, 2 monthly, 3 yearly; `reminderMinutes` 0: no reminder;
    // `reminderType` 2 an e-mail where the back end sends them, else a pop-up.
    virtual void addQuickEventwithTitle(const QString& title, const CalSourcePtr& source,
                                        const Completion& completion);
    virtual void createNewEventForSource(const CalSourcePtr& source, const QString& title,
                                         const QString& description, bool allDay, Date startDate,
                                         Date endDate, int recurrance, int reminderMinutes,
                                         int reminderType, const Completion& completion);
    // The event's occurrence, it and the later ones, or the whole series (by its edit links).
    virtual void deleteEvent(const CalEvent& event, platform::RemoveScope scope,
                             const Completion& completion);
};

// The installed back ends, and the choice by "SelectedCalendar" ("Google" the Google one,
// anything else the system's). The calendars of this computer are shown whatever the choice;
// choosing Google adds Google's. A choice with no back end installed loads nothing and says
// so once in the log.
namespace CalendarBackEnds {

void install(Kind kind, CalendarBackEnd* backEnd);  // null uninstalls; not owned
// Made by `make` the first time it is asked for (a back end whose making must wait until
// someone needs it); replaces what was installed.
void installLazily(Kind kind, std::function<CalendarBackEnd*()> make);
CalendarBackEnd* installed(Kind kind);  // null when none is
CalendarBackEnd* selected(const platform::UserDefaults& defaults);
Kind selectedKind(const platform::UserDefaults& defaults);
// The back ends whose events the windows show, this computer's first: this computer's
// always, Google's when chosen. Each is installed (made if need be).
std::vector<std::pair<Kind, CalendarBackEnd*>> shown(const platform::UserDefaults& defaults);
// Asks every shown back end that can load now for the month's events; the month drops the
// events of the others (not chosen, signed out, no access). True when one loads: it posts
// "EventsLoaded" when done. The ticked public calendars are filed whichever loads, also when
// none does (then at once, with "EventsLoaded").
bool loadMonth(const std::shared_ptr<CalMonth>& month, const platform::UserDefaults& defaults);
// The back end that delivered the event, installed; null for an event of no back end.
CalendarBackEnd* of(const CalEvent& event);

}  // namespace CalendarBackEnds
}  // namespace talvor
