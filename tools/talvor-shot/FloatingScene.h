#pragma once

#include <QImage>

namespace talvor::shot {

// Two floating clocks, Paris and Tokyo, at a fixed moment, with the default options.
QImage renderFloatingClocks(double scale);

}  // namespace talvor::shot
