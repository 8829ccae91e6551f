#pragma once

#include "foundation/LocationRecord.h"

#include <QString>
#include <QTimeZone>

#include <optional>

namespace talvor {

// Where a city of the location table lies and which zone its clocks keep: what the sun
// window needs to compute a day. Only the default table's records carry a position
// (fields 7 and 8); a record added from the address book or the picker holds a phone
// number and a first name there, so it has none.
struct SunLocation {
    QString city;
    QTimeZone zone;
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive

    // The position and zone of one record; nullopt when either is missing or out of range.
    static std::optional<SunLocation> fromRecord(const QVariantList& record);

    // The city named `city` in `table`. Of several records of that name with a position, the
    // first one shown in the time menu wins (the window opens from that menu, and the table
    // holds, for example, a London in Canada before the one in England), else the first in
    // table order. nullopt when no record of that name has a position.
    static std::optional<SunLocation> find(const LocationTable& table, const QString& city);
};

}  // namespace talvor
