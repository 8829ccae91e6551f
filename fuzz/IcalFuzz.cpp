// The iCalendar reader under the fuzzer: content lines, components, zones, events, rules and
// their expansion into a window, and the Recurrence text object. Any crash, sanitizer report
// or hang is a finding.
#include "calendar/ICalEvents.h"
#include "calendar/Recurrence.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace talvor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ical::ParseLimits limits;
    limits.maxLineBytes = 64u << 10;
    const ical::ParseResult parsed = ical::parse(text, limits);
    for (const ical::Component& top : parsed.components) {
        (void)top.toText();
    }
    const ical::CalendarData calendar = ical::readEvents(parsed);
    const ical::ZonePtr floating = ical::ZoneRules::system("Europe/Berlin");
    const ical::ZoneRules& shown = floating ? *floating : *ical::ZoneRules::utc();
    // Three years about the corpus's dates, near the widest window the program asks for: forty
    // years made each sparse rule walk all their periods, for no more of the engine reached.
    const int64_t from = talvor::civil::daysFromCivil(2023, 1, 1) * civil::kSecondsPerDay;
    const int64_t to = talvor::civil::daysFromCivil(2026, 1, 1) * civil::kSecondsPerDay;
    size_t expanded = 0;
    for (const ical::CalendarEvent& e : calendar.events) {
        if (++expanded > 16) {
            break;  // each expansion is bounded; a few per input keep the fuzzer fast
        }
        std::vector<const ical::CalendarEvent*> overrides;
        for (const ical::CalendarEvent& o : calendar.events) {
            if (o.recurrenceId && o.uid == e.uid) {
                overrides.push_back(&o);
            }
        }
        (void)ical::expand(e, overrides, from, to, 200, shown);
        (void)e.endUtc(shown);
    }
    if (size < (64u << 10)) {
        const Recurrence r(
            QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
        (void)r.description();
    }
    return 0;
}
