#pragma once

#include "CivilTime.h"
#include "ICalValues.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvor::ical {

enum class Frequency { Secondly, Minutely, Hourly, Daily, Weekly, Monthly, Yearly };

// A week day of BYDAY, with its place in the month or year (1 the first, -1 the last, 0 any).
struct WeekdayNum {
    int ordinal = 0;
    int weekday = 0;  // 0 = Monday ... 6 = Sunday
    friend bool operator==(const WeekdayNum&, const WeekdayNum&) = default;
};

// One RRULE, checked: every part within its range, INTERVAL at least 1.
struct RecurrenceRule {
    Frequency frequency = Frequency::Daily;
    int64_t interval = 1;
    std::optional<int64_t> count;
    std::optional<TimeValue> until;
    int weekStart = 0;
    std::vector<int> bySecond, byMinute, byHour, byMonthDay, byYearDay, byWeekNo, byMonth, bySetPos;
    std::vector<WeekdayNum> byDay;

    // The rule of an RRULE value ("FREQ=WEEKLY;BYDAY=MO,WE", in any case), or null with the
    // reason in `error`. Unknown parts are ignored.
    static std::optional<RecurrenceRule> parse(std::string_view text, std::string* error);
};

// The wall-clock times a rule gives from a start, in order, the start's own time counted only
// when the rule gives it. Each period (year, month, week, ...) is expanded as a set, narrowed
// by the BYxxx parts and by BYSETPOS; COUNT and an UNTIL in wall-clock seconds end the series.
class RecurrenceIterator {
  public:
    RecurrenceIterator(const RecurrenceRule& rule, const civil::DateTime& start,
                       std::optional<int64_t> untilLocal);

    // The next time (civil seconds), or null when the series has ended, has passed `limit`
    // (set by stopAfter), or has spent its step budget (see budgetSpent).
    std::optional<int64_t> next();
    // No period that begins after `localSeconds` is looked at.
    void stopAfter(int64_t localSeconds) { limit_ = localSeconds; }
    // Jumps over whole periods that end before `localSeconds`, and over the times before it in
    // the period it lands in. Only without COUNT, where skipped times need not be counted;
    // otherwise it does nothing.
    void skipTo(int64_t localSeconds);
    // A rule that gives nothing for very many periods (BYMONTHDAY=30 in February, every
    // second) is given up after a fixed number of steps.
    bool budgetSpent() const { return budgetSpent_; }

    static constexpr int64_t kStepBudget = 1'000'000;

  private:
    bool fillPeriod();
    size_t periodSize() const;
    int64_t periodTime(size_t i) const;
    int64_t periodStart() const;
    void advance(int64_t skipUnitSeconds);
    bool dayMatches(int64_t day) const;
    void appendTimes(int64_t day, std::vector<int64_t>& out) const;

    const RecurrenceRule& rule_;
    civil::DateTime start_;
    int64_t startSeconds_;
    std::optional<int64_t> until_;
    std::optional<int64_t> limit_;
    std::vector<int> hours_, minutes_, seconds_;
    std::vector<int> byMonthDay_;
    std::vector<int> byMonth_;
    std::vector<int> plainDays_;  // week days without an ordinal
    std::vector<WeekdayNum> ordinalDays_;
    // Period position: year and month, or day number, or civil second.
    int64_t year_ = 0;
    int month_ = 1;
    int64_t day_ = 0;
    int64_t second_ = 0;
    // Periods of a day or longer: every matching day has the same times, so the period is
    // kept as its days and those times, not spelled out (a yearly rule with every hour,
    // minute and second has 31 million a year); BYSETPOS picks positions in it.
    std::vector<int> timesOfDay_;  // seconds into the day, sorted
    std::vector<int64_t> days_;
    std::vector<int64_t> picked_;
    int64_t skippedTo_ = std::numeric_limits<int64_t>::min();
    // Periods below a day: their times, sorted.
    std::vector<int64_t> pending_;
    std::vector<int64_t> chosen_;  // BYSETPOS's pick, kept to reuse its storage
    size_t pendingAt_ = 0;
    int64_t matchedDay_ = std::numeric_limits<int64_t>::min();  // the day of dayMatched_
    bool dayMatched_ = false;
    int64_t emitted_ = 0;
    int64_t steps_ = 0;
    bool done_ = false;
    bool budgetSpent_ = false;
};

}  // namespace talvor::ical
