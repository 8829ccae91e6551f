#pragma once

#include "alarms/Event.h"
#include "alarms/EventsWindowController.h"
#include "platform/NotificationCenter.h"

#include <QList>

#include <cstdint>
#include <optional>

namespace talvor {

namespace platform {
class Clock;
}

// The whole days from `date` to `eventEndDate` in the current calendar and zone: the day
// field of their difference, so 23 hours ahead is 0 days and a day behind is -1.
int32_t daysBetweenDates(Date date, Date eventEndDate);

// The events due on an occasion (1 login, 2 wake), by time, earliest first: modes 1 and 3
// at login, 2 and 3 at wake, and on either occasion mode 4 from `daysBefore` days ahead up
// to the event's own day. Any other occasion takes none.
QList<Event> filterEvents(const QList<Event>& events, int32_t forDisplay);

// The count-down events shown at login and at wake: the application delegate's events window
// and the occasion it was opened for. Owned by the application delegate; main thread only.
class DueCountDowns {
  public:
    // The clock must outlive this object.
    explicit DueCountDowns(platform::Clock& clock);
    DueCountDowns();

    // A session became active / the computer woke: shows the events due on that occasion in
    // a new events window in place of the last one. Nothing due leaves the last one as it is.
    void receiveLoginNotification();
    void receiveWakeNotification();
    // A stored event was saved or deleted: a visible events window shows what is due now for
    // the occasion it was opened for.
    void updateEventsUI();

    // The occasion the events window was last opened for: 0 none yet, 1 login, 2 wake.
    int32_t currentEventsDisplay() const { return currentEventsDisplay_; }
    EventsWindowController* eventsWindow() { return eventsWindow_ ? &*eventsWindow_ : nullptr; }

  private:
    QList<Event> dueEvents() const;
    void showDueEvents();

    platform::Clock& clock_;
    // An editor saved or deleted an event.
    platform::Observation eventsUpdate_;
    int32_t currentEventsDisplay_ = 0;
    std::optional<EventsWindowController> eventsWindow_;
};

}  // namespace talvor
