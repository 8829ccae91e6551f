#include "DatesTestSupport.h"

#include <QDate>

namespace talvor {
namespace {

class datesWeekNumbers : public test::DatesTest, public ::testing::WithParamInterface<int> {};

// Weeks start on `firstDay` (1 = Sunday); a week belongs to the year that holds its fourth
// day, so week 1 is the first with at least 4 days in the year.
int referenceWeek(const QDate& day, int firstDay) {
    const int weekday = day.dayOfWeek() % 7 + 1;
    const int intoWeek = (weekday - firstDay + 7) % 7;
    const QDate fourthDay = day.addDays(3 - intoWeek);
    return (fourthDay.dayOfYear() - 1) / 7 + 1;
}

using foundationDatesWeekNumbers = datesWeekNumbers;

TEST_P(foundationDatesWeekNumbers, EveryDayFrom1990To2039) {
    const int firstDay = GetParam();
    const QTimeZone tokyo("Asia/Tokyo");
    const Calendar gregorian = Calendar::create(QStringLiteral("gregorian")).withTimeZone(tokyo);
    int mismatches = 0;
    for (QDate day(1990, 1, 1); day <= QDate(2039, 12, 31); day = day.addDays(1)) {
        // 07:00 in Tokyo is the day before in UTC: the calendar's zone decides the day.
        const Date morning = Date::fromQDateTime(QDateTime(day, QTime(7, 0), tokyo));
        const int week = CalendarExtras::ISO8601weekNumForDate(gregorian, morning, firstDay);
        const int expected = referenceWeek(day, firstDay);
        const bool isoAgrees = firstDay != 2 || week == day.weekNumber();
        if ((week != expected || !isoAgrees) && ++mismatches <= 10) {
            ADD_FAILURE() << day.toString(Qt::ISODate).toStdString() << " first day " << firstDay
                          << ": week " << week << ", expected " << expected << " (ISO "
                          << day.weekNumber() << ')';
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(FirstWeekday, foundationDatesWeekNumbers, ::testing::Range(1, 8));

TEST_F(foundationDatesWeekNumbers, KnownWeeksAndTheLocaleFirstDay) {
    struct Case {
        const char* day;
        int firstDay;
        int week;
    };
    // Days that a week count from the day of the year alone gets wrong.
    const Case cases[] = {
        {"2022-01-03", 2, 1}, {"2024-01-14", 2, 2}, {"2021-01-03", 2, 53}, {"2024-12-30", 2, 1},
        {"2023-01-01", 1, 1}, {"2022-01-01", 7, 1}, {"2021-01-01", 7, 52},
    };
    const Calendar gregorian = Calendar::create(QStringLiteral("gregorian"));
    for (const Case& c : cases) {
        const Date noon =
            test::localDate((std::string(c.day) + "T12:00:00").c_str(), "Europe/Berlin");
        EXPECT_EQ(CalendarExtras::ISO8601weekNumForDate(gregorian, noon, c.firstDay), c.week)
            << c.day << " first day " << c.firstDay;
    }
    // Out of range: the locale's first day (Sunday in en_US).
    const Date sunday = test::localDate("2024-01-14T12:00:00", "Europe/Berlin");
    for (int outOfRange : {0, 8, -3}) {
        EXPECT_EQ(CalendarExtras::ISO8601weekNumForDate(gregorian, sunday, outOfRange),
                  CalendarExtras::ISO8601weekNumForDate(gregorian, sunday, 1));
    }
}

}  // namespace
}  // namespace talvor
