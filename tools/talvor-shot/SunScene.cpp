#include "SunScene.h"

#include "GrabWindow.h"

#include "platform/Clock.h"
#include "sky/SunInfoWindow.h"
#include "sky/SunInfoWindowController.h"

namespace talvor::shot {

QImage renderSunWindow(double scale) {
    const LocationTable table = {QVariantList{
        QString(), QStringLiteral("Helsinki"), QStringLiteral("Uusimaa"), QStringLiteral("Finland"),
        QStringLiteral("Europe/Helsinki"), 2.0, QStringLiteral("EET"), QStringLiteral("60.1695"),
        QStringLiteral("24.9354"), QString(), true, false}};
    SunInfoWindowController controller(platform::Clock::shared(), [table] { return table; });
    controller.setCityName(QStringLiteral("Helsinki"));
    // The day is fixed, so the picture does not depend on when it is made.
    controller.dateChanged(QDate(2025, 5, 20));
    return grabWindow(*controller.window(), scale);
}

}  // namespace talvor::shot
