#pragma once

#include "BigCalendarMenu.h"

#include <QFont>

namespace talvor {

class myCalProView;

// The big calendar's three fonts (the month titles, the weekday names, the day numbers): as
// the months show them, and as the calendar-window settings keep them.
class BigCalendarFonts {
  public:
    using Option = CalendarFontOption;

    // `view` must outlive the fonts.
    explicit BigCalendarFonts(myCalProView& view);

    QFont font(Option option) const;
    // Shows the font and keeps it in the calendar-window settings.
    void apply(Option option, const QFont& font);
    // Shows the fonts the settings keep, the day numbers scaled to the months shown.
    void applyStored();

  private:
    myCalProView& view_;
};

}  // namespace talvor
