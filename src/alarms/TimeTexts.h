#pragma once

#include "platform/Date.h"

#include <QString>

// The alarms' time texts, in the default locale and the clock's current zone.
namespace talvor {

// True when the locale's short time style has no AM/PM mark.
bool isTwentyFourHourDateFormat();
// The weekday and the time: "E, h:mm a" in 12-hour locales, "E, H:mm" in 24-hour ones.
QString formatTime(Date date);
// "In %d min at %@" (at most 1 minute) or "In %d mins at %@": the whole minutes from now to the
// date, truncated toward zero, and its time, "h:mm a" or "H:mm".
QString formatTime2(Date date);

}  // namespace talvor
