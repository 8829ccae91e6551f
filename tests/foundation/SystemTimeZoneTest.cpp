#include "DatesTestSupport.h"

#include "foundation/IcuDates.h"
#include "foundation/SystemTimeZone.h"
#include "support/QtPrinters.h"

#include <unicode/gregocal.h>
#include <unicode/rbtz.h>
#include <unicode/tzrule.h>
#include <unicode/tztrans.h>

#include <vector>

namespace talvor {
namespace {

using test::localDate;
using test::utcDate;
using test::wallClock;

constexpr int32_t kHour = 3600000;

class datesTimeZone : public test::DatesTest {};

UDate utcMillis(const char* iso) {
    return utcDate(iso).toUDate();
}

// The wall-clock time written as if it were UTC: how ICU passes local times to a zone.
UDate localMillis(const char* isoLocal) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(isoLocal), Qt::ISODate);
    t.setTimeSpec(Qt::UTC);
    return static_cast<UDate>(t.toMSecsSinceEpoch());
}

QString formatted(const char* pattern, Date date, const char* zoneId) {
    const auto format =
        IcuDates::createPatternFormat(QString::fromLatin1(pattern), QTimeZone(zoneId));
    return format ? IcuDates::format(*format, date) : QStringLiteral("(no formatter)");
}

using foundationDatesTimeZone = datesTimeZone;

TEST_F(foundationDatesTimeZone, MexicoCityKeepsStandardTimeSinceItDroppedSummerTime) {
    const Date noonUtc = utcDate("2025-07-01T12:00:00Z");
    EXPECT_EQ(formatted("HH:mm", noonUtc, "America/Mexico_City"), QStringLiteral("06:00"));

    const auto calendar =
        IcuDates::createCalendar(QStringLiteral("gregorian"), QTimeZone("America/Mexico_City"));
    ASSERT_TRUE(calendar);
    UErrorCode status = U_ZERO_ERROR;
    calendar->setTime(noonUtc.toUDate(), status);
    EXPECT_EQ(calendar->get(UCAL_HOUR_OF_DAY, status), 6);
    EXPECT_EQ(calendar->get(UCAL_DST_OFFSET, status), 0);
    EXPECT_TRUE(U_SUCCESS(status));
}

TEST_F(foundationDatesTimeZone, CiudadJuarezIsKnown) {
    const SystemTimeZone zone(QTimeZone("America/Ciudad_Juarez"));
    icu::UnicodeString id;
    EXPECT_EQ(IcuDates::fromUnicode(zone.getID(id)), QStringLiteral("America/Ciudad_Juarez"));
    EXPECT_EQ(formatted("HH:mm xxx", utcDate("2025-01-15T12:00:00Z"), "America/Ciudad_Juarez"),
              QStringLiteral("05:00 -07:00"));
    EXPECT_EQ(formatted("HH:mm xxx", utcDate("2025-07-15T12:00:00Z"), "America/Ciudad_Juarez"),
              QStringLiteral("06:00 -06:00"));
}

struct OffsetCase {
    const char* zone;
    const char* utc;
    int32_t totalSeconds;
    int32_t dstSeconds;
    const char* abbreviation;
};

class datesTimeZoneOffsets : public datesTimeZone,
                             public ::testing::WithParamInterface<OffsetCase> {};

using foundationDatesTimeZoneOffsets = datesTimeZoneOffsets;

TEST_P(foundationDatesTimeZoneOffsets, ComeFromTheSystemDatabase) {
    const OffsetCase& c = GetParam();
    const QTimeZone qZone(c.zone);
    const SystemTimeZone zone(qZone);
    const Date date = utcDate(c.utc);
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone.getOffset(date.toUDate(), false, raw, dst, status);
    ASSERT_TRUE(U_SUCCESS(status));
    EXPECT_EQ(raw + dst, c.totalSeconds * 1000) << c.zone << ' ' << c.utc;
    EXPECT_EQ(dst, c.dstSeconds * 1000) << c.zone << ' ' << c.utc;
    EXPECT_EQ(bool(zone.inDaylightTime(date.toUDate(), status)), c.dstSeconds != 0);
    EXPECT_EQ(SystemTimeZone::abbreviation(qZone, date), QString::fromLatin1(c.abbreviation));
    // Our formatter shows the wall-clock time that Qt computes from the same database.
    EXPECT_EQ(formatted("yyyy-MM-dd HH:mm:ss", date, c.zone),
              date.toQDateTime().toTimeZone(qZone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

INSTANTIATE_TEST_SUITE_P(
    Zones, foundationDatesTimeZoneOffsets,
    ::testing::Values(
        OffsetCase{"Europe/Berlin", "2024-01-15T12:00:00Z", 3600, 0, "CET"},
        OffsetCase{"Europe/Berlin", "2024-07-15T12:00:00Z", 7200, 3600, "CEST"},
        // Years after those the zone file lists come from the file's rule.
        OffsetCase{"Europe/Berlin", "2150-07-15T12:00:00Z", 7200, 3600, "CEST"},
        OffsetCase{"Europe/Berlin", "1850-01-01T00:00:00Z", 3208, 0, "LMT"},
        OffsetCase{"America/Mexico_City", "2021-07-01T12:00:00Z", -18000, 3600, "CDT"},
        OffsetCase{"America/Mexico_City", "2025-07-01T12:00:00Z", -21600, 0, "CST"},
        OffsetCase{"America/Ciudad_Juarez", "2022-11-15T12:00:00Z", -21600, 0, "CST"},
        OffsetCase{"America/Ciudad_Juarez", "2025-01-15T12:00:00Z", -25200, 0, "MST"},
        OffsetCase{"America/Ciudad_Juarez", "2025-07-15T12:00:00Z", -21600, 3600, "MDT"},
        OffsetCase{"America/New_York", "2025-01-15T12:00:00Z", -18000, 0, "EST"},
        OffsetCase{"Australia/Sydney", "2025-01-15T12:00:00Z", 39600, 3600, "AEDT"},
        OffsetCase{"Australia/Sydney", "2025-07-15T12:00:00Z", 36000, 0, "AEST"},
        OffsetCase{"Asia/Kathmandu", "2025-07-15T12:00:00Z", 20700, 0, "+0545"},
        // Dublin's winter is a negative saving in the database; ICU gets it as standard time.
        OffsetCase{"Europe/Dublin", "2025-01-15T12:00:00Z", 0, 0, "GMT"},
        OffsetCase{"Europe/Dublin", "2025-07-15T12:00:00Z", 3600, 0, "IST"},
        OffsetCase{"UTC", "2025-07-15T12:00:00Z", 0, 0, "UTC"}));

struct LocalCase {
    const char* berlinWallClock;
    UTimeZoneLocalOption nonExisting;
    UTimeZoneLocalOption duplicated;
    int32_t totalHours;
};

TEST_F(foundationDatesTimeZone, SkippedAndRepeatedLocalTimesFollowTheOptions) {
    const SystemTimeZone berlin(QTimeZone("Europe/Berlin"));
    const LocalCase cases[] = {
        // 2024-03-31 02:30 does not exist (02:00 CET -> 03:00 CEST).
        {"2024-03-31T02:30:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, 1},
        {"2024-03-31T02:30:00", UCAL_TZ_LOCAL_LATTER, UCAL_TZ_LOCAL_FORMER, 2},
        {"2024-03-31T02:30:00", UCAL_TZ_LOCAL_STANDARD_LATTER, UCAL_TZ_LOCAL_FORMER, 1},
        {"2024-03-31T02:30:00", UCAL_TZ_LOCAL_DAYLIGHT_FORMER, UCAL_TZ_LOCAL_FORMER, 2},
        // 2024-10-27 02:30 happens twice (03:00 CEST -> 02:00 CET).
        {"2024-10-27T02:30:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, 2},
        {"2024-10-27T02:30:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_LATTER, 1},
        {"2024-10-27T02:30:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_STANDARD_FORMER, 1},
        {"2024-10-27T02:30:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_DAYLIGHT_LATTER, 2},
        // Just outside the ranges the options do not matter.
        {"2024-03-31T01:59:59", UCAL_TZ_LOCAL_LATTER, UCAL_TZ_LOCAL_LATTER, 1},
        {"2024-03-31T03:00:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, 2},
        {"2024-10-27T01:59:59", UCAL_TZ_LOCAL_LATTER, UCAL_TZ_LOCAL_LATTER, 2},
        {"2024-10-27T03:00:00", UCAL_TZ_LOCAL_FORMER, UCAL_TZ_LOCAL_FORMER, 1},
    };
    for (const LocalCase& c : cases) {
        int32_t raw = 0;
        int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        berlin.getOffsetFromLocal(localMillis(c.berlinWallClock), c.nonExisting, c.duplicated, raw,
                                  dst, status);
        EXPECT_TRUE(U_SUCCESS(status));
        EXPECT_EQ(raw + dst, c.totalHours * kHour)
            << c.berlinWallClock << " options " << c.nonExisting << '/' << c.duplicated;
    }

    // A plain local reading is ICU's: a skipped time before the change, a repeated one after.
    for (const auto& [wallClock, totalHours] :
         {std::pair{"2024-03-31T02:30:00", 1}, std::pair{"2024-10-27T02:30:00", 1}}) {
        int32_t raw = 0;
        int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        berlin.getOffset(localMillis(wallClock), true, raw, dst, status);
        EXPECT_EQ(raw + dst, totalHours * kHour) << wallClock;
    }
}

TEST_F(foundationDatesTimeZone, CalendarFieldsInSkippedAndRepeatedHours) {
    const auto calendar =
        IcuDates::createCalendar(QStringLiteral("gregorian"), QTimeZone("Europe/Berlin"));
    ASSERT_TRUE(calendar);
    UErrorCode status = U_ZERO_ERROR;
    calendar->clear();
    calendar->set(2024, UCAL_MARCH, 31, 2, 30);
    EXPECT_EQ(Date::fromUDate(calendar->getTime(status)), utcDate("2024-03-31T01:30:00Z"));

    calendar->clear();
    calendar->set(2024, UCAL_OCTOBER, 27, 2, 30);
    EXPECT_EQ(Date::fromUDate(calendar->getTime(status)), utcDate("2024-10-27T01:30:00Z"));
    calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    calendar->clear();
    calendar->set(2024, UCAL_OCTOBER, 27, 2, 30);
    EXPECT_EQ(Date::fromUDate(calendar->getTime(status)), utcDate("2024-10-27T00:30:00Z"));
    EXPECT_TRUE(U_SUCCESS(status));
}

TEST_F(foundationDatesTimeZone, AddingADayKeepsTheWallClockAcrossChanges) {
    struct Case {
        const char* zone;
        const char* from;
        const char* to;
        double elapsedHours;
    };
    const Case cases[] = {
        {"Europe/Berlin", "2024-03-30T12:00:00", "2024-03-31T12:00:00", 23},
        {"Europe/Berlin", "2024-10-26T12:00:00", "2024-10-27T12:00:00", 25},
        // 02:30 does not exist on the next day: the day moves on to 03:30.
        {"Europe/Berlin", "2024-03-30T02:30:00", "2024-03-31T03:30:00", 24},
        {"Australia/Sydney", "2025-04-05T12:00:00", "2025-04-06T12:00:00", 25},
        {"Australia/Sydney", "2025-10-04T12:00:00", "2025-10-05T12:00:00", 23},
        // The first Sunday of April was Mexico City's change until 2022.
        {"America/Mexico_City", "2025-04-05T12:00:00", "2025-04-06T12:00:00", 24},
    };
    for (const Case& c : cases) {
        const auto calendar =
            IcuDates::createCalendar(QStringLiteral("gregorian"), QTimeZone(c.zone));
        ASSERT_TRUE(calendar);
        UErrorCode status = U_ZERO_ERROR;
        const Date from = localDate(c.from, c.zone);
        calendar->setTime(from.toUDate(), status);
        calendar->add(UCAL_DATE, 1, status);
        const Date to = Date::fromUDate(calendar->getTime(status));
        EXPECT_TRUE(U_SUCCESS(status));
        EXPECT_EQ(wallClock(to, c.zone), QString::fromLatin1(c.to)) << c.zone << ' ' << c.from;
        EXPECT_EQ(to.timeIntervalSince(from), c.elapsedHours * 3600) << c.zone << ' ' << c.from;
    }
}

struct TransitionCase {
    const char* zone;
    const char* after;
    const char* expected;  // nullptr: none
    int32_t fromTotalHours;
    int32_t toTotalHours;
};

TEST_F(foundationDatesTimeZone, TransitionsAreTheDatabases) {
    const TransitionCase cases[] = {
        {"Europe/Berlin", "2024-01-01T00:00:00Z", "2024-03-31T01:00:00Z", 1, 2},
        {"Europe/Berlin", "2024-04-01T00:00:00Z", "2024-10-27T01:00:00Z", 2, 1},
        // The last change the zone file lists, then its rule for the following years.
        {"Europe/Berlin", "2037-10-25T01:00:00Z", "2038-03-28T01:00:00Z", 1, 2},
        {"Australia/Sydney", "2025-01-01T00:00:00Z", "2025-04-05T16:00:00Z", 11, 10},
        {"America/Mexico_City", "2022-06-01T00:00:00Z", "2022-10-30T07:00:00Z", -5, -6},
        {"America/Mexico_City", "2022-10-30T07:00:00Z", nullptr, 0, 0},
        {"America/Ciudad_Juarez", "2022-10-30T08:00:00Z", "2022-11-30T06:00:00Z", -6, -7},
        {"UTC", "1900-01-01T00:00:00Z", nullptr, 0, 0},
    };
    for (const TransitionCase& c : cases) {
        const SystemTimeZone zone{QTimeZone(c.zone)};
        icu::TimeZoneTransition t;
        const bool found = zone.getNextTransition(utcMillis(c.after), false, t);
        ASSERT_EQ(found, c.expected != nullptr) << c.zone << " after " << c.after;
        if (!found) {
            continue;
        }
        EXPECT_EQ(t.getTime(), utcMillis(c.expected)) << c.zone << " after " << c.after;
        EXPECT_EQ(t.getFrom()->getRawOffset() + t.getFrom()->getDSTSavings(),
                  c.fromTotalHours * kHour);
        EXPECT_EQ(t.getTo()->getRawOffset() + t.getTo()->getDSTSavings(), c.toTotalHours * kHour);
        // Inclusive finds the transition at the base itself.
        icu::TimeZoneTransition same;
        ASSERT_TRUE(zone.getNextTransition(t.getTime(), true, same));
        EXPECT_EQ(same.getTime(), t.getTime());
        ASSERT_TRUE(zone.getPreviousTransition(t.getTime(), true, same));
        EXPECT_EQ(same.getTime(), t.getTime());
        icu::TimeZoneTransition before;
        ASSERT_TRUE(zone.getPreviousTransition(t.getTime(), false, before));
        EXPECT_LT(before.getTime(), t.getTime());
    }
}

// The transitions and the rules must describe the very offsets the zone gives, so that ICU
// code working from either (formatters, rule-based zones) agrees with us.
TEST_F(foundationDatesTimeZone, TransitionsAndRulesDescribeTheOffsets) {
    for (const char* id : {"Europe/Berlin", "America/Mexico_City", "America/Ciudad_Juarez",
                           "Australia/Sydney", "Europe/Dublin", "Asia/Kolkata", "UTC"}) {
        const SystemTimeZone zone{QTimeZone(id)};
        const auto totalAt = [](const icu::TimeZone& z, UDate t) {
            int32_t raw = 0;
            int32_t dst = 0;
            UErrorCode status = U_ZERO_ERROR;
            z.getOffset(t, false, raw, dst, status);
            return raw + dst;
        };

        icu::TimeZoneTransition t;
        UDate previous = -1e300;
        int count = 0;
        for (UDate base = -1e300; zone.getNextTransition(base, false, t); base = t.getTime()) {
            ASSERT_GT(t.getTime(), previous) << id;
            EXPECT_EQ(totalAt(zone, t.getTime() - 1),
                      t.getFrom()->getRawOffset() + t.getFrom()->getDSTSavings())
                << id << ' ' << t.getTime();
            EXPECT_EQ(totalAt(zone, t.getTime()),
                      t.getTo()->getRawOffset() + t.getTo()->getDSTSavings())
                << id << ' ' << t.getTime();
            previous = t.getTime();
            ++count;
        }

        UErrorCode status = U_ZERO_ERROR;
        const icu::InitialTimeZoneRule* initial = nullptr;
        int32_t ruleCount = zone.countTransitionRules(status);
        std::vector<const icu::TimeZoneRule*> rules(static_cast<std::size_t>(ruleCount) + 1);
        zone.getTimeZoneRules(initial, rules.data(), ruleCount, status);
        ASSERT_TRUE(U_SUCCESS(status));
        ASSERT_NE(initial, nullptr);
        EXPECT_EQ(ruleCount, zone.countTransitionRules(status));
        EXPECT_EQ(ruleCount == 0, count == 0) << id;

        icu::RuleBasedTimeZone rebuilt(icu::UnicodeString(u"rebuilt"), initial->clone());
        for (int32_t i = 0; i < ruleCount; ++i) {
            rebuilt.addTransitionRule(rules[static_cast<std::size_t>(i)]->clone(), status);
        }
        rebuilt.complete(status);
        ASSERT_TRUE(U_SUCCESS(status)) << id << ' ' << u_errorName(status);
        const UDate from = utcMillis("1800-01-01T00:00:00Z");
        const UDate to = utcMillis("2199-12-31T00:00:00Z");
        for (UDate at = from; at < to; at += 7.0 * 86400000.0 + 3600000.0) {
            ASSERT_EQ(totalAt(rebuilt, at), totalAt(zone, at)) << id << " at " << at;
        }
    }
}

TEST_F(foundationDatesTimeZone, CopiesShareRulesAndCompareEqual) {
    const SystemTimeZone berlin{QTimeZone("Europe/Berlin")};
    const std::unique_ptr<icu::TimeZone> copy(berlin.clone());
    EXPECT_TRUE(*copy == berlin);
    EXPECT_TRUE(copy->hasSameRules(berlin));
    EXPECT_EQ(copy->getDynamicClassID(), SystemTimeZone::getStaticClassID());
    EXPECT_NE(SystemTimeZone::getStaticClassID(), icu::GregorianCalendar::getStaticClassID());

    const SystemTimeZone berlinAgain{QTimeZone("Europe/Berlin")};
    EXPECT_TRUE(berlinAgain == berlin);

    // Paris and Berlin agree today but not in their history.
    const SystemTimeZone paris{QTimeZone("Europe/Paris")};
    EXPECT_FALSE(paris.hasSameRules(berlin));
    EXPECT_FALSE(paris == berlin);

    const SystemTimeZone unknown{QTimeZone()};
    icu::UnicodeString id;
    EXPECT_EQ(IcuDates::fromUnicode(unknown.getID(id)), QStringLiteral("Etc/Unknown"));
    int32_t raw = -1;
    int32_t dst = -1;
    UErrorCode status = U_ZERO_ERROR;
    unknown.getOffset(utcMillis("2025-01-01T00:00:00Z"), false, raw, dst, status);
    EXPECT_EQ(raw, 0);
    EXPECT_EQ(dst, 0);
}

TEST_F(foundationDatesTimeZone, PresentTenseAnswersFollowTheClock) {
    const SystemTimeZone berlin{QTimeZone("Europe/Berlin")};
    const SystemTimeZone mexico{QTimeZone("America/Mexico_City")};
    EXPECT_TRUE(berlin.useDaylightTime());
    EXPECT_EQ(berlin.getRawOffset(), kHour);
    EXPECT_EQ(berlin.getDSTSavings(), kHour);
    EXPECT_FALSE(mexico.useDaylightTime());
    EXPECT_EQ(mexico.getRawOffset(), -6 * kHour);

    clock().set(utcDate("2020-01-15T12:00:00Z"));
    EXPECT_TRUE(mexico.useDaylightTime());
}

TEST_F(foundationDatesTimeZone, FieldOffsetsReadLocalDates) {
    const SystemTimeZone berlin{QTimeZone("Europe/Berlin")};
    UErrorCode status = U_ZERO_ERROR;
    EXPECT_EQ(berlin.getOffset(icu::GregorianCalendar::AD, 2024, UCAL_JULY, 1, UCAL_MONDAY,
                               12 * kHour, status),
              2 * kHour);
    EXPECT_EQ(berlin.getOffset(icu::GregorianCalendar::AD, 2024, UCAL_FEBRUARY, 29, UCAL_THURSDAY,
                               12 * kHour, status),
              kHour);
    EXPECT_TRUE(U_SUCCESS(status));
    berlin.getOffset(icu::GregorianCalendar::AD, 2023, UCAL_FEBRUARY, 29, UCAL_WEDNESDAY,
                     12 * kHour, status);
    EXPECT_EQ(status, U_ILLEGAL_ARGUMENT_ERROR);
}

TEST_F(foundationDatesTimeZone, IcuDefaultZoneFollowsTheClock) {
    const std::unique_ptr<icu::TimeZone> previous(icu::TimeZone::createDefault());
    clock().setZone(QTimeZone("America/Mexico_City"));
    SystemTimeZone::adoptAsIcuDefault(clock());

    const auto offsetOfDefault = [] {
        const std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createDefault());
        EXPECT_NE(dynamic_cast<const SystemTimeZone*>(zone.get()), nullptr);
        int32_t raw = 0;
        int32_t dst = 0;
        UErrorCode status = U_ZERO_ERROR;
        zone->getOffset(utcMillis("2025-07-01T12:00:00Z"), false, raw, dst, status);
        return raw + dst;
    };
    EXPECT_EQ(offsetOfDefault(), -6 * kHour);
    clock().setZone(QTimeZone("Europe/Berlin"));
    EXPECT_EQ(offsetOfDefault(), 2 * kHour);

    icu::TimeZone::adoptDefault(previous->clone());
}

TEST_F(foundationDatesTimeZone, FactoriesAlwaysGiveOurZone) {
    EXPECT_EQ(IcuDates::createCalendar(QStringLiteral("klingon")), nullptr);
    for (const char* id : {"gregorian", "buddhist", "hebrew", "islamic", "islamic-civil",
                           "japanese", "chinese", "persian"}) {
        const auto calendar = IcuDates::createCalendar(QString::fromLatin1(id));
        ASSERT_TRUE(calendar) << id;
        EXPECT_STREQ(calendar->getType(), id);
        const auto* zone = dynamic_cast<const SystemTimeZone*>(&calendar->getTimeZone());
        ASSERT_NE(zone, nullptr) << id;
        // Made without a zone: the clock's.
        EXPECT_EQ(zone->qTimeZone().id(), QByteArray("Europe/Berlin"));
    }
    const auto pattern = IcuDates::createPatternFormat(QStringLiteral("EEE dd MMM"));
    ASSERT_TRUE(pattern);
    EXPECT_NE(dynamic_cast<const SystemTimeZone*>(&pattern->getTimeZone()), nullptr);
    EXPECT_EQ(IcuDates::format(*pattern, utcDate("2024-03-05T23:30:00Z")),
              QStringLiteral("Wed 06 Mar"));

    const auto style = IcuDates::createTimeStyleFormat(
        icu::DateFormat::kShort, QTimeZone("America/Mexico_City"), icu::Locale("en_GB"));
    ASSERT_TRUE(style);
    EXPECT_NE(dynamic_cast<const SystemTimeZone*>(&style->getTimeZone()), nullptr);
    EXPECT_EQ(IcuDates::format(*style, utcDate("2025-07-01T12:00:00Z")), QStringLiteral("06:00"));

    // A formatter kept across a zone change is given the new rules.
    IcuDates::setZone(*style, QTimeZone("Asia/Kolkata"));
    EXPECT_EQ(IcuDates::format(*style, utcDate("2025-07-01T12:00:00Z")), QStringLiteral("17:30"));
}

}  // namespace
}  // namespace talvor
