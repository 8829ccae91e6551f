#include "RecurrenceRule.h"

#include <algorithm>
#include <array>

namespace talvor::ical {

namespace {

using civil::kSecondsPerDay;

constexpr std::array<std::string_view, 7> kWeekdays = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

std::optional<int> weekdayOf(std::string_view code) {
    for (size_t i = 0; i < kWeekdays.size(); ++i) {
        if (equalsIgnoringCase(code, kWeekdays[i])) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

// A signed decimal number, null when not one or past the bound.
std::optional<int64_t> number(std::string_view s, int64_t bound) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 18) {
        return std::nullopt;
    }
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        v = v * 10 + (c - '0');
    }
    if (v > bound) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (true) {
        const size_t at = s.find(sep, start);
        out.push_back(
            s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) {
            return out;
        }
        start = at + 1;
    }
}

// A list of numbers in [low, high], zero allowed only when low is 0.
bool numberList(std::string_view value, int low, int high, bool signedRange, std::vector<int>& out,
                std::string* error, std::string_view part) {
    out.clear();
    for (std::string_view item : split(value, ',')) {
        const auto n = number(item, high);
        const bool ok = n && (signedRange ? (*n != 0 && *n >= -high) : (*n >= low));
        if (!ok) {
            if (error) {
                *error = std::string(part) + " value \"" + std::string(item) + "\" out of range";
            }
            return false;
        }
        out.push_back(static_cast<int>(*n));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

bool contains(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

// Day number of the first day of week 1 of `year` for weeks starting on `weekStart`: week 1 is
// the first with at least four days in the year, so it holds the 4th of January.
int64_t firstWeekStart(int64_t year, int weekStart) {
    const int64_t jan4 = civil::daysFromCivil(year, 1, 4);
    return jan4 - civil::floorMod(civil::weekday(jan4) - weekStart, 7);
}

}  // namespace

std::optional<RecurrenceRule> RecurrenceRule::parse(std::string_view text, std::string* error) {
    RecurrenceRule rule;
    bool haveFreq = false;
    auto fail = [&](std::string why) -> std::optional<RecurrenceRule> {
        if (error) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    while (!text.empty() && (text.back() == ';' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return fail("empty RRULE");
    }
    for (std::string_view part : split(text, ';')) {
        const size_t eq = part.find('=');
        if (eq == std::string_view::npos) {
            return fail("RRULE part \"" + std::string(part) + "\" has no value");
        }
        std::string key(part.substr(0, eq));
        std::transform(key.begin(), key.end(), key.begin(), asciiUpper);
        const std::string_view value = part.substr(eq + 1);
        if (key == "FREQ") {
            static constexpr std::array<std::string_view, 7> kNames = {
                "SECONDLY", "MINUTELY", "HOURLY", "DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
            const auto found = std::find_if(
                kNames.begin(), kNames.end(),
                [&](std::string_view name) { return equalsIgnoringCase(name, value); });
            if (found == kNames.end()) {
                return fail("unknown FREQ \"" + std::string(value) + "\"");
            }
            rule.frequency = static_cast<Frequency>(found - kNames.begin());
            haveFreq = true;
        } else if (key == "INTERVAL") {
            const auto n = number(value, 1'000'000'000);
            if (!n || *n < 1) {
                return fail("INTERVAL must be a whole number from 1, not \"" + std::string(value) +
                            "\"");
            }
            rule.interval = *n;
        } else if (key == "COUNT") {
            const auto n = number(value, 1'000'000'000'000'000LL);
            if (!n || *n < 1) {
                return fail("COUNT must be a whole number from 1, not \"" + std::string(value) +
                            "\"");
            }
            rule.count = *n;
        } else if (key == "UNTIL") {
            rule.until = parseTimeValue(value);
            if (!rule.until) {
                return fail("UNTIL \"" + std::string(value) + "\" is not a date");
            }
        } else if (key == "WKST") {
            const auto d = weekdayOf(value);
            if (!d) {
                return fail("WKST \"" + std::string(value) + "\" is not a week day");
            }
            rule.weekStart = *d;
        } else if (key == "BYSECOND") {
            if (!numberList(value, 0, 60, false, rule.bySecond, error, key)) {
                return std::nullopt;
            }
            // A leap second reads as 59, as in a date-time: the wall clock has no second 60.
            if (!rule.bySecond.empty() && rule.bySecond.back() == 60) {
                rule.bySecond.back() = 59;
                rule.bySecond.erase(std::unique(rule.bySecond.begin(), rule.bySecond.end()),
                                    rule.bySecond.end());
            }
        } else if (key == "BYMINUTE") {
            if (!numberList(value, 0, 59, false, rule.byMinute, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYHOUR") {
            if (!numberList(value, 0, 23, false, rule.byHour, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYMONTHDAY") {
            if (!numberList(value, 1, 31, true, rule.byMonthDay, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYYEARDAY") {
            if (!numberList(value, 1, 366, true, rule.byYearDay, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYWEEKNO") {
            if (!numberList(value, 1, 53, true, rule.byWeekNo, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYMONTH") {
            if (!numberList(value, 1, 12, false, rule.byMonth, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYSETPOS") {
            if (!numberList(value, 1, 366, true, rule.bySetPos, error, key)) {
                return std::nullopt;
            }
        } else if (key == "BYDAY") {
            rule.byDay.clear();
            for (std::string_view item : split(value, ',')) {
                const auto d =
                    item.size() >= 2 ? weekdayOf(item.substr(item.size() - 2)) : std::nullopt;
                const std::string_view ord = item.substr(0, item.size() >= 2 ? item.size() - 2 : 0);
                const auto n = ord.empty() ? std::optional<int64_t>(0) : number(ord, 53);
                if (!d || !n || (!ord.empty() && *n == 0)) {
                    return fail("BYDAY value \"" + std::string(item) + "\" is not a week day");
                }
                rule.byDay.push_back({static_cast<int>(*n), *d});
            }
        }
    }
    if (!haveFreq) {
        return fail("RRULE without FREQ");
    }
    return rule;
}

RecurrenceIterator::RecurrenceIterator(const RecurrenceRule& rule, const civil::DateTime& start,
                                       std::optional<int64_t> untilLocal)
    : rule_(rule), start_(start), startSeconds_(start.seconds()), until_(untilLocal) {
    const Frequency f = rule.frequency;
    hours_ = rule.byHour;
    minutes_ = rule.byMinute;
    seconds_ = rule.bySecond;
    if (hours_.empty() && f > Frequency::Hourly) {
        hours_ = {start.hour};
    }
    if (minutes_.empty() && f > Frequency::Minutely) {
        minutes_ = {start.minute};
    }
    if (seconds_.empty() && f > Frequency::Secondly) {
        seconds_ = {start.second};
    }
    byMonthDay_ = rule.byMonthDay;
    byMonth_ = rule.byMonth;
    // Ordinals mean something only in a month or a year; finer rules take the bare week day.
    for (const WeekdayNum& d : rule.byDay) {
        if (d.ordinal == 0 || f < Frequency::Monthly) {
            plainDays_.push_back(d.weekday);
        } else {
            ordinalDays_.push_back(d);
        }
    }
    // A rule that names no day takes the start's.
    if (rule.byWeekNo.empty() && rule.byYearDay.empty() && rule.byMonthDay.empty() &&
        rule.byDay.empty()) {
        if (f == Frequency::Yearly) {
            if (byMonth_.empty()) {
                byMonth_ = {start.month};
            }
            byMonthDay_ = {start.day};
        } else if (f == Frequency::Monthly) {
            byMonthDay_ = {start.day};
        } else if (f == Frequency::Weekly) {
            plainDays_ = {civil::weekday(start.days())};
        }
    }
    if (f >= Frequency::Daily) {
        for (int h : hours_) {
            for (int m : minutes_) {
                for (int sec : seconds_) {
                    timesOfDay_.push_back(h * 3600 + m * 60 + sec);
                }
            }
        }
    }
    // Below a day each period holds the same number of times (or none): BYSETPOS that picks
    // none of them leaves every period empty, which would only spend the step budget.
    if (f <= Frequency::Hourly && !rule.bySetPos.empty()) {
        const int64_t perPeriod = f == Frequency::Hourly
                                      ? int64_t(minutes_.size()) * int64_t(seconds_.size())
                                  : f == Frequency::Minutely ? int64_t(seconds_.size())
                                                             : 1;
        done_ = std::none_of(rule.bySetPos.begin(), rule.bySetPos.end(),
                             [&](int pos) { return pos <= perPeriod && -pos <= perPeriod; });
    }
    year_ = start.year;
    month_ = start.month;
    const int64_t startDay = start.days();
    switch (f) {
        case Frequency::Weekly:
            day_ = startDay - civil::floorMod(civil::weekday(startDay) - rule.weekStart, 7);
            break;
        case Frequency::Daily:
            day_ = startDay;
            break;
        case Frequency::Hourly:
            second_ = startDay * kSecondsPerDay + start.hour * 3600;
            break;
        case Frequency::Minutely:
            second_ = startDay * kSecondsPerDay + start.hour * 3600 + start.minute * 60;
            break;
        case Frequency::Secondly:
            second_ = startSeconds_;
            break;
        default:
            break;
    }
}

int64_t RecurrenceIterator::periodStart() const {
    switch (rule_.frequency) {
        case Frequency::Yearly:
            return civil::daysFromCivil(year_, 1, 1) * kSecondsPerDay;
        case Frequency::Monthly:
            return civil::daysFromCivil(year_, month_, 1) * kSecondsPerDay;
        case Frequency::Weekly:
        case Frequency::Daily:
            return day_ * kSecondsPerDay;
        default:
            return second_;
    }
}

void RecurrenceIterator::skipTo(int64_t localSeconds) {
    if (rule_.count) {
        return;
    }
    skippedTo_ = localSeconds;
    const int64_t interval = rule_.interval;
    const civil::DateTime target = civil::DateTime::fromSeconds(localSeconds);
    switch (rule_.frequency) {
        case Frequency::Yearly: {
            const int64_t k = (target.year - 1 - year_) / interval;
            if (k > 0) {
                year_ += k * interval;
            }
            break;
        }
        case Frequency::Monthly: {
            const int64_t from = year_ * 12 + (month_ - 1);
            const int64_t to = target.year * 12 + (target.month - 1) - 1;
            const int64_t k = (to - from) / interval;
            if (k > 0) {
                const int64_t at = from + k * interval;
                year_ = civil::floorDiv(at, 12);
                month_ = static_cast<int>(civil::floorMod(at, 12)) + 1;
            }
            break;
        }
        case Frequency::Weekly:
        case Frequency::Daily: {
            const int64_t step = interval * (rule_.frequency == Frequency::Weekly ? 7 : 1);
            const int64_t k = (target.days() - 7 - day_) / step;
            if (k > 0) {
                day_ += k * step;
            }
            break;
        }
        default: {
            const int64_t unit = rule_.frequency == Frequency::Hourly     ? 3600
                                 : rule_.frequency == Frequency::Minutely ? 60
                                                                          : 1;
            const int64_t k = (localSeconds - kSecondsPerDay - second_) / (unit * interval);
            if (k > 0) {
                second_ += k * unit * interval;
            }
            break;
        }
    }
}

bool RecurrenceIterator::dayMatches(int64_t day) const {
    const civil::Ymd ymd = civil::civilFromDays(day);
    if (!byMonth_.empty() && !contains(byMonth_, ymd.month)) {
        return false;
    }
    const int dim = civil::daysInMonth(ymd.year, ymd.month);
    if (!byMonthDay_.empty() && !contains(byMonthDay_, ymd.day) &&
        !contains(byMonthDay_, ymd.day - dim - 1)) {
        return false;
    }
    const int64_t jan1 = civil::daysFromCivil(ymd.year, 1, 1);
    const int yd = static_cast<int>(day - jan1) + 1;
    const int ny = civil::daysInYear(ymd.year);
    if (!rule_.byYearDay.empty() && !contains(rule_.byYearDay, yd) &&
        !contains(rule_.byYearDay, yd - ny - 1)) {
        return false;
    }
    const int wd = civil::weekday(day);
    if (!rule_.byWeekNo.empty()) {
        // The week belongs to the year that holds most of it.
        int64_t weekYear = ymd.year;
        if (day >= firstWeekStart(ymd.year + 1, rule_.weekStart)) {
            weekYear = ymd.year + 1;
        } else if (day < firstWeekStart(ymd.year, rule_.weekStart)) {
            weekYear = ymd.year - 1;
        }
        const int64_t first = firstWeekStart(weekYear, rule_.weekStart);
        const int week = static_cast<int>((day - first) / 7) + 1;
        const int weeks =
            static_cast<int>((firstWeekStart(weekYear + 1, rule_.weekStart) - first) / 7);
        if (!contains(rule_.byWeekNo, week) && !contains(rule_.byWeekNo, week - weeks - 1)) {
            return false;
        }
    }
    if (!plainDays_.empty() || !ordinalDays_.empty()) {
        if (contains(plainDays_, wd)) {
            return true;
        }
        const bool inYear = rule_.frequency == Frequency::Yearly && byMonth_.empty();
        const int pos = inYear ? yd : ymd.day;
        const int len = inYear ? ny : dim;
        const int nth = (pos - 1) / 7 + 1;
        const int nthFromEnd = -((len - pos) / 7 + 1);
        for (const WeekdayNum& d : ordinalDays_) {
            if (d.weekday == wd && (d.ordinal == nth || d.ordinal == nthFromEnd)) {
                return true;
            }
        }
        return false;
    }
    return true;
}

void RecurrenceIterator::appendTimes(int64_t day, std::vector<int64_t>& out) const {
    const int64_t base = day * kSecondsPerDay;
    const Frequency f = rule_.frequency;
    const int64_t inDay = second_ - base;
    const int h = static_cast<int>(inDay / 3600);
    const int m = static_cast<int>(inDay / 60 % 60);
    const int s = static_cast<int>(inDay % 60);
    if (!rule_.byHour.empty() && !contains(rule_.byHour, h)) {
        return;
    }
    if (f == Frequency::Hourly) {
        for (int mm : minutes_) {
            for (int ss : seconds_) {
                out.push_back(base + h * 3600 + mm * 60 + ss);
            }
        }
        return;
    }
    if (!rule_.byMinute.empty() && !contains(rule_.byMinute, m)) {
        return;
    }
    if (f == Frequency::Minutely) {
        for (int ss : seconds_) {
            out.push_back(base + h * 3600 + m * 60 + ss);
        }
        return;
    }
    if (!rule_.bySecond.empty() && !contains(rule_.bySecond, s)) {
        return;
    }
    out.push_back(second_);
}

// Gathers the current period: its matching days (a day or longer) or its sorted times
// (pending_, below a day); false when the period gave nothing for a reason that also holds
// for the rest of its day (or hour, or minute).
bool RecurrenceIterator::fillPeriod() {
    pending_.clear();
    days_.clear();
    picked_.clear();
    pendingAt_ = 0;
    const Frequency f = rule_.frequency;
    auto addDay = [&](int64_t day) {
        if (dayMatches(day)) {
            days_.push_back(day);
        }
    };
    switch (f) {
        case Frequency::Yearly:
            for (int m = 1; m <= 12; ++m) {
                if (!byMonth_.empty() && !contains(byMonth_, m)) {
                    continue;
                }
                const int64_t first = civil::daysFromCivil(year_, m, 1);
                for (int d = 0; d < civil::daysInMonth(year_, m); ++d) {
                    addDay(first + d);
                }
            }
            break;
        case Frequency::Monthly: {
            const int64_t first = civil::daysFromCivil(year_, month_, 1);
            for (int d = 0; d < civil::daysInMonth(year_, month_); ++d) {
                addDay(first + d);
            }
            break;
        }
        case Frequency::Weekly:
            for (int d = 0; d < 7; ++d) {
                addDay(day_ + d);
            }
            break;
        case Frequency::Daily:
            addDay(day_);
            break;
        default: {
            // A day holds up to 86,400 periods: its match is worked out once.
            const int64_t day = civil::floorDiv(second_, kSecondsPerDay);
            if (day != matchedDay_) {
                matchedDay_ = day;
                dayMatched_ = dayMatches(day);
            }
            if (!dayMatched_) {
                return false;
            }
            appendTimes(day, pending_);
            break;
        }
    }
    if (f < Frequency::Daily) {
        if (!rule_.bySetPos.empty() && !pending_.empty()) {
            chosen_.clear();
            const auto n = static_cast<int64_t>(pending_.size());
            for (int pos : rule_.bySetPos) {
                const int64_t i = pos > 0 ? pos - 1 : n + pos;
                if (i >= 0 && i < n) {
                    chosen_.push_back(pending_[static_cast<size_t>(i)]);
                }
            }
            std::sort(chosen_.begin(), chosen_.end());
            chosen_.erase(std::unique(chosen_.begin(), chosen_.end()), chosen_.end());
            std::swap(pending_, chosen_);
        }
        return true;
    }
    const auto n = static_cast<int64_t>(days_.size() * timesOfDay_.size());
    if (!rule_.bySetPos.empty()) {
        for (int pos : rule_.bySetPos) {
            const int64_t i = pos > 0 ? pos - 1 : n + pos;
            if (i >= 0 && i < n) {
                picked_.push_back(i);
            }
        }
        std::sort(picked_.begin(), picked_.end());
        picked_.erase(std::unique(picked_.begin(), picked_.end()), picked_.end());
    } else {
        // Straight to the first time at or after the start (and the point skipped to).
        const int64_t from = std::max(startSeconds_, skippedTo_);
        const int64_t day = civil::floorDiv(from, kSecondsPerDay);
        const auto d = std::lower_bound(days_.begin(), days_.end(), day);
        pendingAt_ = static_cast<size_t>(d - days_.begin()) * timesOfDay_.size();
        if (d != days_.end() && *d == day) {
            const int inDay = static_cast<int>(from - day * kSecondsPerDay);
            pendingAt_ += static_cast<size_t>(
                std::lower_bound(timesOfDay_.begin(), timesOfDay_.end(), inDay) -
                timesOfDay_.begin());
        }
    }
    return true;
}

size_t RecurrenceIterator::periodSize() const {
    if (rule_.frequency < Frequency::Daily) {
        return pending_.size();
    }
    return rule_.bySetPos.empty() ? days_.size() * timesOfDay_.size() : picked_.size();
}

int64_t RecurrenceIterator::periodTime(size_t i) const {
    if (rule_.frequency < Frequency::Daily) {
        return pending_[i];
    }
    const size_t at = rule_.bySetPos.empty() ? i : static_cast<size_t>(picked_[i]);
    const size_t perDay = timesOfDay_.size();
    return days_[at / perDay] * kSecondsPerDay + timesOfDay_[at % perDay];
}

void RecurrenceIterator::advance(int64_t skipUnitSeconds) {
    const int64_t interval = rule_.interval;
    switch (rule_.frequency) {
        case Frequency::Yearly:
            year_ += interval;
            break;
        case Frequency::Monthly: {
            const int64_t at = year_ * 12 + (month_ - 1) + interval;
            year_ = civil::floorDiv(at, 12);
            month_ = static_cast<int>(civil::floorMod(at, 12)) + 1;
            break;
        }
        case Frequency::Weekly:
            day_ += 7 * interval;
            break;
        case Frequency::Daily:
            day_ += interval;
            break;
        default: {
            const int64_t step = (rule_.frequency == Frequency::Hourly     ? 3600
                                  : rule_.frequency == Frequency::Minutely ? 60
                                                                           : 1) *
                                 interval;
            if (skipUnitSeconds > 0) {
                // Over the rest of the day (hour, minute) that cannot match: to its last period.
                const int64_t unitEnd =
                    (civil::floorDiv(second_, skipUnitSeconds) + 1) * skipUnitSeconds;
                const int64_t k = (unitEnd - 1 - second_) / step;
                second_ += k * step;
            }
            second_ += step;
            break;
        }
    }
}

std::optional<int64_t> RecurrenceIterator::next() {
    while (!done_) {
        while (pendingAt_ < periodSize()) {
            const int64_t t = periodTime(pendingAt_++);
            if (t < startSeconds_) {
                continue;
            }
            if ((until_ && t > *until_) || (rule_.count && emitted_ >= *rule_.count)) {
                done_ = true;
                return std::nullopt;
            }
            ++emitted_;
            return t;
        }
        const int64_t begin = periodStart();
        if ((limit_ && begin > *limit_) || (until_ && begin > *until_) ||
            begin >= civil::daysFromCivil(10000, 1, 1) * kSecondsPerDay) {
            done_ = true;
            break;
        }
        if (++steps_ > kStepBudget) {
            done_ = budgetSpent_ = true;
            break;
        }
        int64_t skipUnit = 0;
        if (!fillPeriod()) {
            skipUnit = kSecondsPerDay;
        } else if (pending_.empty() && rule_.frequency < Frequency::Hourly) {
            const int64_t inDay = civil::floorMod(second_, kSecondsPerDay);
            if (!rule_.byHour.empty() && !contains(rule_.byHour, static_cast<int>(inDay / 3600))) {
                skipUnit = 3600;
            } else if (rule_.frequency == Frequency::Secondly && !rule_.byMinute.empty() &&
                       !contains(rule_.byMinute, static_cast<int>(inDay / 60 % 60))) {
                skipUnit = 60;
            }
        } else if (pending_.empty() && rule_.frequency == Frequency::Hourly) {
            skipUnit = 0;
        }
        advance(skipUnit);
    }
    return std::nullopt;
}

}  // namespace talvor::ical
