#pragma once

#include "foundation/LocationRecord.h"

#include <QString>

#include <optional>

namespace talvor::LocationTransfer {

// An import file's usable records, and how many of its entries were not location records.
struct Imported {
    LocationTable records;
    int rejected = 0;
};

// A record from outside: an array whose note, city, state, country and zone are text and
// whose two check boxes are booleans (or not yet set).
bool isImportableRecord(const QVariant& entry);

// Reads an exported list. nullopt when the file is missing, a folder, not a property-list
// array, or holds no importable record; damaged entries are skipped and counted.
std::optional<Imported> read(const QString& path);

// Writes `records` as a property-list array, replacing the file atomically.
bool write(const QString& path, const LocationTable& records, QString* error = nullptr);

}  // namespace talvor::LocationTransfer
