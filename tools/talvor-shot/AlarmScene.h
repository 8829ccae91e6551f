#pragma once

#include <QImage>

namespace talvor::shot {

// The bar with a ringing alarm: its item showing the full disc of the flashing, and the
// alarm's snooze window under it.
QImage renderRingingAlarm(int width, double scale);

}  // namespace talvor::shot
