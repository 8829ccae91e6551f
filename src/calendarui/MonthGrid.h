#pragma once

#include "foundation/Calendar.h"
#include "platform/Date.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace talvor {

namespace platform {
class UserDefaults;
}

// One day cell of a month grid.
struct MonthGridDay {
    int32_t day = 0;       // day of its own month
    bool inMonth = false;  // false for the leading and trailing days of the neighbours
    bool isToday = false;
    bool operator==(const MonthGridDay&) const = default;
};

// One month laid out in weeks: six rows of seven days, the first column the week's first
// weekday, so that every month takes the same room.
struct MonthGrid {
    static constexpr int kRows = 6;
    static constexpr int kColumns = 7;

    QString title;                               // the month's name and year, in the default locale
    int32_t firstWeekday = 1;                    // 1 = Sunday ... 7 = Saturday
    std::array<QString, kColumns> weekdayNames;  // short names, in column order
    std::array<MonthGridDay, kRows * kColumns> days;

    const MonthGridDay& at(int row, int column) const { return days[row * kColumns + column]; }
};

// The month `monthOffset` months after the one holding `today` in `calendar` (a null
// calendar is the current one), weeks starting on `firstWeekday` (1-7; anything else: the
// calendar's own first weekday).
MonthGrid makeMonthGrid(const Calendar& calendar, Date today, int32_t monthOffset,
                        int32_t firstWeekday);

// The first weekday the user chose (1 Sunday ... 7 Saturday): "FirstDayOfWeek" when it is
// 1-7; in a settings file from before that key, "iStartDay" (0 Sunday ... 6 Saturday, any
// other number Sunday); none when neither is stored.
std::optional<int32_t> chosenFirstWeekday(const platform::UserDefaults& defaults);
// The user's first weekday: the chosen one, else the user calendar's own.
int32_t userFirstWeekday(const platform::UserDefaults& defaults);

}  // namespace talvor
