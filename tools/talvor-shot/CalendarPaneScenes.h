#pragma once

#include <QImage>

namespace talvor::shot {

// The calendar panes in the settings window: the mini calendar's (its calendars listed with
// their highlights), the date menu calendar's (six months) and the to-do pane.
QImage renderMiniCalendarPane(double scale);
// Its Google tab, signed in, the account's calendars listed (no network: canned answers).
QImage renderGoogleCalendarsPane(double scale);
// Its Holidays tab (the calendars named by country), or its empty Sports tab.
QImage renderHolidayCalendarsPane(double scale, bool sports);
QImage renderCalendarWindowPane(double scale);
QImage renderTodoPane(double scale);
// The highlight picker on a calendar's colour, the third dot chosen.
QImage renderHighlightPicker(double scale);

}  // namespace talvor::shot
