#include "DatesTestSupport.h"

#include "foundation/IcuDates.h"
#include "support/QtPrinters.h"

#include <unicode/calendar.h>

#include <QDate>

namespace talvor {
namespace {

using test::localDate;

class datesCalendars : public test::DatesTest {};

const char* const kIdentifiers[] = {"gregorian",     "buddhist", "hebrew",  "islamic",
                                    "islamic-civil", "japanese", "chinese", "persian"};

using foundationDatesCalendars = datesCalendars;

TEST_F(foundationDatesCalendars, TheCacheGivesOneCalendarPerIdentifier) {
    const Calendar byDefault = CalendarExtras::calendarWithIdentifier(std::nullopt);
    ASSERT_TRUE(byDefault);
    EXPECT_EQ(byDefault.calendarIdentifier(), QStringLiteral("gregorian"));
    EXPECT_EQ(CalendarExtras::calendarWithIdentifier(std::nullopt), byDefault);
    EXPECT_EQ(CalendarExtras::calendarWithIdentifier(QStringLiteral("gregorian")), byDefault);

    for (const char* id : kIdentifiers) {
        const Calendar first = CalendarExtras::calendarWithIdentifier(QString::fromLatin1(id));
        EXPECT_EQ(first.calendarIdentifier(), QString::fromLatin1(id));
        EXPECT_EQ(CalendarExtras::calendarWithIdentifier(QString::fromLatin1(id)), first) << id;
    }
    EXPECT_FALSE(CalendarExtras::calendarWithIdentifier(QStringLiteral("hebrew")) == byDefault);

    // Unknown: a new current calendar at each call, never cached.
    const Calendar unknown = CalendarExtras::calendarWithIdentifier(QStringLiteral("klingon"));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown.calendarIdentifier(), QStringLiteral("gregorian"));
    EXPECT_FALSE(unknown == CalendarExtras::calendarWithIdentifier(QStringLiteral("klingon")));
    EXPECT_FALSE(unknown == byDefault);
}

TEST_F(foundationDatesCalendars, UserAndAuxiliaryCalendars) {
    EXPECT_FALSE(CalendarExtras::userCalendar());
    EXPECT_FALSE(CalendarExtras::auxCalendar());

    CalendarExtras::setUserCalendarIdentifier(QStringLiteral("hebrew"));
    const Calendar user = CalendarExtras::userCalendar();
    EXPECT_EQ(user.calendarIdentifier(), QStringLiteral("hebrew"));
    EXPECT_EQ(user, CalendarExtras::calendarWithIdentifier(QStringLiteral("hebrew")));
    CalendarExtras::setUserCalendarIdentifier(QStringLiteral("hebrew"));
    EXPECT_EQ(CalendarExtras::userCalendar(), user);
    CalendarExtras::setUserCalendarIdentifier(std::nullopt);
    EXPECT_EQ(CalendarExtras::userCalendar().calendarIdentifier(), QStringLiteral("gregorian"));

    CalendarExtras::setAuxCalendarIdentifier(QStringLiteral("islamic"));
    const Calendar aux = CalendarExtras::auxCalendar();
    EXPECT_EQ(aux.calendarIdentifier(), QStringLiteral("islamic"));
    CalendarExtras::setAuxCalendarIdentifier(QStringLiteral("islamic"));
    EXPECT_EQ(CalendarExtras::auxCalendar(), aux);
    CalendarExtras::setAuxCalendarIdentifier(std::nullopt);
    EXPECT_FALSE(CalendarExtras::auxCalendar());
}

TEST_F(foundationDatesCalendars, MonthNamesOfTheCalendarAndLocale) {
    const QStringList gregorian = CalendarExtras::monthNames(Calendar());
    ASSERT_EQ(gregorian.size(), 12);
    EXPECT_EQ(gregorian.front(), QStringLiteral("January"));
    EXPECT_EQ(gregorian.back(), QStringLiteral("December"));
    EXPECT_EQ(CalendarExtras::shortMonthNames(Calendar()).at(8), QStringLiteral("Sep"));

    // Month m of the calendar is name m - 1; the Hebrew list ends with Adar's name in leap
    // years.
    const QStringList hebrew =
        CalendarExtras::monthNames(Calendar::create(QStringLiteral("hebrew")));
    ASSERT_EQ(hebrew.size(), 14);
    EXPECT_EQ(hebrew.at(0), QStringLiteral("Tishri"));
    EXPECT_EQ(hebrew.at(5), QStringLiteral("Adar I"));
    EXPECT_EQ(hebrew.at(6), QStringLiteral("Adar"));
    EXPECT_EQ(hebrew.at(13), QStringLiteral("Adar II"));
    EXPECT_EQ(CalendarExtras::monthNames(Calendar::create(QStringLiteral("islamic"))).at(8),
              QStringLiteral("Ramadan"));

    setIcuLocale("de_DE");
    EXPECT_EQ(CalendarExtras::monthNames(Calendar::create(QStringLiteral("gregorian"))).at(2),
              QStringLiteral("März"));
}

// Noon, Berlin time, of a Gregorian day.
Date noonOf(const QDate& day) {
    return Date::fromQDateTime(QDateTime(day, QTime(12, 0), QTimeZone("Europe/Berlin")));
}

TEST_F(foundationDatesCalendars, DaysInGregorianBuddhistAndJapaneseYears) {
    struct Case {
        const char* calendar;
        QDate day;
        int32_t days;
    };
    const Case cases[] = {
        {"gregorian", QDate(2023, 6, 1), 365},
        {"gregorian", QDate(2024, 6, 1), 366},
        {"gregorian", QDate(1900, 6, 1), 365},
        {"gregorian", QDate(2000, 6, 1), 366},
        {"buddhist", QDate(2024, 6, 1), 366},
        // 2019 holds the end of Heisei 31 and Reiwa 1 (from 1 May); the calendar counts the
        // days of the year through the change of era, so both have the Gregorian year's
        // 365 days (counting from the first month of the era would give 123 or 245).
        {"japanese", QDate(2019, 1, 15), 365},
        {"japanese", QDate(2019, 7, 1), 365},
        {"japanese", QDate(2020, 7, 1), 366},
    };
    for (const Case& c : cases) {
        const Calendar calendar = Calendar::create(QString::fromLatin1(c.calendar));
        EXPECT_EQ(CalendarExtras::daysInYear(calendar, noonOf(c.day)), c.days)
            << c.calendar << ' ' << c.day.toString(Qt::ISODate).toStdString();
    }
    int32_t heiseiYear = 0;
    int32_t reiwaYear = 0;
    const Calendar japanese = Calendar::create(QStringLiteral("japanese"));
    DateExtras::valueOfYear(noonOf(QDate(2019, 4, 30)), &heiseiYear, nullptr, nullptr, nullptr,
                            nullptr, japanese);
    DateExtras::valueOfYear(noonOf(QDate(2019, 5, 1)), &reiwaYear, nullptr, nullptr, nullptr,
                            nullptr, japanese);
    EXPECT_EQ(heiseiYear, 31);
    EXPECT_EQ(reiwaYear, 1);
}

TEST_F(foundationDatesCalendars, DaysInHebrewYearsFromRoshHashanah) {
    struct Case {
        int32_t year;
        QDate roshHashanah;
        QDate nextRoshHashanah;
    };
    // The first days of Hebrew years; the lengths cover all six: 353-355 and 383-385.
    const Case cases[] = {
        {5774, QDate(2013, 9, 5), QDate(2014, 9, 25)},
        {5775, QDate(2014, 9, 25), QDate(2015, 9, 14)},
        {5776, QDate(2015, 9, 14), QDate(2016, 10, 3)},
        {5777, QDate(2016, 10, 3), QDate(2017, 9, 21)},
        {5778, QDate(2017, 9, 21), QDate(2018, 9, 10)},
        {5779, QDate(2018, 9, 10), QDate(2019, 9, 30)},
        {5780, QDate(2019, 9, 30), QDate(2020, 9, 19)},
        {5781, QDate(2020, 9, 19), QDate(2021, 9, 7)},
        {5782, QDate(2021, 9, 7), QDate(2022, 9, 26)},
        {5783, QDate(2022, 9, 26), QDate(2023, 9, 16)},
        {5784, QDate(2023, 9, 16), QDate(2024, 10, 3)},
        {5785, QDate(2024, 10, 3), QDate(2025, 9, 23)},
    };
    const Calendar hebrew = Calendar::create(QStringLiteral("hebrew"));
    for (const Case& c : cases) {
        const int32_t length = static_cast<int32_t>(c.roshHashanah.daysTo(c.nextRoshHashanah));
        for (const QDate& day :
             {c.roshHashanah, c.roshHashanah.addDays(150), c.nextRoshHashanah.addDays(-1)}) {
            int32_t year = 0;
            int32_t month = 0;
            DateExtras::valueOfYear(noonOf(day), &year, &month, nullptr, nullptr, nullptr, hebrew);
            EXPECT_EQ(year, c.year) << day.toString(Qt::ISODate).toStdString();
            EXPECT_EQ(CalendarExtras::daysInYear(hebrew, noonOf(day)), length)
                << c.year << " on " << day.toString(Qt::ISODate).toStdString();
        }
    }
}

TEST_F(foundationDatesCalendars, DaysInIslamicYears) {
    // The tabular calendar has 355 days in years 2, 5, 7, 10, 13, 16, 18, 21, 24, 26 and 29
    // of each 30-year cycle, 354 in the others.
    const QList<int> longYears = {2, 5, 7, 10, 13, 16, 18, 21, 24, 26, 29};
    // In Berlin, east of UTC, where ICU's own maximum of the day of the year goes wrong for
    // the sighted-moon calendar.
    const QTimeZone berlin("Europe/Berlin");
    const Calendar civil = Calendar::create(QStringLiteral("islamic-civil")).withTimeZone(berlin);
    const Calendar sighted = Calendar::create(QStringLiteral("islamic")).withTimeZone(berlin);
    const auto dayOf = [](const Calendar& calendar, int32_t year, int32_t month, int32_t day) {
        std::unique_ptr<icu::Calendar> c = calendar.icuCalendar(Date());
        UErrorCode status = U_ZERO_ERROR;
        c->clear();
        c->set(year, month, day, 12, 0);
        return Date::fromUDate(c->getTime(status));
    };
    const auto dayOfYear = [](const Calendar& calendar, Date date) {
        UErrorCode status = U_ZERO_ERROR;
        return calendar.icuCalendar(date)->get(UCAL_DAY_OF_YEAR, status);
    };
    for (int32_t year = 1440; year <= 1470; ++year) {
        EXPECT_EQ(CalendarExtras::daysInYear(civil, dayOf(civil, year, 6, 15)),
                  longYears.contains(year % 30) ? 355 : 354)
            << year;

        // The sighted-moon calendar has no rule of its own: 354 or 355 days, the number of
        // its last day of the year, the same in every zone and on every day of the year.
        const Date lastDay = dayOf(sighted, year + 1, 0, 1).addingTimeInterval(-86400);
        const int32_t days = CalendarExtras::daysInYear(sighted, dayOf(sighted, year, 6, 15));
        EXPECT_TRUE(days == 354 || days == 355) << year << ": " << days;
        EXPECT_EQ(days, dayOfYear(sighted, lastDay)) << year;
        EXPECT_EQ(CalendarExtras::daysInYear(sighted, lastDay), days) << year;
        EXPECT_EQ(CalendarExtras::daysInYear(sighted, dayOf(sighted, year, 0, 1)), days) << year;
        EXPECT_EQ(CalendarExtras::daysInYear(sighted.withTimeZone(QTimeZone::utc()),
                                             dayOf(sighted, year, 6, 15)),
                  days)
            << year;
    }
}

TEST_F(foundationDatesCalendars, UnitsFromTheStartOfToday) {
    // The clock stands at 2024-03-05 17:42:31 in Berlin.
    const Calendar gregorian = Calendar::create(QStringLiteral("gregorian"));
    EXPECT_EQ(CalendarExtras::units(gregorian, CalendarUnit::Day, std::nullopt), 0);
    struct Case {
        CalendarUnit unit;
        const char* berlin;
        int32_t count;
    };
    const Case cases[] = {
        {CalendarUnit::Day, "2024-03-08T15:00:00", 3},
        {CalendarUnit::Day, "2024-03-05T23:59:00", 0},
        {CalendarUnit::Day, "2024-03-04T23:00:00", 0},
        {CalendarUnit::Day, "2024-03-03T10:00:00", -1},
        {CalendarUnit::Week, "2024-03-19T00:00:00", 2},
        {CalendarUnit::WeekOfYear, "2024-03-19T00:00:00", 2},
        {CalendarUnit::Month, "2024-06-05T00:00:00", 3},
        {CalendarUnit::Month, "2024-06-04T23:00:00", 2},
        {CalendarUnit::Quarter, "2024-09-05T00:00:00", 2},
        {CalendarUnit::Year, "2026-03-05T00:00:00", 2},
        {CalendarUnit::Hour, "2024-03-05T10:30:00", 10},
        {CalendarUnit::Minute, "2024-03-05T00:01:30", 1},
        {CalendarUnit::Era, "2024-12-31T00:00:00", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CalendarExtras::units(gregorian, c.unit, localDate(c.berlin, "Europe/Berlin")),
                  c.count)
            << c.berlin << " unit " << static_cast<uint32_t>(c.unit);
    }
    // Today is the calendar's: already 6 March in Tokyo.
    const Calendar tokyo = gregorian.withTimeZone(QTimeZone("Asia/Tokyo"));
    EXPECT_EQ(CalendarExtras::units(tokyo, CalendarUnit::Day,
                                    localDate("2024-03-08T15:00:00", "Europe/Berlin")),
              2);
}

TEST_F(foundationDatesCalendars, UnitsCountCalendarDaysAcrossClockChanges) {
    struct Case {
        const char* zone;
        const char* now;
        CalendarUnit unit;
        const char* target;
        int32_t count;
    };
    const Case cases[] = {
        // Two calendar days, though only 47 hours, after a spring-forward night.
        {"Europe/Berlin", "2024-03-30T20:00:00", CalendarUnit::Day, "2024-04-01T00:00:00", 2},
        {"Europe/Berlin", "2024-03-30T20:00:00", CalendarUnit::Hour, "2024-03-31T12:00:00", 35},
        // Santiago skips midnight on 2024-09-08: the day starts at 01:00.
        {"America/Santiago", "2024-09-08T12:00:00", CalendarUnit::Hour, "2024-09-08T12:00:00", 11},
        // Havana repeats the hour after midnight on 2024-11-03: the day starts at the first.
        {"America/Havana", "2024-11-03T12:00:00", CalendarUnit::Hour, "2024-11-03T12:00:00", 13},
    };
    for (const Case& c : cases) {
        clock().setZone(QTimeZone(c.zone));
        clock().set(localDate(c.now, c.zone));
        EXPECT_EQ(CalendarExtras::units(Calendar(), c.unit, localDate(c.target, c.zone)), c.count)
            << c.zone << ' ' << c.now << " to " << c.target;
    }
}

TEST_F(foundationDatesCalendars, SameDayLooksOnlyAtYearMonthAndDay) {
    const Calendar gregorian = Calendar::create(QStringLiteral("gregorian"));
    const DateComponents morning =
        CalendarExtras::components(gregorian, localDate("2024-03-05T08:00:00", "Europe/Berlin"));
    const DateComponents evening =
        CalendarExtras::components(gregorian, localDate("2024-03-05T21:15:00", "Europe/Berlin"));
    EXPECT_EQ(morning, (DateComponents{1, 2024, 3, 5, 8, 0, 0}));
    EXPECT_TRUE(Compare::sameDay(morning, evening));
    EXPECT_NE(morning, evening);  // the type's own equality is untouched

    struct Case {
        DateComponents a;
        DateComponents b;
        bool same;
    };
    const Case cases[] = {
        {{.year = 2024, .month = 3, .day = 5}, {.year = 2024, .month = 3, .day = 6}, false},
        {{.year = 2024, .month = 3, .day = 5}, {.year = 2023, .month = 3, .day = 5}, false},
        {{.year = 2024, .month = 3, .day = 5}, {.year = 2024, .month = 4, .day = 5}, false},
        {{.era = 0, .year = 2024, .month = 3, .day = 5},
         {.era = 1, .year = 2024, .month = 3, .day = 5},
         true},
        {{.year = 2024, .month = 3}, {.year = 2024, .month = 3, .day = 5}, false},
        {{}, {.hour = 9}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Compare::sameDay(c.a, c.b), c.same);
        EXPECT_EQ(Compare::sameDay(c.b, c.a), c.same);
    }

    const DateComponents hebrew =
        CalendarExtras::components(Calendar::create(QStringLiteral("hebrew")),
                                   localDate("2024-03-05T08:00:00", "Europe/Berlin"));
    // 25 Adar I 5784; Adar I is month 6 of a leap year.
    EXPECT_EQ(hebrew.year, 5784);
    EXPECT_EQ(hebrew.month, 6);
    EXPECT_EQ(hebrew.day, 25);
}

}  // namespace
}  // namespace talvor
