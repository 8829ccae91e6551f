#include "MonthGrid.h"

#include "CalendarUiKeys.h"
#include "calendar/myCalSettings.h"
#include "foundation/CalendarExtras.h"
#include "foundation/IcuDates.h"
#include "platform/UserDefaults.h"

#include <unicode/calendar.h>
#include <unicode/smpdtfmt.h>

namespace talvor {
namespace {

bool isWeekday(int32_t day) {
    return day >= UCAL_SUNDAY && day <= UCAL_SATURDAY;
}

// Formats in the grid's own calendar, so that a Hebrew grid gets Hebrew month names.
QString formatted(const QString& pattern, const icu::Calendar& calendar) {
    auto format = IcuDates::createPatternFormat(pattern);
    if (!format) {
        return QString();
    }
    format->setCalendar(calendar);
    UErrorCode status = U_ZERO_ERROR;
    return IcuDates::format(*format, Date::fromUDate(calendar.getTime(status)));
}

}  // namespace

MonthGrid makeMonthGrid(const Calendar& calendar, Date today, int32_t monthOffset,
                        int32_t firstWeekday) {
    UErrorCode status = U_ZERO_ERROR;
    auto c = calendar.icuCalendar(today);
    const int32_t todayJulian = c->get(UCAL_JULIAN_DAY, status);

    MonthGrid grid;
    grid.firstWeekday = isWeekday(firstWeekday) ? firstWeekday : c->getFirstDayOfWeek(status);

    // Day 1 before stepping, so that 31 January plus one month is not 3 March.
    c->set(UCAL_DATE, 1);
    c->add(UCAL_MONTH, monthOffset, status);
    grid.title = formatted(QStringLiteral("LLLL y"), *c);
    const int32_t firstJulian = c->get(UCAL_JULIAN_DAY, status);
    const int32_t monthLength = c->getActualMaximum(UCAL_DATE, status);
    const int32_t lead = (c->get(UCAL_DAY_OF_WEEK, status) - grid.firstWeekday + 7) % 7;

    c->add(UCAL_DATE, -lead, status);
    for (int i = 0; i < MonthGrid::kRows * MonthGrid::kColumns; ++i) {
        const int32_t julian = c->get(UCAL_JULIAN_DAY, status);
        MonthGridDay& day = grid.days[i];
        day.day = c->get(UCAL_DATE, status);
        day.inMonth = julian >= firstJulian && julian < firstJulian + monthLength;
        day.isToday = julian == todayJulian;
        if (i < MonthGrid::kColumns) {
            grid.weekdayNames[i] = formatted(QStringLiteral("cccccc"), *c);
        }
        c->add(UCAL_DATE, 1, status);
    }
    return grid;
}

std::optional<int32_t> chosenFirstWeekday(const platform::UserDefaults& defaults) {
    const QVariant chosen = defaults.objectForKey(keys::FirstDayOfWeek);
    if (chosen.isValid()) {
        const qint64 weekday = defaults.integerForKey(keys::FirstDayOfWeek);
        if (weekday >= UCAL_SUNDAY && weekday <= UCAL_SATURDAY) {
            return static_cast<int32_t>(weekday);
        }
        return std::nullopt;
    }
    // The old key counts only where the new one was never written, so that once the to-do
    // or the mini calendar's pane has chosen, an old "iStartDay" decides nothing.
    if (defaults.objectForKey(keys::iStartDay).isValid()) {
        return myCalSettings::weekdayOfStartDayIndex(defaults.integerForKey(keys::iStartDay)) + 1;
    }
    return std::nullopt;
}

int32_t userFirstWeekday(const platform::UserDefaults& defaults) {
    if (const std::optional<int32_t> chosen = chosenFirstWeekday(defaults)) {
        return *chosen;
    }
    UErrorCode status = U_ZERO_ERROR;
    return CalendarExtras::userCalendar().icuCalendar(Date())->getFirstDayOfWeek(status);
}

}  // namespace talvor
