#pragma once

#include "CivilTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Values of iCalendar properties: text, dates and date-times, durations.
namespace talvor::ical {

// Names and enumerated values ("FREQ=weekly", "VALUE=date", "byday=mo") are case-insensitive,
// as are the letters of dates and durations ("t", "z", "p1d"): ASCII letters compared without
// case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
char asciiUpper(char c);

// TEXT with its escapes resolved: "\\," ";" "\\" and "\n" / "\N" (a line feed).
std::string unescapeText(std::string_view value);

// A DATE ("20240105") or DATE-TIME ("20240105T100000", with "Z" for UTC) as written.
struct TimeValue {
    civil::DateTime local;
    bool isDate = false;
    bool utc = false;
    friend bool operator==(const TimeValue&, const TimeValue&) = default;
};

// Null for anything else, including impossible dates and times. Second 60 (a leap second)
// reads as 59.
std::optional<TimeValue> parseTimeValue(std::string_view value);
// A comma-separated list of them (RDATE, EXDATE); PERIOD values give their start. Null when
// any item is unreadable.
std::optional<std::vector<TimeValue>> parseTimeList(std::string_view value);

// A DURATION ("P1W", "-PT15M", "P1DT2H"): days are nominal (a day in local time, 23 or 25 hours
// across a change of daylight saving), the rest exact seconds.
struct Duration {
    int64_t days = 0;
    int64_t seconds = 0;
    friend bool operator==(const Duration&, const Duration&) = default;
};
std::optional<Duration> parseDuration(std::string_view value);

}  // namespace talvor::ical
