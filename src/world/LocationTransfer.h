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

// The most one import takes. An exported list of this many rows is a few megabytes; a file
// beyond the size is refused unread, and one beyond the rows (in any list of the file) as
// soon as the reader meets the list, before its rows are built: an import never stalls or
// floods the program.
struct Limits {
    qint64 maxBytes = 32LL * 1024 * 1024;
    qsizetype maxRows = 100000;
};

// Reads an exported list. nullopt when the file is missing, no regular file, beyond the
// limits, not a property-list array, or holds no importable record; damaged entries are
// skipped and counted. `problem`, when given, gets a sentence for the user when the file
// was refused for its kind or size ("" otherwise). Safe on any thread.
std::optional<Imported> read(const QString& path, const Limits& limits = {},
                             QString* problem = nullptr);
// The same for the file's bytes.
std::optional<Imported> fromBytes(const QByteArray& bytes, const Limits& limits = {},
                                  QString* problem = nullptr);

// Writes `records` as a property-list array, replacing the file atomically.
bool write(const QString& path, const LocationTable& records, QString* error = nullptr);

}  // namespace talvor::LocationTransfer
