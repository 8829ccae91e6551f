#include "BigCalendarFonts.h"

#include "calendar/TalvorCalPrefsSettings.h"
#include "myCalProView.h"

namespace talvor {

BigCalendarFonts::BigCalendarFonts(myCalProView& view) : view_(view) {}

QFont BigCalendarFonts::font(Option option) const {
    switch (option) {
        case Option::Month:
            return view_.getCalYearFont();
        case Option::Weekday:
            return view_.getCalDayOfWeekFont();
        case Option::Day:
            break;
    }
    return view_.getCalDayFont();
}

void BigCalendarFonts::apply(Option option, const QFont& font) {
    TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    switch (option) {
        case Option::Month:
            view_.setCalYearFont(font);
            prefs.CalendarWinMonthFontSize = font;
            break;
        case Option::Weekday:
            view_.setCalDayOfWeekFont(font);
            prefs.CalendarWinDayOfWeekFontSize = font;
            break;
        case Option::Day:
            view_.setCalDayFont(font);
            prefs.CalendarWinDayFontSize = font;
            break;
    }
    view_.update();
    prefs.writePrefsAndSync();
}

void BigCalendarFonts::applyStored() {
    const TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    view_.setCalYearFont(prefs.CalendarWinMonthFontSize);
    view_.setCalDayOfWeekFont(prefs.CalendarWinDayOfWeekFontSize);
    view_.setCalDayFont(prefs.CalendarWinDayFontSize);
    view_.scaleDayFontForMonths();
}

}  // namespace talvor
