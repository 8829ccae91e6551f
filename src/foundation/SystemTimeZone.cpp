#include "SystemTimeZone.h"

#include "IcuDates.h"
#include "platform/Clock.h"

#include <QDateTime>

#include <unicode/tzrule.h>
#include <unicode/tztrans.h>

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace talvor {
namespace {

constexpr int kFirstYear = 1800;
constexpr int kEndYear = 2200;
constexpr int32_t kMillisPerDay = 86400000;
constexpr double kBeforeAll = -std::numeric_limits<double>::infinity();

const QDateTime& firstInstant() {
    static const QDateTime t(QDate(kFirstYear, 1, 1), QTime(0, 0), Qt::UTC);
    return t;
}

const QDateTime& endInstant() {
    static const QDateTime t(QDate(kEndYear, 1, 1), QTime(0, 0), Qt::UTC);
    return t;
}

// Days from 1970-01-01 to a day of the proleptic Gregorian calendar (month 1-12).
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int32_t gregorianMonthLength(int64_t year, int32_t month) {
    static constexpr int32_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 1 && leap ? 29 : kLengths[month];
}

// Whether a local time that a change of offset skips or repeats is read with the offset in
// force before the change, by ICU's option bits (standard 0x01, daylight 0x03, latter 0x0C).
bool readsAsBefore(int option, bool dstBefore, bool dstAfter) {
    const int kind = option & 0x03;
    if (dstBefore != dstAfter && (kind == 0x01 || kind == 0x03)) {
        const bool wantDst = kind == 0x03;
        return dstBefore == wantDst;
    }
    return (option & UCAL_TZ_LOCAL_LATTER) != UCAL_TZ_LOCAL_LATTER;
}

}  // namespace

struct SystemTimeZone::Rules {
    struct Period {
        double start;  // UTC milliseconds; the first period has no start
        int32_t raw;
        int32_t dst;
        int32_t rule;  // index into transitionRules; -1 for the first period
    };

    QTimeZone zone;
    std::vector<Period> periods;
    std::unique_ptr<icu::InitialTimeZoneRule> initial;
    std::vector<std::unique_ptr<icu::TimeArrayTimeZoneRule>> transitionRules;

    std::size_t periodAt(double utc) const {
        const auto it = std::upper_bound(periods.begin() + 1, periods.end(), utc,
                                         [](double v, const Period& p) { return v < p.start; });
        return static_cast<std::size_t>(it - periods.begin()) - 1;
    }

    // The local time at which transition i takes over, given how skipped and repeated times
    // are to be read. These rise with i, since changes are further apart than their size.
    double localCutoff(std::size_t i, int nonExisting, int duplicated) const {
        const Period& before = periods[i - 1];
        const Period& after = periods[i];
        const int32_t ob = before.raw + before.dst;
        const int32_t oa = after.raw + after.dst;
        const int option = oa > ob ? nonExisting : duplicated;
        const bool useBefore = readsAsBefore(option, before.dst != 0, after.dst != 0);
        return after.start + (useBefore ? std::max(ob, oa) : std::min(ob, oa));
    }

    std::size_t periodAtLocal(double local, int nonExisting, int duplicated) const {
        std::size_t lo = 1;
        std::size_t hi = periods.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (localCutoff(mid, nonExisting, duplicated) <= local) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return lo - 1;
    }

    const icu::TimeZoneRule& ruleOf(std::size_t period) const {
        if (period == 0) {
            return *initial;
        }
        return *transitionRules[static_cast<std::size_t>(periods[period].rule)];
    }

    bool samePeriods(const Rules& other) const {
        return std::equal(periods.begin(), periods.end(), other.periods.begin(),
                          other.periods.end(), [](const Period& a, const Period& b) {
                              return a.start == b.start && a.raw == b.raw && a.dst == b.dst;
                          });
    }
};

namespace {

using Rules = SystemTimeZone::Rules;

std::pair<int32_t, int32_t> rawAndDst(int offsetSeconds, int daylightSeconds) {
    const int32_t total = offsetSeconds * 1000;
    const int32_t dst = daylightSeconds > 0 ? daylightSeconds * 1000 : 0;
    return {total - dst, dst};
}

std::shared_ptr<const Rules> buildRules(const QTimeZone& zone) {
    struct Found {
        double start;
        int32_t raw;
        int32_t dst;
        QString name;
    };
    std::vector<Found> found;
    if (!zone.isValid()) {
        found.push_back({kBeforeAll, 0, 0, QStringLiteral("UTC")});
    } else {
        const QDateTime& from = firstInstant();
        const auto [raw, dst] = rawAndDst(zone.offsetFromUtc(from), zone.daylightTimeOffset(from));
        found.push_back({kBeforeAll, raw, dst, zone.abbreviation(from)});
        QDateTime at = from;
        while (zone.hasTransitions()) {
            QTimeZone::OffsetData t = zone.nextTransition(at);
            if (!t.atUtc.isValid()) {
                // Qt 6.4 finds nothing after the last transition listed in the file; a
                // millisecond later it goes on with the file's rule for later years.
                t = zone.nextTransition(at.addMSecs(1));
            }
            if (!t.atUtc.isValid() || t.atUtc >= endInstant() || t.atUtc <= at) {
                break;
            }
            at = t.atUtc;
            const auto [tRaw, tDst] = rawAndDst(t.offsetFromUtc, t.daylightTimeOffset);
            if (tRaw == found.back().raw && tDst == found.back().dst) {
                continue;  // only the name changed
            }
            found.push_back(
                {static_cast<double>(t.atUtc.toMSecsSinceEpoch()), tRaw, tDst, t.abbreviation});
        }
    }

    auto rules = std::make_shared<Rules>();
    rules->zone = zone;
    rules->initial = std::make_unique<icu::InitialTimeZoneRule>(
        IcuDates::toUnicode(found.front().name), found.front().raw, found.front().dst);
    rules->periods.push_back({kBeforeAll, found.front().raw, found.front().dst, -1});

    // One rule per kind of period, listing the instants at which that kind begins.
    using Kind = std::tuple<int32_t, int32_t, QString>;
    std::map<Kind, int32_t> kindIndex;
    std::vector<Kind> kinds;
    std::vector<std::vector<UDate>> starts;
    for (std::size_t i = 1; i < found.size(); ++i) {
        const Found& f = found[i];
        const Kind kind{f.raw, f.dst, f.name};
        auto [it, added] = kindIndex.try_emplace(kind, static_cast<int32_t>(kinds.size()));
        if (added) {
            kinds.push_back(kind);
            starts.emplace_back();
        }
        starts[static_cast<std::size_t>(it->second)].push_back(f.start);
        rules->periods.push_back({f.start, f.raw, f.dst, it->second});
    }
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const auto& [raw, dst, name] = kinds[k];
        rules->transitionRules.push_back(std::make_unique<icu::TimeArrayTimeZoneRule>(
            IcuDates::toUnicode(name), raw, dst, starts[k].data(),
            static_cast<int32_t>(starts[k].size()), icu::DateTimeRule::UTC_TIME));
    }
    return rules;
}

std::shared_ptr<const Rules> rulesFor(const QTimeZone& zone) {
    static std::mutex mutex;
    static std::map<QByteArray, std::shared_ptr<const Rules>> cache;
    const QByteArray key = zone.isValid() ? zone.id() : QByteArray();
    const std::lock_guard lock(mutex);
    auto& entry = cache[key];
    if (!entry) {
        entry = buildRules(zone);
    }
    return entry;
}

icu::UnicodeString icuId(const QTimeZone& zone) {
    if (!zone.isValid()) {
        return icu::UnicodeString(u"Etc/Unknown");
    }
    return IcuDates::toUnicode(QString::fromUtf8(zone.id()));
}

double nowMillis() {
    return platform::Clock::shared().now().toUDate();
}

}  // namespace

SystemTimeZone::SystemTimeZone(const QTimeZone& zone)
    : icu::BasicTimeZone(icuId(zone)), rules_(rulesFor(zone)) {}

SystemTimeZone::SystemTimeZone(const SystemTimeZone& other)
    : icu::BasicTimeZone(other), rules_(other.rules_) {}

SystemTimeZone::~SystemTimeZone() = default;

const QTimeZone& SystemTimeZone::qTimeZone() const {
    return rules_->zone;
}

QString SystemTimeZone::abbreviation(const QTimeZone& zone, Date date) {
    return zone.isValid() ? zone.abbreviation(date.toQDateTime()) : QString();
}

void SystemTimeZone::adoptAsIcuDefault(platform::Clock& clock) {
    static QMetaObject::Connection following;
    QObject::disconnect(following);
    const auto adopt = [&clock] {
        icu::TimeZone::adoptDefault(new SystemTimeZone(clock.currentZone()));
    };
    adopt();
    following = QObject::connect(&clock, &platform::Clock::zoneChanged, &clock, adopt);
}

bool SystemTimeZone::operator==(const icu::TimeZone& that) const {
    return icu::BasicTimeZone::operator==(that) && hasSameRules(that);
}

int32_t SystemTimeZone::getOffset(uint8_t era, int32_t year, int32_t month, int32_t day,
                                  uint8_t dayOfWeek, int32_t millis, UErrorCode& status) const {
    if (month < 0 || month > 11) {
        status = U_ILLEGAL_ARGUMENT_ERROR;
        return 0;
    }
    const int64_t y = era == 0 ? 1 - int64_t{year} : year;
    return getOffset(era, year, month, day, dayOfWeek, millis, gregorianMonthLength(y, month),
                     status);
}

int32_t SystemTimeZone::getOffset(uint8_t era, int32_t year, int32_t month, int32_t day,
                                  uint8_t dayOfWeek, int32_t millis, int32_t monthLength,
                                  UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return 0;
    }
    if (era > 1 || month < 0 || month > 11 || monthLength < 28 || monthLength > 31 || day < 1 ||
        day > monthLength || dayOfWeek < UCAL_SUNDAY || dayOfWeek > UCAL_SATURDAY || millis < 0 ||
        millis >= kMillisPerDay) {
        status = U_ILLEGAL_ARGUMENT_ERROR;
        return 0;
    }
    // Era 0 is BC: year 1 BC is year 0.
    const int64_t y = era == 0 ? 1 - int64_t{year} : year;
    const double local =
        static_cast<double>(daysFromCivil(y, month + 1, day)) * kMillisPerDay + millis;
    // As ICU's own zones read these fields: daylight time where a time is ambiguous.
    int32_t raw = 0;
    int32_t dst = 0;
    getOffsetFromLocal(local, UCAL_TZ_LOCAL_DAYLIGHT_FORMER, UCAL_TZ_LOCAL_DAYLIGHT_FORMER, raw,
                       dst, status);
    return raw + dst;
}

void SystemTimeZone::getOffset(UDate date, UBool local, int32_t& rawOffset, int32_t& dstOffset,
                               UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return;
    }
    if (local) {
        getOffsetFromLocal(date, UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_LATTER, rawOffset, dstOffset,
                           status);
        return;
    }
    const Rules::Period& p = rules_->periods[rules_->periodAt(date)];
    rawOffset = p.raw;
    dstOffset = p.dst;
}

void SystemTimeZone::getOffsetFromLocal(UDate date, UTimeZoneLocalOption nonExistingTimeOpt,
                                        UTimeZoneLocalOption duplicatedTimeOpt, int32_t& rawOffset,
                                        int32_t& dstOffset, UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return;
    }
    const Rules::Period& p =
        rules_->periods[rules_->periodAtLocal(date, nonExistingTimeOpt, duplicatedTimeOpt)];
    rawOffset = p.raw;
    dstOffset = p.dst;
}

void SystemTimeZone::setRawOffset(int32_t) {}

int32_t SystemTimeZone::getRawOffset() const {
    return rules_->periods[rules_->periodAt(nowMillis())].raw;
}

UBool SystemTimeZone::useDaylightTime() const {
    return getDSTSavings() != 0;
}

int32_t SystemTimeZone::getDSTSavings() const {
    const auto& periods = rules_->periods;
    const auto it =
        std::find_if(periods.begin() + static_cast<std::ptrdiff_t>(rules_->periodAt(nowMillis())),
                     periods.end(), [](const Rules::Period& p) { return p.dst != 0; });
    return it == periods.end() ? 0 : it->dst;
}

UBool SystemTimeZone::inDaylightTime(UDate date, UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return false;
    }
    return rules_->periods[rules_->periodAt(date)].dst != 0;
}

UBool SystemTimeZone::hasSameRules(const icu::TimeZone& other) const {
    if (const auto* ours = dynamic_cast<const SystemTimeZone*>(&other)) {
        return rules_ == ours->rules_ || rules_->samePeriods(*ours->rules_);
    }
    const auto* basic = dynamic_cast<const icu::BasicTimeZone*>(&other);
    if (basic == nullptr) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const double from = static_cast<double>(firstInstant().toMSecsSinceEpoch());
    const double to = static_cast<double>(endInstant().toMSecsSinceEpoch());
    const bool same = hasEquivalentTransitions(*basic, from, to, false, status);
    return U_SUCCESS(status) && same;
}

SystemTimeZone* SystemTimeZone::clone() const {
    return new SystemTimeZone(*this);
}

UClassID SystemTimeZone::getStaticClassID() {
    static char classId = 0;
    return &classId;
}

UClassID SystemTimeZone::getDynamicClassID() const {
    return getStaticClassID();
}

UBool SystemTimeZone::getNextTransition(UDate base, UBool inclusive,
                                        icu::TimeZoneTransition& result) const {
    const auto& periods = rules_->periods;
    const auto it =
        inclusive ? std::lower_bound(periods.begin() + 1, periods.end(), base,
                                     [](const Rules::Period& p, double v) { return p.start < v; })
                  : std::upper_bound(periods.begin() + 1, periods.end(), base,
                                     [](double v, const Rules::Period& p) { return v < p.start; });
    if (it == periods.end()) {
        return false;
    }
    const auto i = static_cast<std::size_t>(it - periods.begin());
    result.setTime(periods[i].start);
    result.setFrom(rules_->ruleOf(i - 1));
    result.setTo(rules_->ruleOf(i));
    return true;
}

UBool SystemTimeZone::getPreviousTransition(UDate base, UBool inclusive,
                                            icu::TimeZoneTransition& result) const {
    const auto& periods = rules_->periods;
    // The first transition after (or, not inclusive, at or after) the base; the one before it.
    const auto it =
        inclusive ? std::upper_bound(periods.begin() + 1, periods.end(), base,
                                     [](double v, const Rules::Period& p) { return v < p.start; })
                  : std::lower_bound(periods.begin() + 1, periods.end(), base,
                                     [](const Rules::Period& p, double v) { return p.start < v; });
    const auto i = static_cast<std::size_t>(it - periods.begin()) - 1;
    if (i < 1) {
        return false;
    }
    result.setTime(periods[i].start);
    result.setFrom(rules_->ruleOf(i - 1));
    result.setTo(rules_->ruleOf(i));
    return true;
}

int32_t SystemTimeZone::countTransitionRules(UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return 0;
    }
    return static_cast<int32_t>(rules_->transitionRules.size());
}

void SystemTimeZone::getTimeZoneRules(const icu::InitialTimeZoneRule*& initial,
                                      const icu::TimeZoneRule* trsrules[], int32_t& trscount,
                                      UErrorCode& status) const {
    if (U_FAILURE(status)) {
        return;
    }
    initial = rules_->initial.get();
    int32_t n = 0;
    for (const auto& rule : rules_->transitionRules) {
        if (n >= trscount) {
            break;
        }
        trsrules[n++] = rule.get();
    }
    trscount = n;
}

}  // namespace talvor
