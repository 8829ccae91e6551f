// talvor-ical --from 2020-01-01T00:00:00Z --to 2031-01-01T00:00:00Z --cap 1000 FILE...
//
// Prints {"cases": {"<file name>": {"error": null or text, "events": [...]}}}: each VEVENT
// with its UID, RECURRENCE-ID, texts, start and end (UTC, or dates with an exclusive end for
// all-day events) and its occurrences in the window, in the zone of TZ. A file that cannot be
// read whole still gives what could be recovered.
#include "calendar/ICalEvents.h"
#include "calendar/OverrideIndex.h"
#include "platform/BoundedFile.h"

#include <QTimeZone>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace talvor::ical;
namespace civil = talvor::civil;

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string optionalText(const std::optional<std::string>& s) {
    return s ? quoted(*s) : "null";
}

std::optional<int64_t> parseUtcArgument(const char* text) {
    const auto t =
        parseTimeValue(std::string(text).erase(4, 1).erase(6, 1).erase(11, 1).erase(13, 1));
    if (!t || !t->utc) {
        return std::nullopt;
    }
    return t->local.seconds();
}

ZonePtr shownZone() {
    const char* tz = std::getenv("TZ");
    std::string name = tz ? tz : "";
    if (!name.empty() && name.front() == ':') {
        name.erase(0, 1);
    }
    if (name.empty()) {
        name = QTimeZone::systemTimeZoneId().toStdString();
    }
    if (ZonePtr zone = ZoneRules::system(name)) {
        return zone;
    }
    return ZoneRules::utc();
}

std::string timeText(int64_t utc, bool allDay, const ZoneRules& floating) {
    if (allDay) {
        return quoted(formatDate(civil::floorDiv(floating.toLocal(utc), civil::kSecondsPerDay)));
    }
    return quoted(formatUtc(utc));
}

std::string report(const std::string& path, int64_t from, int64_t to, size_t cap,
                   const ZoneRules& floating) {
    // The program's own bound: a FIFO or a link to /dev/zero is refused, not read for ever.
    const talvor::platform::BoundedRead read =
        talvor::platform::readRegularFile(QString::fromStdString(path), 64LL * 1024 * 1024);
    if (!read.bytes) {
        return "{\"error\": " + quoted("cannot read " + path + ": " + read.reason.toStdString()) +
               ", \"events\": []}";
    }
    const std::string text = read.bytes->toStdString();
    const CalendarData data = readEvents(text);
    std::vector<std::string> errors = data.errors;
    std::string events;
    const OverrideIndex index(data.events);
    static const std::vector<const CalendarEvent*> kNone;
    for (const CalendarEvent& e : data.events) {
        const ExpandResult r =
            expand(e, e.recurrenceId ? kNone : index.of(e.uid), from, to, cap, floating);
        if (r.error) {
            errors.push_back(*r.error);
        }
        std::string occurrences;
        for (int64_t s : r.starts) {
            occurrences += (occurrences.empty() ? "" : ", ") + timeText(s, e.allDay, floating);
        }
        std::string end;
        if (e.allDay) {
            int64_t endDay = e.start.value.local.days() + 1;
            if (e.endTime && e.endTime->value.isDate) {
                endDay = e.endTime->value.local.days();
            } else if (e.duration) {
                endDay = e.start.value.local.days() + e.duration->days;
            }
            end = quoted(formatDate(endDay));
        } else {
            end = quoted(formatUtc(e.endUtc(floating)));
        }
        // Always a UTC time, for all-day overrides too (their day's start in TZ's zone).
        const std::string recurrenceId =
            e.recurrenceId ? quoted(formatUtc(e.recurrenceId->utc(floating))) : "null";
        events += std::string(events.empty() ? "" : ",\n") + "      {\"uid\": " + quoted(e.uid) +
                  ", \"recurrence_id\": " + recurrenceId +
                  ", \"summary\": " + optionalText(e.summary) +
                  ", \"description\": " + optionalText(e.description) +
                  ", \"location\": " + optionalText(e.location) +
                  ", \"all_day\": " + (e.allDay ? "true" : "false") +
                  ", \"start\": " + timeText(e.start.utc(floating), e.allDay, floating) +
                  ", \"end\": " + end + ", \"occurrences\": [" + occurrences + "]}";
    }
    std::string error = "null";
    if (!errors.empty()) {
        error = quoted(
            errors.front() +
            (errors.size() > 1 ? " (and " + std::to_string(errors.size() - 1) + " more)" : ""));
    }
    return "{\"error\": " + error + ", \"events\": [\n" + events + "]}";
}

int usage() {
    std::fprintf(stderr,
                 "usage: talvor-ical --from YYYY-MM-DDTHH:MM:SSZ --to YYYY-MM-DDTHH:MM:SSZ "
                 "[--cap N] FILE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<int64_t> from;
    std::optional<int64_t> to;
    size_t cap = 1000;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--from" || arg == "--to" || arg == "--cap") && i + 1 < argc) {
            const char* value = argv[++i];
            if (arg == "--cap") {
                char* end = nullptr;
                cap = std::strtoul(value, &end, 10);
                if (*end != '\0') {
                    return usage();
                }
            } else {
                auto& bound = arg == "--from" ? from : to;
                if (std::strlen(value) != 20 || !(bound = parseUtcArgument(value))) {
                    std::fprintf(stderr,
                                 "talvor-ical: %s is not a UTC time like "
                                 "2020-01-01T00:00:00Z\n",
                                 value);
                    return 2;
                }
            }
        } else if (arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            files.push_back(arg);
        }
    }
    if (!from || !to || files.empty()) {
        return usage();
    }
    const ZonePtr floating = shownZone();
    std::string out = "{\"cases\": {";
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t slash = files[i].rfind('/');
        const std::string name = slash == std::string::npos ? files[i] : files[i].substr(slash + 1);
        out += std::string(i ? ",\n" : "\n") + "  " + quoted(name) + ": " +
               report(files[i], *from, *to, cap, *floating);
    }
    out += "\n}}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
