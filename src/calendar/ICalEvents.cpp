#include "ICalEvents.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace talvor::ical {

namespace {

using civil::kSecondsPerDay;

// [+-]HHMM or [+-]HHMMSS, in seconds east of UTC.
std::optional<int32_t> utcOffset(const std::string& v) {
    if ((v.size() != 5 && v.size() != 7) || (v[0] != '+' && v[0] != '-')) {
        return std::nullopt;
    }
    for (size_t i = 1; i < v.size(); ++i) {
        if (v[i] < '0' || v[i] > '9') {
            return std::nullopt;
        }
    }
    auto two = [&](size_t at) { return (v[at] - '0') * 10 + (v[at + 1] - '0'); };
    const int hours = two(1);
    const int minutes = two(3);
    const int seconds = v.size() == 7 ? two(5) : 0;
    if (hours > 23 || minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    const int32_t magnitude = hours * 3600 + minutes * 60 + seconds;
    return v[0] == '-' ? -magnitude : magnitude;
}

// The parts of a VTIMEZONE, each checked whole: null when anything is missing or malformed,
// so that a damaged zone reads as unknown rather than as half of its rules.
std::optional<std::vector<ZonePart>> zoneParts(const Component& zone) {
    const Property* id = zone.property("TZID");
    if (!id || id->value.empty() || zone.components.empty()) {
        return std::nullopt;
    }
    std::vector<ZonePart> parts;
    for (const Component& c : zone.components) {
        if (c.name != "STANDARD" && c.name != "DAYLIGHT") {
            return std::nullopt;
        }
        const Property* start = c.property("DTSTART");
        const Property* from = c.property("TZOFFSETFROM");
        const Property* to = c.property("TZOFFSETTO");
        if (!start || !from || !to) {
            return std::nullopt;
        }
        const auto startTime = parseTimeValue(start->value);
        const auto fromOffset = utcOffset(from->value);
        const auto toOffset = utcOffset(to->value);
        if (!startTime || startTime->isDate || startTime->utc || !fromOffset || !toOffset) {
            return std::nullopt;
        }
        ZonePart part{startTime->local, *fromOffset, *toOffset, {}, {}};
        for (const Property& p : c.properties) {
            if (p.name == "RRULE") {
                auto rule = RecurrenceRule::parse(p.value, nullptr);
                // An onset takes its time of day from DTSTART; times within the day would
                // only let a rule switch the offset every second.
                if (!rule || rule->frequency != Frequency::Yearly || !rule->byHour.empty() ||
                    !rule->byMinute.empty() || !rule->bySecond.empty()) {
                    return std::nullopt;
                }
                part.rules.push_back(std::move(*rule));
            } else if (p.name == "RDATE") {
                const auto dates = parseTimeList(p.value);
                if (!dates || p.value.find('/') != std::string::npos ||
                    std::any_of(dates->begin(), dates->end(),
                                [](const TimeValue& d) { return d.isDate; })) {
                    return std::nullopt;
                }
                part.dates.insert(part.dates.end(), dates->begin(), dates->end());
            }
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

// Zones by TZID for one text: the system database first (its rules span every year, where a
// VTIMEZONE often holds only the current ones), then the text's own VTIMEZONEs, then the zone
// name inside a path-like TZID ("/example.org/2005_1/Europe/Berlin").
class ZoneResolver {
  public:
    explicit ZoneResolver(const ParseResult& parsed) {
        for (const Component& top : parsed.components) {
            collect(top);
        }
    }

    // Null (floating) with a problem noted when the TZID names no zone.
    ZonePtr resolve(const std::string& tzid, int line, std::vector<std::string>& errors) {
        if (const auto found = cache_.find(tzid); found != cache_.end()) {
            return found->second;
        }
        ZonePtr zone = ZoneRules::system(tzid);
        if (!zone) {
            if (const auto parts = vtimezones_.find(tzid); parts != vtimezones_.end()) {
                zone = ZoneRules::fromParts(tzid, parts->second);
            }
        }
        if (!zone) {
            // The last two or three path segments, as in "America/Argentina/Buenos_Aires".
            for (int segments = 3; segments >= 2 && !zone; --segments) {
                size_t at = tzid.size();
                int seen = 0;
                while (at > 0 && seen < segments) {
                    at = tzid.rfind('/', at - 1);
                    if (at == std::string::npos) {
                        break;
                    }
                    ++seen;
                }
                if (seen == segments && at != std::string::npos) {
                    zone = ZoneRules::system(std::string_view(tzid).substr(at + 1));
                }
            }
        }
        if (!zone) {
            errors.push_back("line " + std::to_string(line) + ": unknown time zone \"" + tzid +
                             "\", read as floating time");
        }
        cache_.emplace(tzid, zone);
        return zone;
    }

  private:
    void collect(const Component& c) {
        if (c.name == "VTIMEZONE") {
            const Property* id = c.property("TZID");
            if (auto parts = zoneParts(c); id && parts) {
                vtimezones_.emplace(id->value, std::move(*parts));
            }
            return;
        }
        for (const Component& child : c.components) {
            collect(child);
        }
    }

    std::map<std::string, std::vector<ZonePart>> vtimezones_;
    std::map<std::string, ZonePtr> cache_;
};

std::optional<EventTime> readTime(const Property& p, ZoneResolver& zones,
                                  std::vector<std::string>& errors) {
    const auto value = parseTimeValue(p.value);
    if (!value) {
        errors.push_back("line " + std::to_string(p.line) + ": " + p.name + " \"" + p.value +
                         "\" is not a date");
        return std::nullopt;
    }
    EventTime t{*value, nullptr};
    if (value->utc) {
        t.zone = ZoneRules::utc();
    } else if (const std::string* tzid = p.parameter("TZID"); tzid && !value->isDate) {
        t.zone = zones.resolve(*tzid, p.line, errors);
    }
    return t;
}

void readTimeList(const Property& p, ZoneResolver& zones, std::vector<EventTime>& out,
                  std::vector<std::string>& errors) {
    const auto values = parseTimeList(p.value);
    if (!values) {
        errors.push_back("line " + std::to_string(p.line) + ": " + p.name + " \"" + p.value +
                         "\" is not a list of dates");
        return;
    }
    ZonePtr zone;
    if (const std::string* tzid = p.parameter("TZID")) {
        zone = zones.resolve(*tzid, p.line, errors);
    }
    for (const TimeValue& v : *values) {
        out.push_back({v, v.utc ? ZoneRules::utc() : (v.isDate ? nullptr : zone)});
    }
}

std::optional<CalendarEvent> readEvent(const Component& c, ZoneResolver& zones,
                                       std::vector<std::string>& errors) {
    CalendarEvent e;
    e.line = c.line;
    const Property* start = c.property("DTSTART");
    if (!start) {
        errors.push_back("line " + std::to_string(c.line) + ": VEVENT without DTSTART left out");
        return std::nullopt;
    }
    const auto startTime = readTime(*start, zones, errors);
    if (!startTime) {
        return std::nullopt;
    }
    e.start = *startTime;
    e.allDay = e.start.value.isDate;
    for (const Component& child : c.components) {
        if (child.name == "VALARM") {
            e.alarms.push_back(child);
        }
    }
    for (const Property& p : c.properties) {
        if (p.name == "UID") {
            e.uid = p.value;
        } else if (p.name == "SUMMARY") {
            e.summary = unescapeText(p.value);
        } else if (p.name == "DESCRIPTION") {
            e.description = unescapeText(p.value);
        } else if (p.name == "LOCATION") {
            e.location = unescapeText(p.value);
        } else if (p.name == "RECURRENCE-ID") {
            e.recurrenceId = readTime(p, zones, errors);
        } else if (p.name == "DTEND") {
            e.endTime = readTime(p, zones, errors);
        } else if (p.name == "DURATION") {
            e.duration = parseDuration(p.value);
            if (!e.duration) {
                errors.push_back("line " + std::to_string(p.line) + ": DURATION \"" + p.value +
                                 "\" is not a duration");
            }
        } else if (p.name == "RRULE") {
            std::string why;
            if (auto rule = RecurrenceRule::parse(p.value, &why)) {
                e.rules.push_back(std::move(*rule));
            } else {
                errors.push_back("line " + std::to_string(p.line) + ": " + why);
            }
        } else if (p.name == "RDATE") {
            readTimeList(p, zones, e.rdates, errors);
        } else if (p.name == "EXDATE") {
            readTimeList(p, zones, e.exdates, errors);
        }
    }
    return e;
}

// The starts an event's EXDATEs and overrides take out of its recurrence set, sorted once: a
// file with 100,000 EXDATEs compared each with every candidate start took hours.
class Exclusions {
  public:
    Exclusions(const CalendarEvent& event, const std::vector<const CalendarEvent*>& overrides,
               const ZoneRules& zone)
        : zone_(zone) {
        for (const EventTime& t : event.exdates) {
            add(t);
        }
        for (const CalendarEvent* o : overrides) {
            if (o->recurrenceId) {
                add(*o->recurrenceId);
            }
        }
        for (std::vector<int64_t>* v : {&days_, &times_}) {
            std::sort(v->begin(), v->end());
            v->erase(std::unique(v->begin(), v->end()), v->end());
        }
    }

    // A date takes out every start on that day of the event's wall clock; a time, that start.
    bool contains(int64_t utc) const {
        if (std::binary_search(times_.begin(), times_.end(), utc)) {
            return true;
        }
        return !days_.empty() &&
               std::binary_search(days_.begin(), days_.end(),
                                  civil::floorDiv(zone_.toLocal(utc), kSecondsPerDay));
    }

  private:
    void add(const EventTime& t) {
        if (t.value.isDate) {
            days_.push_back(t.value.local.days());
        } else {
            times_.push_back((t.zone ? *t.zone : zone_).toUtc(t.localSeconds()));
        }
    }

    const ZoneRules& zone_;
    std::vector<int64_t> days_;   // day numbers
    std::vector<int64_t> times_;  // UTC seconds
};

void collectEvents(const Component& c, ZoneResolver& zones, CalendarData& out) {
    for (const Component& child : c.components) {
        if (child.name == "VEVENT") {
            if (auto e = readEvent(child, zones, out.errors)) {
                out.events.push_back(std::move(*e));
            }
        }
    }
}

}  // namespace

int64_t EventTime::utc(const ZoneRules& floating) const {
    return (zone ? *zone : floating).toUtc(localSeconds());
}

int64_t CalendarEvent::endUtc(const ZoneRules& floating) const {
    if (endTime) {
        return endTime->utc(floating);
    }
    const ZoneRules& z = start.zone ? *start.zone : floating;
    if (duration) {
        return z.toUtc(start.localSeconds() + duration->days * kSecondsPerDay) + duration->seconds;
    }
    return z.toUtc(start.localSeconds() + (allDay ? kSecondsPerDay : 0));
}

std::string CalendarData::errorSummary() const {
    if (errors.empty()) {
        return {};
    }
    if (errors.size() == 1) {
        return errors.front();
    }
    return errors.front() + " (and " + std::to_string(errors.size() - 1) + " more)";
}

CalendarData readEvents(std::string_view text, const ParseLimits& limits) {
    const ParseResult parsed = parse(text, limits);
    if (limits.stop != nullptr && limits.stop->load(std::memory_order_relaxed)) {
        return {
            {},
            parsed.errors.empty() ? std::vector<std::string>{"reading stopped"} : parsed.errors};
    }
    return readEvents(parsed);
}

CalendarData readEvents(const ParseResult& parsed) {
    CalendarData out;
    out.errors = parsed.errors;
    ZoneResolver zones(parsed);
    for (const Component& top : parsed.components) {
        if (top.name == "VEVENT") {
            if (auto e = readEvent(top, zones, out.errors)) {
                out.events.push_back(std::move(*e));
            }
        } else {
            collectEvents(top, zones, out);
        }
    }
    return out;
}

ExpandResult expand(const CalendarEvent& event, const std::vector<const CalendarEvent*>& overrides,
                    int64_t fromUtc, int64_t toUtc, size_t cap, const ZoneRules& floating) {
    ExpandResult result;
    const ZoneRules& zone = event.start.zone ? *event.start.zone : floating;
    const int64_t startLocal = event.start.localSeconds();
    const Exclusions excluded(event, overrides, zone);
    std::vector<int64_t> starts;
    auto take = [&](int64_t utc) {
        if (utc >= fromUtc && utc < toUtc && !excluded.contains(utc)) {
            starts.push_back(utc);
        }
    };
    take(zone.toUtc(startLocal));
    constexpr int64_t kMargin = 2 * kSecondsPerDay;  // wider than any offset from UTC
    for (const RecurrenceRule& rule : event.rules) {
        std::optional<int64_t> untilLocal;
        if (rule.until) {
            if (rule.until->isDate) {
                untilLocal = rule.until->local.days() * kSecondsPerDay + kSecondsPerDay - 1;
            } else if (rule.until->utc) {
                untilLocal = zone.toLocal(rule.until->local.seconds());
            } else {
                untilLocal = rule.until->local.seconds();
            }
        }
        RecurrenceIterator it(rule, event.start.value.local, untilLocal);
        it.stopAfter(toUtc + kMargin);
        it.skipTo(fromUtc - kMargin);
        // A rule's times rise, so the cap's worth of kept times from each rule holds the first
        // `cap` of them all.
        size_t kept = 0;
        while (const auto local = it.next()) {
            const int64_t utc = zone.toUtc(*local);
            if (utc >= toUtc) {
                break;
            }
            if (utc >= fromUtc && !excluded.contains(utc)) {
                starts.push_back(utc);
                if (++kept >= cap) {
                    break;
                }
            }
        }
        if (it.budgetSpent()) {
            result.error = "line " + std::to_string(event.line) +
                           ": the RRULE gave no occurrence for too long; expansion stopped";
        }
    }
    for (const EventTime& r : event.rdates) {
        take(r.zone ? r.zone->toUtc(r.localSeconds()) : zone.toUtc(r.localSeconds()));
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    if (starts.size() > cap) {
        starts.resize(cap);
    }
    result.starts = std::move(starts);
    return result;
}

std::string formatUtc(int64_t utc) {
    const civil::DateTime t = civil::DateTime::fromSeconds(utc);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02dT%02d:%02d:%02dZ",
                  static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
    return buffer;
}

std::string formatDate(int64_t day) {
    const civil::Ymd d = civil::civilFromDays(day);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d", static_cast<long long>(d.year),
                  d.month, d.day);
    return buffer;
}

}  // namespace talvor::ical
