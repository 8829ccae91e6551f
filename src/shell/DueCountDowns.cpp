#include "DueCountDowns.h"

#include "alarms/AlarmDates.h"
#include "alarms/AlarmsKeys.h"
#include "alarms/CountDownEditor.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "widgets/WindowExtras.h"

#include <algorithm>
#include <limits>

namespace talvor {
namespace {

constexpr int32_t kLogin = 1;
constexpr int32_t kWake = 2;

bool dueOn(const Event& event, int32_t occasion, Date now) {
    switch (event.eventDisplayMode()) {
        case 1:
            return occasion == kLogin;
        case 2:
            return occasion == kWake;
        case 3:
            return true;
        case 4: {
            const int32_t days = daysBetweenDates(now, event.eventTime());
            return days >= 0 && days <= event.daysBefore();
        }
        default:
            return false;
    }
}

}  // namespace

int32_t daysBetweenDates(Date date, Date eventEndDate) {
    const int64_t days = AlarmDates::difference(date, eventEndDate).days;
    return static_cast<int32_t>(std::clamp<int64_t>(days, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

QList<Event> filterEvents(const QList<Event>& events, int32_t forDisplay) {
    if (forDisplay != kLogin && forDisplay != kWake) {
        return {};
    }
    const Date now = platform::Clock::shared().now();
    QList<Event> due;
    for (const Event& event : events) {
        if (dueOn(event, forDisplay, now)) {
            due.append(event);
        }
    }
    // Stable, so events of one time keep the store's order.
    std::stable_sort(due.begin(), due.end(), [](const Event& a, const Event& b) {
        return a.eventTime().timeIntervalSince(b.eventTime()) < 0;
    });
    return due;
}

DueCountDowns::DueCountDowns(platform::Clock& clock)
    : clock_(clock),
      eventsUpdate_(platform::DistributedNotificationCenter::defaultCenter().addObserver(
          keys::EventsUpdate, QVariant(),
          [this](const platform::Notification&) { updateEventsUI(); })) {}

DueCountDowns::DueCountDowns() : DueCountDowns(platform::Clock::shared()) {}

void DueCountDowns::receiveLoginNotification() {
    currentEventsDisplay_ = kLogin;
    showDueEvents();
}

void DueCountDowns::receiveWakeNotification() {
    currentEventsDisplay_ = kWake;
    showDueEvents();
}

QList<Event> DueCountDowns::dueEvents() const {
    // An unreadable store reads as empty, with its own log line.
    return filterEvents(loadEvents().values(), currentEventsDisplay_);
}

void DueCountDowns::showDueEvents() {
    QList<Event> due = dueEvents();
    if (due.isEmpty()) {
        return;
    }
    // The last window goes with its controller, so an old list never stays on screen.
    eventsWindow_.reset();
    eventsWindow_ = EventsWindowController::init(clock_);
    if (!eventsWindow_) {
        return;
    }
    eventsWindow_->setEditEvent(
        [](const Event& event) { NewCountDownEventWindowController::openFor(event); });
    eventsWindow_->setEventsArray(std::move(due));
    eventsWindow_->updateEventsUI();
    WindowExtras::makeKeyAndOrderFrontandCenter(*eventsWindow_->window());
}

void DueCountDowns::updateEventsUI() {
    if (!eventsWindow_ || !eventsWindow_->window()->isVisible()) {
        return;
    }
    eventsWindow_->setEventsArray(dueEvents());
    eventsWindow_->updateEventsUI();
}

}  // namespace talvor
