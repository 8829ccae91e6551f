#include "CalendarBackEnd.h"

#include "CalEvent.h"
#include "CalMonth.h"
#include "PublicCalendarFeeds.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <utility>

namespace talvor {

void CalendarBackEnd::addQuickEventwithTitle(const QString&, const CalSourcePtr&,
                                             const Completion& completion) {
    completion(false, QStringLiteral("This calendar cannot take new events."));
}

void CalendarBackEnd::createNewEventForSource(const CalSourcePtr&, const QString&, const QString&,
                                              bool, Date, Date, int, int, int,
                                              const Completion& completion) {
    completion(false, QStringLiteral("This calendar cannot take new events."));
}

void CalendarBackEnd::deleteEvent(const CalEvent&, platform::RemoveScope,
                                  const Completion& completion) {
    completion(false, QStringLiteral("This calendar cannot remove events."));
}

}  // namespace talvor

namespace talvor::CalendarBackEnds {

namespace {

CalendarBackEnd* g_apple = nullptr;
CalendarBackEnd* g_google = nullptr;
std::function<CalendarBackEnd*()> g_makeApple;
std::function<CalendarBackEnd*()> g_makeGoogle;

CalendarBackEnd*& slot(Kind kind) {
    if (std::function<CalendarBackEnd*()>& make =
            kind == Kind::Google ? g_makeGoogle : g_makeApple) {
        (kind == Kind::Google ? g_google : g_apple) = std::exchange(make, nullptr)();
    }
    return kind == Kind::Google ? g_google : g_apple;
}

}  // namespace

void install(Kind kind, CalendarBackEnd* backEnd) {
    (kind == Kind::Google ? g_makeGoogle : g_makeApple) = nullptr;
    (kind == Kind::Google ? g_google : g_apple) = backEnd;
}

void installLazily(Kind kind, std::function<CalendarBackEnd*()> make) {
    (kind == Kind::Google ? g_google : g_apple) = nullptr;
    (kind == Kind::Google ? g_makeGoogle : g_makeApple) = std::move(make);
}

CalendarBackEnd* installed(Kind kind) {
    return slot(kind);
}

namespace {

// The back end of `kind`, or null with one log line per kind.
CalendarBackEnd* present(Kind kind) {
    CalendarBackEnd* backEnd = slot(kind);
    if (!backEnd) {
        static bool said[2] = {false, false};
        bool& once = said[kind == Kind::Google ? 1 : 0];
        if (!once) {
            once = true;
            platform::log(kind == Kind::Google
                              ? QStringLiteral("calendar: no Google calendar back end; no events")
                              : QStringLiteral("calendar: no system calendar back end; no events"));
        }
    }
    return backEnd;
}

}  // namespace

Kind selectedKind(const platform::UserDefaults& defaults) {
    return defaults.stringForKey(QStringLiteral("SelectedCalendar")) == QLatin1String("Google")
               ? Kind::Google
               : Kind::Apple;
}

CalendarBackEnd* selected(const platform::UserDefaults& defaults) {
    return present(selectedKind(defaults));
}

std::vector<std::pair<Kind, CalendarBackEnd*>> shown(const platform::UserDefaults& defaults) {
    std::vector<std::pair<Kind, CalendarBackEnd*>> out;
    if (CalendarBackEnd* local = present(Kind::Apple)) {
        out.emplace_back(Kind::Apple, local);
    }
    if (selectedKind(defaults) == Kind::Google) {
        if (CalendarBackEnd* google = present(Kind::Google)) {
            out.emplace_back(Kind::Google, google);
        }
    }
    return out;
}

bool loadMonth(const std::shared_ptr<CalMonth>& month, const platform::UserDefaults& defaults) {
    if (!month) {
        return false;
    }
    std::vector<CalendarBackEnd*> loading;
    bool localLoads = false;
    const auto backEnds = shown(defaults);
    for (const Kind kind : {Kind::Apple, Kind::Google}) {
        const auto it = std::find_if(backEnds.begin(), backEnds.end(),
                                     [kind](const auto& entry) { return entry.first == kind; });
        if (it != backEnds.end() && it->second->canLoadEvents()) {
            loading.push_back(it->second);
            localLoads = localLoads || kind == Kind::Apple;
        } else {
            month->removeEventsOf(kind);
        }
    }
    if (!localLoads) {
        // The public holiday feeds need neither calendar access nor an account; this
        // computer's back end files them when it loads, so without it they are filed here.
        PublicCalendarFeeds::shared().fileEvents(*month);
        month->finalizeEventAdd();
        platform::NotificationCenter::defaultCenter().post(QStringLiteral("EventsLoaded"));
    }
    // The drops first: a back end may answer (and the windows redraw) before this returns.
    for (CalendarBackEnd* backEnd : loading) {
        backEnd->loadEventsInBatch(month);
    }
    return !loading.empty();
}

CalendarBackEnd* of(const CalEvent& event) {
    return event.origin() ? slot(*event.origin()) : nullptr;
}

}  // namespace talvor::CalendarBackEnds
