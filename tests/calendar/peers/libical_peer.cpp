// The differential test's libical side: the same JSON as talvor-ical, made by libical 3. A
// test peer only; nothing of the application links libical.
#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string quoted(const char* s) {
    if (s == nullptr) {
        return "null";
    }
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        const unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

icaltimezone* shownZone() {
    const char* tz = std::getenv("TZ");
    std::string name = tz ? tz : "UTC";
    if (!name.empty() && name[0] == ':') {
        name.erase(0, 1);
    }
    icaltimezone* zone = icaltimezone_get_builtin_timezone(name.c_str());
    return zone ? zone : icaltimezone_get_utc_timezone();
}

// UTC seconds of a time; floating times and dates in the shown zone.
time_t utcOf(icaltimetype t, icaltimezone* shown) {
    if (t.zone == nullptr && !t.is_date) {
        return icaltime_as_timet_with_zone(t, shown);
    }
    if (t.is_date) {
        return icaltime_as_timet_with_zone(t, shown);
    }
    return icaltime_as_timet_with_zone(t, const_cast<icaltimezone*>(t.zone));
}

std::string utcText(time_t t) {
    struct tm tm {};
    gmtime_r(&t, &tm);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return std::string("\"") + b + "\"";
}

std::string dateText(icaltimetype t) {
    char b[32];
    std::snprintf(b, sizeof b, "\"%04d-%02d-%02d\"", t.year, t.month, t.day);
    return b;
}

// RECURRENCE-ID's getter leaves the TZID unresolved; resolve it as DTSTART's is.
icaltimetype recurrenceIdOf(icalcomponent* event, icalcomponent* root) {
    icalproperty* p = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
    icaltimetype t = icalproperty_get_recurrenceid(p);
    if (icalparameter* tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER)) {
        const char* name = icalparameter_get_tzid(tzid);
        icaltimezone* zone = root ? icalcomponent_get_timezone(root, name) : nullptr;
        if (zone == nullptr) {
            zone = icaltimezone_get_builtin_timezone(name);
        }
        t.zone = zone;
    }
    return t;
}

struct Collect {
    std::vector<time_t> starts;
    std::vector<icaltimetype> dates;
};

void collect(icalcomponent*, struct icaltime_span* span, void* data) {
    static_cast<Collect*>(data)->starts.push_back(span->start);
}

std::string report(const std::string& path, time_t from, time_t to, size_t cap,
                   icaltimezone* shown) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    icalcomponent* root = icalparser_parse_string(text.c_str());
    std::string errors;
    std::string events;
    std::vector<icalcomponent*> vevents;
    if (root != nullptr) {
        if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT) {
            vevents.push_back(root);
        }
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
             c != nullptr; c = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
            vevents.push_back(c);
        }
        if (icalcomponent_count_errors(root) > 0) {
            errors = "libical reported errors";
        }
    } else {
        errors = "libical read nothing";
    }
    for (icalcomponent* e : vevents) {
        const icaltimetype start = icalcomponent_get_dtstart(e);
        if (icaltime_is_null_time(start)) {
            continue;
        }
        const bool allDay = start.is_date;
        const char* uid = icalcomponent_get_uid(e);
        std::set<time_t> replaced;
        const bool isOverride = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY);
        if (!isOverride) {
            for (icalcomponent* o : vevents) {
                const char* ouid = icalcomponent_get_uid(o);
                if (o != e && icalcomponent_get_first_property(o, ICAL_RECURRENCEID_PROPERTY) &&
                    ouid && uid && std::strcmp(ouid, uid) == 0) {
                    replaced.insert(utcOf(recurrenceIdOf(o, root), shown));
                }
            }
        }
        Collect found;
        // libical expands floating and date series as if in UTC; the window is widened by
        // a day each way and the times are moved into the shown zone below.
        icalcomponent_foreach_recurrence(
            e, icaltime_from_timet_with_zone(from - 2 * 86400, 0, icaltimezone_get_utc_timezone()),
            icaltime_from_timet_with_zone(to + 2 * 86400, 0, icaltimezone_get_utc_timezone()),
            collect, &found);
        std::vector<std::pair<time_t, std::string>> occurrences;
        const bool floating = start.zone == nullptr || allDay;
        for (time_t s : found.starts) {
            icaltimetype t =
                icaltime_from_timet_with_zone(s, allDay, icaltimezone_get_utc_timezone());
            t.zone = nullptr;
            const time_t utc = floating ? icaltime_as_timet_with_zone(t, shown) : s;
            if (utc < from || utc >= to || replaced.count(utc)) {
                continue;
            }
            occurrences.emplace_back(utc, allDay ? dateText(t) : utcText(utc));
        }
        std::sort(occurrences.begin(), occurrences.end());
        occurrences.erase(std::unique(occurrences.begin(), occurrences.end()), occurrences.end());
        if (occurrences.size() > cap) {
            occurrences.resize(cap);
        }
        std::string list;
        for (const auto& o : occurrences) {
            list += (list.empty() ? "" : ", ") + o.second;
        }
        const icaltimetype end = icalcomponent_get_dtend(e);
        std::string endText;
        if (allDay) {
            endText = icaltime_is_null_time(end)
                          ? dateText(icaltime_add(start, icaldurationtype_from_int(86400)))
                          : dateText(end);
        } else {
            endText = utcText(icaltime_is_null_time(end) ? utcOf(start, shown) : utcOf(end, shown));
        }
        std::string recurrenceId = "null";
        if (isOverride) {
            const icaltimetype rid = recurrenceIdOf(e, root);
            recurrenceId = utcText(utcOf(rid, shown));
        }
        events += std::string(events.empty() ? "" : ",\n") +
                  "      {\"uid\": " + quoted(uid ? uid : "") +
                  ", \"recurrence_id\": " + recurrenceId + ", \"summary\": " +
                  quoted(icalcomponent_get_first_property(e, ICAL_SUMMARY_PROPERTY)
                             ? icalcomponent_get_summary(e)
                             : nullptr) +
                  ", \"description\": " +
                  quoted(icalcomponent_get_first_property(e, ICAL_DESCRIPTION_PROPERTY)
                             ? icalcomponent_get_description(e)
                             : nullptr) +
                  ", \"location\": " +
                  quoted(icalcomponent_get_first_property(e, ICAL_LOCATION_PROPERTY)
                             ? icalcomponent_get_location(e)
                             : nullptr) +
                  ", \"all_day\": " + (allDay ? "true" : "false") +
                  ", \"start\": " + (allDay ? dateText(start) : utcText(utcOf(start, shown))) +
                  ", \"end\": " + endText + ", \"occurrences\": [" + list + "]}";
    }
    if (root != nullptr) {
        icalcomponent_free(root);
    }
    return "{\"error\": " + (errors.empty() ? std::string("null") : quoted(errors.c_str())) +
           ", \"events\": [\n" + events + "]}";
}

time_t parseUtc(const char* s) {
    struct tm tm {};
    if (!strptime(s, "%Y-%m-%dT%H:%M:%SZ", &tm)) {
        std::exit(2);
    }
    return timegm(&tm);
}

}  // namespace

int main(int argc, char** argv) {
    time_t from = 0;
    time_t to = 0;
    size_t cap = 1000;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--from" && i + 1 < argc) {
            from = parseUtc(argv[++i]);
        } else if (arg == "--to" && i + 1 < argc) {
            to = parseUtc(argv[++i]);
        } else if (arg == "--cap" && i + 1 < argc) {
            cap = std::strtoul(argv[++i], nullptr, 10);
        } else {
            files.push_back(arg);
        }
    }
    icaltimezone* shown = shownZone();
    std::string out = "{\"cases\": {";
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t slash = files[i].rfind('/');
        const std::string name = slash == std::string::npos ? files[i] : files[i].substr(slash + 1);
        out += std::string(i ? ",\n" : "\n") + "  " + quoted(name.c_str()) + ": " +
               report(files[i], from, to, cap, shown);
    }
    out += "\n}}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
