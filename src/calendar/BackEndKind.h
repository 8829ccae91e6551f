#pragma once

namespace talvor::CalendarBackEnds {

// Which back end an event came from, or a calendar belongs to: the calendars of this
// computer, or Google's.
enum class Kind { Apple, Google };

}  // namespace talvor::CalendarBackEnds
