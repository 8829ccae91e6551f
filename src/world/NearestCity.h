#pragma once

#include "foundation/LocationRecord.h"

#include <QString>

#include <optional>

namespace talvor {

// The city of the table's record nearest to a position (great-circle distance), among the
// records that carry a latitude and a longitude (fields 7 and 8) and a city; nullopt when
// none does. Needs no network: the bundled table names the user's city.
std::optional<QString> nearestCity(const LocationTable& table, double latitude, double longitude);

}  // namespace talvor
