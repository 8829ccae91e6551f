#pragma once

#include "CountDownTiles.h"
#include "Event.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace talvor {

namespace platform {
class Clock;
}

// How long until the event, or since it, in words: "3 days, 4 hours left", "2 hours ago".
// Calendar days in the clock's current zone; the two largest units that are not zero.
QString timeLeftText(Date now, Date eventTime);

// The window of the count-down events that are due: one tile per event, ticking every second,
// and a Close button. A tile's information button asks for the event's editor.
class EventsWindowController {
  public:
    // The controller with its window; nullopt (and a log line) when no window can be made,
    // as in a process without a graphical application. The clock must outlive the controller.
    static std::optional<EventsWindowController> init(platform::Clock& clock);
    static std::optional<EventsWindowController> init();

    void setEventsArray(QList<Event> events) { eventsArray_ = std::move(events); }
    const QList<Event>& eventsArray() const { return eventsArray_; }
    // New tiles from the events array.
    void updateEventsUI();
    void setEditEvent(std::function<void(const Event&)> edit) {
        tiles_->setEditEvent(std::move(edit));
    }
    EventsCollectionView* eventsCollectionView() const { return tiles_; }

    QWidget* window() const { return window_.get(); }
    // Shows the window, in front and focused.
    void showWindow();

  private:
    EventsWindowController(std::unique_ptr<QWidget> window, EventsCollectionView* tiles,
                           platform::Clock& clock);

    std::unique_ptr<QWidget> window_;
    EventsCollectionView* tiles_;  // owned by the window
    platform::Clock* clock_;
    QList<Event> eventsArray_;
};

}  // namespace talvor
