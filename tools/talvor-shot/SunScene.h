#pragma once

#include <QImage>

namespace talvor::shot {

// The sun window for Helsinki on 2025-05-20, when the night is a long twilight.
QImage renderSunWindow(double scale);

}  // namespace talvor::shot
