#include "SunLocation.h"

#include <cmath>

namespace talvor {
namespace {

std::optional<QTimeZone> zoneOf(const QVariantList& record) {
    const QByteArray id = LocationRecord::text(record, LocationRecord::kZone).toUtf8();
    if (!id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id)) {
        return QTimeZone(id);
    }
    // A record without a known zone still fixes its clock by its offset from GMT.
    if (const std::optional<double> hours = LocationRecord::hoursFromGMT(record)) {
        const QTimeZone fixed(static_cast<int>(std::lround(*hours * 3600.0)));
        if (fixed.isValid()) {
            return fixed;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<SunLocation> SunLocation::fromRecord(const QVariantList& record) {
    const std::optional<double> latitude =
        LocationRecord::number(record, LocationRecord::kPhoneOrLatitude);
    const std::optional<double> longitude =
        LocationRecord::number(record, LocationRecord::kFirstNameOrLongitude);
    // A phone number that reads as a number lands far outside these ranges.
    if (!latitude || !longitude || !std::isfinite(*latitude) || !std::isfinite(*longitude) ||
        std::abs(*latitude) > 90.0 || std::abs(*longitude) > 180.0) {
        return std::nullopt;
    }
    const std::optional<QTimeZone> zone = zoneOf(record);
    if (!zone) {
        return std::nullopt;
    }
    return SunLocation{LocationRecord::text(record, LocationRecord::kCity), *zone, *latitude,
                       *longitude};
}

std::optional<SunLocation> SunLocation::find(const LocationTable& table, const QString& city) {
    std::optional<SunLocation> first;
    for (const QVariant& entry : table) {
        const QVariantList record = LocationRecord::fields(entry);
        if (LocationRecord::text(record, LocationRecord::kCity) != city) {
            continue;
        }
        std::optional<SunLocation> location = fromRecord(record);
        if (!location) {
            continue;
        }
        if (LocationRecord::flag(record, LocationRecord::kInTimeMenu)) {
            return location;
        }
        if (!first) {
            first = std::move(location);
        }
    }
    return first;
}

}  // namespace talvor
