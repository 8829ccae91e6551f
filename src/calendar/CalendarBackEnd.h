#pragma once

#include <QString>

#include <memory>

namespace talvor {

namespace platform {
class UserDefaults;
}

class CalMonth;

// A provider of events (the system's calendars, Google Calendar). It fills the month it is
// given, later, from its own thread of completions: it must hold the month weakly and skip
// it when it is gone.
class CalendarBackEnd {
  public:
    virtual ~CalendarBackEnd() = default;
    virtual void loadEventsInBatch(const std::shared_ptr<CalMonth>& month) = 0;
};

// The installed back ends, and the choice by "SelectedCalendar" ("Google" the Google one,
// anything else the system's). A choice with no back end installed loads nothing and says so
// once in the log.
namespace CalendarBackEnds {

enum class Kind { Apple, Google };
void install(Kind kind, CalendarBackEnd* backEnd);  // null uninstalls; not owned
CalendarBackEnd* selected(const platform::UserDefaults& defaults);
Kind selectedKind(const platform::UserDefaults& defaults);

}  // namespace CalendarBackEnds
}  // namespace talvor
