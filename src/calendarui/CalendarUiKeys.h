#pragma once

#include <QString>

// Preference keys of the calendar windows.
namespace talvor::keys {

// The first weekday of every month grid, 1 = Sunday ... 7 = Saturday (standard user defaults).
inline const QString FirstDayOfWeek = QStringLiteral("FirstDayOfWeek");
// The first weekday as settings files before "FirstDayOfWeek" kept it: 0 Sunday ... 6.
inline const QString iStartDay = QStringLiteral("iStartDay");

}  // namespace talvor::keys

namespace talvor::keys {

// Which calendar the date item opens (standard user defaults): "BigCal" the date menu's
// calendar, anything else or nothing the mini calendar. The "Menubar Calendar" pane writes it.
inline const QString SelectedMenuCalendar = QStringLiteral("SelectedMenuCalendar");
inline const QString BigCal = QStringLiteral("BigCal");
inline const QString Minnow = QStringLiteral("Minnow");

// Distributed: the calendar-window settings changed.
inline const QString TalvorCalendarPrefsChangeNotification =
    QStringLiteral("TalvorCalendarPrefsChangeNotification");

}  // namespace talvor::keys

namespace talvor::keys {

// The calendar window's picture (standard user defaults): the user's own picture rather than
// the built-in one, its file address, the size of its area, and whether the built-in one has
// been shown since the last reset.
inline const QString ShowDefaultCalBGImg = QStringLiteral("ShowDefaultCalBGImg");
inline const QString CalImgURL = QStringLiteral("CalImgURL");
inline const QString CalImgWidth = QStringLiteral("CalImgWidth");
inline const QString CalImgHeight = QStringLiteral("CalImgHeight");
inline const QString isBGImageShownBefore = QStringLiteral("isBGImageShownBefore");

// Distributed: the first weekday changed; the calendar windows redraw.
inline const QString TalvorUpdateCalNotification = QStringLiteral("TalvorUpdateCalNotification");

}  // namespace talvor::keys

namespace talvor::keys {

// The month grids of the date menu's calendar (preference domain): the picture behind the
// months (a file, a folder of "1.jpg" ... "12.jpg", or a web address that may carry date
// fields), the special days of "SpecialDays.txt" switched on, a calendar (an iCalendar file
// or a http, https or webcal address) whose events mark special days, and the birthdays of
// the address book: 0 not shown, 1 marked with their names in the tool tip, 2 names in the
// day cells too.
inline const QString CalBGImagePath = QStringLiteral("CalBGImagePath");
inline const QString bSpecialDays = QStringLiteral("bSpecialDays");
inline const QString CalSpecialDaysPath = QStringLiteral("CalSpecialDaysPath");
inline const QString showAddressBDays = QStringLiteral("showAddressBDays");

}  // namespace talvor::keys
