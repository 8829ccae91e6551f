#pragma once

#include <QImage>

namespace talvor::shot {

// The calendar windows on Monday 12 May 2025, the day of the demo bar, weeks from Monday.
QImage renderMiniCalendar(double scale);
QImage renderBigCalendar(double scale);

}  // namespace talvor::shot
