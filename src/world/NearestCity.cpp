#include "NearestCity.h"

#include <cmath>
#include <numbers>

namespace talvor {
namespace {

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// The central angle between two positions (haversine): the order of distances is all
// that counts, so the earth's radius is left out.
double angleBetween(double lat1, double lon1, double lat2, double lon2) {
    const double dLat = radians(lat2 - lat1);
    const double dLon = radians(lon2 - lon1);
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(radians(lat1)) * std::cos(radians(lat2)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * std::atan2(std::sqrt(a), std::sqrt(1 - a));
}

}  // namespace

std::optional<QString> nearestCity(const LocationTable& table, double latitude, double longitude) {
    std::optional<QString> best;
    double bestAngle = 0;
    for (const QVariant& entry : table) {
        const QVariantList record = LocationRecord::fields(entry);
        const QString city = LocationRecord::text(record, LocationRecord::kCity);
        const std::optional<double> lat =
            LocationRecord::number(record, LocationRecord::kPhoneOrLatitude);
        const std::optional<double> lon =
            LocationRecord::number(record, LocationRecord::kFirstNameOrLongitude);
        if (city.isEmpty() || !lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 180) {
            continue;
        }
        const double angle = angleBetween(latitude, longitude, *lat, *lon);
        if (!best || angle < bestAngle) {
            best = city;
            bestAngle = angle;
        }
    }
    return best;
}

}  // namespace talvor
