#pragma once

#include <QImage>
#include <QSize>

namespace talvor::shot {

// The settings window on the Global Scheduler: five places on 10 March 2026 (New York
// already on summer time, London not yet), a one-hour meeting at 15:00 London time, the
// window at `size`.
QImage renderSettingsPlanner(const QSize& size, double scale);

}  // namespace talvor::shot
