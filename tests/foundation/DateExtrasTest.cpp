#include "DatesTestSupport.h"

#include "foundation/MonthReference.h"
#include "foundation/TimeRange.h"
#include "support/QtPrinters.h"

#include <vector>

namespace talvor {

// The month object of the calendar data stands in here as a plain value.
class CalMonth {
  public:
    explicit CalMonth(int value) : number(value) {}
    int number;
};

namespace {

using test::localDate;
using test::utcDate;
using test::wallClock;

class datesDateExtras : public test::DatesTest {};

using foundationDatesDateExtras = datesDateExtras;

TEST_F(foundationDatesDateExtras, TheCachedDateIsTheClocksWhenStored) {
    EXPECT_FALSE(DateExtras::cachedDate());
    DateExtras::cacheDate();
    const Date stored = clock().now();
    clock().advance(90);
    ASSERT_TRUE(DateExtras::cachedDate());
    EXPECT_EQ(*DateExtras::cachedDate(), stored);
}

TEST_F(foundationDatesDateExtras, ValueOfYearFillsOnlyTheGivenOutputs) {
    // 2024-03-05 17:42 in Berlin, the clock's zone.
    const Date date = clock().now();
    struct Case {
        bool year, month, day, hour, minute;
    };
    const Case cases[] = {
        {false, false, true, false, false},  {true, true, false, false, false},
        {false, false, false, true, true},   {true, true, true, true, true},
        {false, false, false, false, false},
    };
    const int32_t expected[] = {2024, 3, 5, 17, 42};
    for (const Case& c : cases) {
        int32_t out[] = {-1, -1, -1, -1, -1};
        const bool wanted[] = {c.year, c.month, c.day, c.hour, c.minute};
        DateExtras::valueOfYear(date, c.year ? &out[0] : nullptr, c.month ? &out[1] : nullptr,
                                c.day ? &out[2] : nullptr, c.hour ? &out[3] : nullptr,
                                c.minute ? &out[4] : nullptr);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(out[i], wanted[i] ? expected[i] : -1) << "output " << i;
        }
    }

    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    DateExtras::valueOfYear(date, &year, &month, &day, nullptr, nullptr,
                            Calendar::create(QStringLiteral("hebrew")));
    EXPECT_EQ(year, 5784);
    EXPECT_EQ(month, 6);
    EXPECT_EQ(day, 25);

    // The day is the zone's: 23:30 UTC is already the next day in Berlin.
    DateExtras::valueOfYear(utcDate("2024-03-05T23:30:00Z"), nullptr, nullptr, &day);
    EXPECT_EQ(day, 6);
}

TEST_F(foundationDatesDateExtras, RoundedToHourKeepsTheDay) {
    struct Case {
        const char* berlin;
        int32_t hour;
        int32_t minute;
        const char* calendar;
        const char* expectedUtc;
    };
    const Case cases[] = {
        {"2024-03-05T17:42:31", 9, 0, "gregorian", "2024-03-05T08:00:00Z"},
        {"2024-03-05T17:42:31", 9, 0, "hebrew", "2024-03-05T08:00:00Z"},
        {"2024-03-06T00:30:00", 12, 0, "gregorian", "2024-03-06T11:00:00Z"},
        {"2024-03-05T17:42:31", 0, 0, "gregorian", "2024-03-04T23:00:00Z"},
        // 02:30 does not exist that night: 03:30 summer time.
        {"2024-03-31T10:00:00", 2, 30, "gregorian", "2024-03-31T01:30:00Z"},
        // 02:30 happens twice: the first, still in summer time.
        {"2024-10-27T10:00:00", 2, 30, "gregorian", "2024-10-27T00:30:00Z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateExtras::roundedToHour(localDate(c.berlin, "Europe/Berlin"), c.hour, c.minute,
                                            Calendar::create(QString::fromLatin1(c.calendar))),
                  utcDate(c.expectedUtc))
            << c.berlin << ' ' << c.hour << ':' << c.minute << ' ' << c.calendar;
    }
    EXPECT_EQ(wallClock(DateExtras::roundedToHour(clock().now(), 9, 0), "Europe/Berlin"),
              QStringLiteral("2024-03-05T09:00:00"));
}

TEST_F(foundationDatesDateExtras, RoundedTo5UsesTheZonesMinutes) {
    // Seven minutes east of UTC, so that rounding in UTC would give other results.
    const QTimeZone sevenEast(7 * 60);
    const auto at = [&](const char* local) {
        QDateTime t = QDateTime::fromString(QString::fromLatin1(local), Qt::ISODate);
        t.setTimeZone(sevenEast);
        return Date::fromQDateTime(t);
    };
    const std::pair<const char*, const char*> cases[] = {
        {"2024-03-05T10:02:40", "2024-03-05T10:00:00"},
        {"2024-03-05T10:03:10", "2024-03-05T10:05:00"},
        {"2024-03-05T10:00:00", "2024-03-05T10:00:00"},
        {"2024-03-05T10:07:59", "2024-03-05T10:05:00"},
        {"2024-03-05T10:04:59", "2024-03-05T10:05:00"},
        {"2024-03-05T10:57:30", "2024-03-05T10:55:00"},
        {"2024-03-05T10:58:30", "2024-03-05T11:00:00"},
        {"2024-03-05T23:58:00", "2024-03-06T00:00:00"},
        {"1969-07-20T20:18:04", "1969-07-20T20:20:00"},
    };
    for (const auto& [from, to] : cases) {
        EXPECT_EQ(CalendarDateExtras::calendarDateRoundedTo5(at(from), sevenEast), at(to)) << from;
    }
    // In a repeated hour the result stays in the same occurrence.
    const Date firstOccurrence = utcDate("2024-10-27T00:32:10Z");
    EXPECT_EQ(
        CalendarDateExtras::calendarDateRoundedTo5(firstOccurrence, QTimeZone("Europe/Berlin")),
        utcDate("2024-10-27T00:30:00Z"));
    // Without a zone: the clock's (Berlin).
    EXPECT_EQ(wallClock(CalendarDateExtras::calendarDateRoundedTo5(clock().now()), "Europe/Berlin"),
              QStringLiteral("2024-03-05T17:40:00"));

    EXPECT_EQ(CalendarDateExtras::calendarDateWithTimeInterval(90, clock().now()),
              clock().now().addingTimeInterval(90));
}

TEST_F(foundationDatesDateExtras, Comparisons) {
    const Date early = utcDate("2024-03-05T10:00:00Z");
    const Date late = early.addingTimeInterval(0.001);
    struct Case {
        Date a, b;
        bool greater, less, greaterOrEqual, lessOrEqual;
    };
    const Case cases[] = {
        {late, early, true, false, true, false},
        {early, late, false, true, false, true},
        {early, early, false, false, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DateExtras::isGreaterThan(c.a, c.b), c.greater);
        EXPECT_EQ(DateExtras::isLessThan(c.a, c.b), c.less);
        EXPECT_EQ(DateExtras::isGreaterThanOrEqualTo(c.a, c.b), c.greaterOrEqual);
        EXPECT_EQ(DateExtras::isLessThanOrEqualTo(c.a, c.b), c.lessOrEqual);
    }
}

TEST_F(foundationDatesDateExtras, TimeOfDayInTheShortStyleAndTheClocksZone) {
    setIcuLocale("en_GB");
    clock().setZone(QTimeZone("America/Mexico_City"));
    const Date noonUtc = utcDate("2025-07-01T12:00:00Z");
    EXPECT_EQ(tformatTime(noonUtc), QStringLiteral("06:00"));
    clock().setZone(QTimeZone("Asia/Kolkata"));
    EXPECT_EQ(tformatTime(noonUtc), QStringLiteral("17:30"));
    setIcuLocale("en_US");
    EXPECT_TRUE(tformatTime(noonUtc).startsWith(QStringLiteral("5:30")))
        << tformatTime(noonUtc).toStdString();
}

TEST_F(foundationDatesDateExtras, TimeRangesBoxAndUnbox) {
    for (const TimeRange range :
         {TimeRange{0, 0}, TimeRange{540, 90}, TimeRange{-60, 2147483647}}) {
        const QVariant boxed = NSValuetimeRangeExtensions::valueWithTimeRange(range);
        EXPECT_EQ(NSValuetimeRangeExtensions::timeRangeValue(boxed), range);
    }
    EXPECT_EQ(NSValuetimeRangeExtensions::timeRangeValue(QVariant(QStringLiteral("10-20"))),
              (TimeRange{0, 0}));
    EXPECT_EQ(NSValuetimeRangeExtensions::timeRangeValue(QVariant()), (TimeRange{0, 0}));
}

class datesMonthReference : public ::testing::Test {};

using foundationDatesMonthReference = datesMonthReference;

TEST_F(foundationDatesMonthReference, LinksMonthAndMark) {
    auto march = std::make_shared<MonthReference>();
    auto april = std::make_shared<MonthReference>();
    march->setNext(april);
    april->setPrev(march);
    march->setMonth(std::make_shared<CalMonth>(3));
    april->setTouched(42);

    EXPECT_EQ(march->next(), april);
    EXPECT_EQ(april->prev(), march);
    EXPECT_EQ(march->prev(), nullptr);
    EXPECT_EQ(april->next(), nullptr);
    ASSERT_NE(march->month(), nullptr);
    EXPECT_EQ(march->month()->number, 3);
    EXPECT_EQ(april->month(), nullptr);
    EXPECT_EQ(april->touched(), 42);
    EXPECT_EQ(march->touched(), 0);
}

TEST_F(foundationDatesMonthReference, AChainHeldByItsFirstNodeIsFreedWhole) {
    std::vector<std::weak_ptr<CalMonth>> months;
    std::weak_ptr<MonthReference> last;
    {
        auto first = std::make_shared<MonthReference>();
        auto node = first;
        // Long enough that a recursive release would overflow the stack.
        for (int i = 0; i < 200000; ++i) {
            auto month = std::make_shared<CalMonth>(i);
            months.push_back(month);
            node->setMonth(month);
            auto next = std::make_shared<MonthReference>();
            next->setPrev(node);
            node->setNext(next);
            node = next;
        }
        last = node;
        EXPECT_EQ(node->prev()->month()->number, 199999);
    }
    EXPECT_TRUE(last.expired());
    EXPECT_TRUE(months.front().expired());
    EXPECT_TRUE(months.back().expired());
}

}  // namespace
}  // namespace talvor
