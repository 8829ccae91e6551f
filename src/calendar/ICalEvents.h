#pragma once

#include "ICalParser.h"
#include "ICalValues.h"
#include "RecurrenceRule.h"
#include "ZoneRules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The events of iCalendar text, and their occurrences in a window of time.
namespace talvor::ical {

// A date or date-time with the zone it was written in: null for a floating time or a date,
// which are read in the zone the calendar is shown in.
struct EventTime {
    TimeValue value;
    ZonePtr zone;

    int64_t localSeconds() const { return value.local.seconds(); }
    // The UTC second, with `floating` for a floating time or a date.
    int64_t utc(const ZoneRules& floating) const;
};

struct CalendarEvent {
    std::string uid;
    std::optional<EventTime> recurrenceId;  // set on an override of one occurrence
    std::optional<std::string> summary, description, location;  // unescaped
    bool allDay = false;
    EventTime start;
    // The end (exclusive): DTEND, DTSTART + DURATION, the next day for a date, else the start.
    // A DURATION's days are kept apart, since they are days of the start's wall clock.
    std::optional<EventTime> endTime;
    std::optional<Duration> duration;
    std::vector<RecurrenceRule> rules;
    std::vector<EventTime> rdates, exdates;
    std::vector<Component> alarms;  // the VALARM components, as written
    int line = 0;

    bool recurs() const { return !rules.empty() || !rdates.empty(); }
    // The end of the event (of its first occurrence) as a UTC second.
    int64_t endUtc(const ZoneRules& floating) const;
};

struct CalendarData {
    std::vector<CalendarEvent> events;  // in the order of the text
    std::vector<std::string> errors;    // the parser's, then the events'

    std::string errorSummary() const;
};

// The VEVENTs of the text. Damaged events are left out, each with a line in `errors`; a
// damaged property of a kept event (an unreadable RRULE or EXDATE) is dropped the same way.
CalendarData readEvents(std::string_view text, const ParseLimits& limits = {});
CalendarData readEvents(const ParseResult& parsed);

struct ExpandResult {
    std::vector<int64_t> starts;  // UTC seconds, sorted, at most the cap
    std::optional<std::string> error;
};

// The starts in [fromUtc, toUtc) of the event's recurrence set: DTSTART, the RRULEs' times and
// the RDATEs, less the EXDATEs and the occurrences that `overrides` (events of the same UID
// with a RECURRENCE-ID) replace. Rules run on the wall clock of the start's zone (`floating`
// for floating times and dates), so an occurrence keeps its time of day across daylight
// saving.
ExpandResult expand(const CalendarEvent& event, const std::vector<const CalendarEvent*>& overrides,
                    int64_t fromUtc, int64_t toUtc, size_t cap, const ZoneRules& floating);

// "YYYY-MM-DDTHH:MM:SSZ" of a UTC second; "YYYY-MM-DD" of a day number.
std::string formatUtc(int64_t utc);
std::string formatDate(int64_t day);

}  // namespace talvor::ical
