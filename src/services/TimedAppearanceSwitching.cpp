#include "TimedAppearanceSwitching.h"

#include "SystemEventNames.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "sky/EDSunriseSet.h"

#include <QDateTime>

#include <cmath>

namespace talvor::TimedAppearanceSwitching {
namespace {

int secondsOfDay(Date date, const QTimeZone& zone) {
    const QTime t =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(date.toUDate())), zone)
            .time();
    return t.msecsSinceStartOfDay() / 1000;
}

std::optional<Date> storedDate(const QString& key) {
    const QVariant v = platform::UserDefaults::standard().objectForKey(key);
    if (v.typeId() != QMetaType::QDateTime) {
        return std::nullopt;
    }
    return Date::fromQDateTime(v.toDateTime());
}

}  // namespace

AppleInterfaceStyle customAppearance(int n, int l, int d) {
    if (d > l) {
        if (n > l && n < d) {
            platform::debugLog(QStringLiteral("Light Time"));
            return AppleInterfaceStyle::light;
        }
        platform::debugLog(QStringLiteral("Dark Time"));
        return AppleInterfaceStyle::dark;
    }
    platform::debugLog(QStringLiteral("light time is greater than dark"));
    if (n > d && n < l) {
        platform::debugLog(QStringLiteral("Dark Time"));
        return AppleInterfaceStyle::dark;
    }
    platform::debugLog(QStringLiteral("Light Time"));
    return AppleInterfaceStyle::light;
}

AppleInterfaceStyle sunAppearance(Date now, const QTimeZone& zone, double latitude,
                                  double longitude) {
    const EDSunriseSet sun(now, zone, latitude, longitude);
    switch (sun.sunriseSet().status) {
        case EDSunriseSet::Status::AlwaysAbove:
            return AppleInterfaceStyle::light;
        case EDSunriseSet::Status::AlwaysBelow:
            return AppleInterfaceStyle::dark;
        case EDSunriseSet::Status::Crosses:
            break;
    }
    return now > *sun.sunrise() && now < *sun.sunset() ? AppleInterfaceStyle::light
                                                       : AppleInterfaceStyle::dark;
}

std::optional<AppleInterfaceStyle> wantedAppearance(Date now, const QTimeZone& zone) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QString mode = defaults.stringForKey(kAppearanceSwitchKey);
    if (mode == kAppearanceSwitchCustom) {
        const std::optional<Date> light = storedDate(kLightModeTimeKey);
        const std::optional<Date> dark = storedDate(kDarkModeTimeKey);
        if (!light || !dark) {
            return std::nullopt;
        }
        return customAppearance(secondsOfDay(now, zone), secondsOfDay(*light, zone),
                                secondsOfDay(*dark, zone));
    }
    if (mode == kAppearanceSwitchSunSetRise) {
        // Linux has no system-wide location switch: a stored position is the permission.
        const double latitude = defaults.doubleForKey(kCurrentLatitudeKey);
        const double longitude = defaults.doubleForKey(kCurrentLongitudeKey);
        if (latitude == 0.0 && longitude == 0.0) {
            return std::nullopt;
        }
        return sunAppearance(now, zone, latitude, longitude);
    }
    return std::nullopt;
}

void tick(Date now, const QTimeZone& zone) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QString mode = defaults.stringForKey(kAppearanceSwitchKey);
    if (mode != kAppearanceSwitchManual && mode != kAppearanceSwitchCustom &&
        mode != kAppearanceSwitchSunSetRise) {
        if (mode != kAppearanceSwitchOff) {
            // Saved by the save timer: this may run before the strip's first frame.
            defaults.setObject(kAppearanceSwitchOff, kAppearanceSwitchKey);
        }
        return;
    }
    if (const std::optional<AppleInterfaceStyle> wanted = wantedAppearance(now, zone)) {
        if (*wanted == AppleInterfaceStyle::dark) {
            ChangeAppearance::makeDark();
        } else {
            ChangeAppearance::makeLight();
        }
    }
}

}  // namespace talvor::TimedAppearanceSwitching
