#include "calendarui/MonthGrid.h"

#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/ScopedMachineZone.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

Calendar gregorianUtc() {
    return Calendar::create(QStringLiteral("gregorian")).withTimeZone(QTimeZone::utc());
}

// 2025-03-04 15:40:30 UTC, a Tuesday; 1 March 2025 is a Saturday.
constexpr Date kTuesday4March2025 = Date::fromUnix(1741102830);
// 2025-03-31 10:00 UTC.
constexpr Date k31March2025 = Date::fromUnix(1743415200);
// 2026-02-10 12:00 UTC; 1 February 2026 is a Sunday.
constexpr Date k10February2026 = Date::fromUnix(1770724800);

TEST(calendaruiMonthGrid, FirstCellTodayAndMonthDaysForMonthsAndFirstWeekdays) {
    struct Case {
        const char* name;
        Date today;
        int32_t offset;
        int32_t firstWeekday;
        MonthGridDay firstCell;
        int todayIndex;  // -1: today is not in the grid
        int firstOfMonthIndex;
        int monthLength;
    };
    const Case cases[] = {
        {"March, Sunday first", kTuesday4March2025, 0, 1, {23, false, false}, 9, 6, 31},
        {"March, Monday first", kTuesday4March2025, 0, 2, {24, false, false}, 8, 5, 31},
        {"March, Saturday first: the 1st opens the grid",
         kTuesday4March2025,
         0,
         7,
         {1, true, false},
         3,
         0,
         31},
        {"next month, Monday first", kTuesday4March2025, 1, 2, {31, false, false}, -1, 1, 30},
        {"a year back: March 2024 starts on a Friday",
         kTuesday4March2025,
         -12,
         2,
         {26, false, false},
         -1,
         4,
         31},
        {"from the 31st one month back is February",
         k31March2025,
         -1,
         1,
         {26, false, false},
         -1,
         6,
         28},
        {"February 2026 fills four whole weeks", k10February2026, 0, 1, {1, true, false}, 9, 0, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MonthGrid grid = makeMonthGrid(gregorianUtc(), c.today, c.offset, c.firstWeekday);
        EXPECT_EQ(grid.firstWeekday, c.firstWeekday);
        EXPECT_EQ(grid.days[0], c.firstCell);
        int todayIndex = -1;
        int inMonth = 0;
        for (int i = 0; i < static_cast<int>(grid.days.size()); ++i) {
            if (grid.days[i].isToday) {
                EXPECT_EQ(todayIndex, -1) << "two todays";
                todayIndex = i;
            }
            if (grid.days[i].inMonth) {
                // The month's days run 1, 2, ... from its first cell without a gap.
                EXPECT_EQ(grid.days[i].day, i - c.firstOfMonthIndex + 1) << "cell " << i;
                ++inMonth;
            }
        }
        EXPECT_EQ(todayIndex, c.todayIndex);
        EXPECT_EQ(inMonth, c.monthLength);
        EXPECT_TRUE(grid.days[c.firstOfMonthIndex].inMonth);
        EXPECT_EQ(grid.days[c.firstOfMonthIndex].day, 1);
    }
}

TEST(calendaruiMonthGrid, TitleAndWeekdayNamesFollowTheFirstWeekday) {
    test::ScopedMachineZone zone("UTC", "en_US");
    const MonthGrid monday = makeMonthGrid(gregorianUtc(), kTuesday4March2025, 0, 2);
    EXPECT_EQ(monday.title, "March 2025");
    EXPECT_EQ(monday.weekdayNames[0], "Mo");
    EXPECT_EQ(monday.weekdayNames[6], "Su");
    const MonthGrid saturday = makeMonthGrid(gregorianUtc(), kTuesday4March2025, 0, 7);
    EXPECT_EQ(saturday.weekdayNames[0], "Sa");
}

TEST(calendaruiMonthGrid, WithoutAChoiceTheWeekStartsOnTheLocalesFirstDay) {
    struct Case {
        const char* locale;
        int32_t firstWeekday;
    };
    for (const Case& c : {Case{"en_US", 1}, Case{"en_GB", 2}, Case{"ar_EG", 7}}) {
        SCOPED_TRACE(c.locale);
        test::ScopedMachineZone zone("UTC", c.locale);
        EXPECT_EQ(makeMonthGrid(gregorianUtc(), kTuesday4March2025, 0, 0).firstWeekday,
                  c.firstWeekday);

        platform::MemoryPreferenceStore store(QStringLiteral("test"));
        platform::UserDefaults defaults(store);
        EXPECT_EQ(userFirstWeekday(defaults), c.firstWeekday) << "nothing stored";
        for (qint64 invalid : {0LL, 8LL, -1LL, 4294967298LL}) {
            defaults.setInteger(invalid, QStringLiteral("FirstDayOfWeek"));
            EXPECT_EQ(userFirstWeekday(defaults), c.firstWeekday) << invalid;
        }
        defaults.setInteger(4, QStringLiteral("FirstDayOfWeek"));
        EXPECT_EQ(userFirstWeekday(defaults), 4);
    }
}

}  // namespace
}  // namespace talvor
