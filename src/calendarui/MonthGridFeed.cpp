#include "MonthGridFeed.h"

#include "CalendarUiKeys.h"
#include "MonthGrid.h"
#include "calendar/myCalSettings.h"
#include "foundation/CalendarExtras.h"
#include "platform/UserDefaults.h"

namespace talvor {

void MonthGridFeed::apply(myCalSettings& settings, const platform::UserDefaults& defaults,
                          const QDate& today) {
    const QString picture = defaults.stringForKey(keys::CalBGImagePath).trimmed();
    if (picture_ != picture) {
        picture_ = picture;
        settings.freeImageCache();
        if (picture.isEmpty()) {
            settings.setSImagePath(std::nullopt);
            settings.LoadImage(std::nullopt);
        } else {
            settings.setSImagePath(picture);
            settings.LoadImage(settings.sImagePath());
        }
    } else if (pictureDay_ != today) {
        // An address with date fields names a new picture every day.
        settings.refreshNetworkPicture();
    }
    pictureDay_ = today;
    // One table holds the special days: the file's, replaced by the calendar's once it reads
    // (a calendar that cannot be read leaves the file's).
    const bool file = defaults.boolForKey(keys::bSpecialDays);
    const QString calendar = defaults.stringForKey(keys::CalSpecialDaysPath).trimmed();
    if (specialDaysFile_ != file || specialDaysCalendar_ != calendar) {
        specialDaysFile_ = file;
        specialDaysCalendar_ = calendar;
        settings.SetSpecialDay(false);
        settings.SetSpecialDay(file);
        if (!calendar.isEmpty()) {
            settings.loadCALDesc(calendar);
        }
    }
    const int birthdays = static_cast<int>(defaults.integerForKey(keys::showAddressBDays));
    if (settings.showAddressBDays() != birthdays) {
        settings.SetBirthday(birthdays);
    }
    applyWeekLayout(settings, defaults);
}

void MonthGridFeed::applyWeekLayout(myCalSettings& settings,
                                    const platform::UserDefaults& defaults) {
    // 1 Sunday ... 7 Saturday there, 0 ... 6 here.
    settings.SetFirstDayOfWeek(userFirstWeekday(defaults) - 1);
    const QVariant showWeek = defaults.objectForKey(QStringLiteral("iShowWeek"));
    if (showWeek.isValid()) {
        settings.SetShowWeekNum(showWeek.toInt());
    }
    // The grids are Gregorian: a Gregorian second calendar would mark every 1st.
    const QString second = defaults.stringForKey(QStringLiteral("SecondaryCalendar"));
    settings.setAuxCalendar(second.isEmpty() || second == QLatin1String("gregorian")
                                ? Calendar()
                                : CalendarExtras::calendarWithIdentifier(second));
}

}  // namespace talvor
