// Parse and expand one year of a 10,000-event calendar: the calendar room's reader and
// recurrence engine against libical on the same text, in the same run. Reports events per
// second of each and their ratio (target: ours at least twice libical's); never fails.
#include "calendar/ICalEvents.h"

#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace {

using namespace talvor;

constexpr int kEvents = 10000;

// A mixed calendar like a busy person's: mostly single meetings, weekly and daily series with
// exceptions, some monthly and yearly rules, all-day days, in two zones and UTC.
std::string makeCalendar() {
    std::mt19937 random(20240515);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Talvor//bench//EN\r\n";
    const char* zones[] = {"Europe/Berlin", "America/New_York"};
    char line[256];
    for (int i = 0; i < kEvents; ++i) {
        const int kind = pick(100);
        const int year = 2018 + pick(8);
        const int month = 1 + pick(12);
        const int day = 1 + pick(28);
        const int hour = 7 + pick(11);
        text += "BEGIN:VEVENT\r\n";
        std::snprintf(line, sizeof line, "UID:event-%d@bench\r\nDTSTAMP:20240101T000000Z\r\n", i);
        text += line;
        std::snprintf(line, sizeof line, "SUMMARY:Meeting %d\\, room %d\r\n", i, pick(40));
        text += line;
        if (kind < 5) {
            std::snprintf(line, sizeof line,
                          "DTSTART;VALUE=DATE:%04d%02d%02d\r\nDTEND;VALUE=DATE:%04d%02d%02d\r\n"
                          "RRULE:FREQ=YEARLY\r\n",
                          year, month, day, year, month, day + 1);
            text += line;
        } else {
            const char* zone = zones[pick(2)];
            if (pick(5) == 0) {
                std::snprintf(line, sizeof line, "DTSTART:%04d%02d%02dT%02d0000Z\r\n", year, month,
                              day, hour);
            } else {
                std::snprintf(line, sizeof line, "DTSTART;TZID=%s:%04d%02d%02dT%02d%02d00\r\n",
                              zone, year, month, day, hour, 15 * pick(4));
            }
            text += line;
            text += "DURATION:PT1H\r\n";
            if (kind < 20) {
                text += "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\r\n";
                std::snprintf(line, sizeof line, "EXDATE;TZID=%s:%04d%02d%02dT%02d0000\r\n", zone,
                              year + 1, month, day, hour);
                text += line;
            } else if (kind < 30) {
                std::snprintf(line, sizeof line, "RRULE:FREQ=DAILY;COUNT=%d\r\n", 5 + pick(400));
                text += line;
            } else if (kind < 35) {
                text += "RRULE:FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1\r\n";
            } else if (kind < 40) {
                std::snprintf(line, sizeof line,
                              "RRULE:FREQ=WEEKLY;INTERVAL=2;UNTIL=%04d1231T235959Z\r\n", year + 3);
                text += line;
            }
        }
        text += "END:VEVENT\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

const std::string& calendar() {
    static const std::string text = makeCalendar();
    return text;
}

const int64_t kFrom = civil::daysFromCivil(2025, 1, 1) * civil::kSecondsPerDay;
const int64_t kTo = civil::daysFromCivil(2026, 1, 1) * civil::kSecondsPerDay;

void BM_TalvorParseExpandYear(benchmark::State& state) {
    const ical::ZonePtr shown = ical::ZoneRules::system("Europe/Berlin");
    size_t occurrences = 0;
    for (auto _ : state) {
        const ical::CalendarData data = ical::readEvents(calendar());
        occurrences = 0;
        for (const ical::CalendarEvent& e : data.events) {
            occurrences += ical::expand(e, {}, kFrom, kTo, 100000, *shown).starts.size();
        }
        benchmark::DoNotOptimize(occurrences);
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(kEvents),
                                                    benchmark::Counter::kIsIterationInvariantRate);
    state.counters["occurrences"] = static_cast<double>(occurrences);
}
BENCHMARK(BM_TalvorParseExpandYear)->Unit(benchmark::kMillisecond);

void countOne(icalcomponent*, struct icaltime_span*, void* data) {
    ++*static_cast<size_t*>(data);
}

void BM_LibicalParseExpandYear(benchmark::State& state) {
    icaltimezone* utc = icaltimezone_get_utc_timezone();
    size_t occurrences = 0;
    for (auto _ : state) {
        icalcomponent* root = icalparser_parse_string(calendar().c_str());
        occurrences = 0;
        for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
             c != nullptr; c = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
            icalcomponent_foreach_recurrence(c, icaltime_from_timet_with_zone(kFrom, 0, utc),
                                             icaltime_from_timet_with_zone(kTo, 0, utc), countOne,
                                             &occurrences);
        }
        icalcomponent_free(root);
        benchmark::DoNotOptimize(occurrences);
    }
    state.counters["events/s"] = benchmark::Counter(static_cast<double>(kEvents),
                                                    benchmark::Counter::kIsIterationInvariantRate);
    state.counters["occurrences"] = static_cast<double>(occurrences);
}
BENCHMARK(BM_LibicalParseExpandYear)->Unit(benchmark::kMillisecond);

// Keeps each run's events per second, for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto found = run.counters.find("events/s");
            if (found != run.counters.end()) {
                rates[run.benchmark_name()] = found->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0;
    double theirs = 0;
    for (const auto& [name, rate] : reporter.rates) {
        (name.find("Talvor") != std::string::npos ? ours : theirs) = rate;
    }
    if (ours > 0 && theirs > 0) {
        std::printf("events per second: talvor %.0f, libical %.0f, ratio %.2f (target >= 2)\n",
                    ours, theirs, ours / theirs);
    }
    benchmark::Shutdown();
    return 0;
}
