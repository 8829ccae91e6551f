#pragma once

#include <QImage>

namespace talvor::shot {

// Two floating clocks, Paris and Tokyo, at a fixed moment, with the default options.
QImage renderFloatingClocks(double scale);
// Four floating clocks on the flag face: France, Japan, Nepal and the USA.
QImage renderFlagClocks(double scale);
// Every clock face type, 1 to 21, at 10:10:30 with the second hand.
QImage renderClockFaces(double scale);

}  // namespace talvor::shot
