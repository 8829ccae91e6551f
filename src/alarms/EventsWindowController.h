#pragma once

#include "Event.h"

#include <QList>
#include <QWidget>

#include <memory>
#include <optional>

class QTableWidget;

namespace talvor {

namespace platform {
class Clock;
}

// How long until the event, or since it, in words: "3 days, 4 hours left", "2 hours ago".
// Calendar days in the clock's current zone; the two largest units that are not zero.
QString timeLeftText(Date now, Date eventTime);

// The window listing the count-down events that are due: one row per event with its name
// and the time left, and a Close button.
class EventsWindowController {
  public:
    // The controller with its window; nullopt (and a log line) when no window can be made,
    // as in a process without a graphical application. The clock must outlive the controller.
    static std::optional<EventsWindowController> init(platform::Clock& clock);
    static std::optional<EventsWindowController> init();

    void setEventsArray(QList<Event> events) { eventsArray_ = std::move(events); }
    const QList<Event>& eventsArray() const { return eventsArray_; }
    // Redraws the rows from the events array, with the time left as of now.
    void updateEventsUI();

    QWidget* window() const { return window_.get(); }
    // Shows the window, in front and focused.
    void showWindow();

  private:
    EventsWindowController(std::unique_ptr<QWidget> window, QTableWidget* table,
                           platform::Clock& clock);

    std::unique_ptr<QWidget> window_;
    QTableWidget* table_;  // owned by the window
    platform::Clock* clock_;
    QList<Event> eventsArray_;
};

}  // namespace talvor
