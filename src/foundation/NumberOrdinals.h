#pragma once

#include "StringsBundle.h"

#include <QString>

#include <cstdint>
#include <optional>

// Ordinal number texts ("1st", "22nd", ...) from a strings table. Texts from a table are
// never used as printf formats: only %d, %ld and %i (and %%) are replaced, by the number.
namespace talvor {

// The key made from `keyFormat` and n (e.g. "ends in %d" and 3 give "ends in 3"), looked
// up in the bundle's table; nullopt when the table has no such key.
std::optional<QString> numLoc(const StringsBundle& bundle, const QString& keyFormat, std::int64_t n,
                              const QString& table);

// The table's text for n itself, else for "ends in <last digit>" (sign kept for negative
// n), else for "default"; nullopt when none of these is in the table.
std::optional<QString> numberStringFormat(
    std::int64_t n, const QString& table,
    const StringsBundle& bundle = StringsBundle::mainBundle());

// numberStringFormat with n put in; the bare number when the table has no text for it.
QString numberString(std::int64_t n, const QString& table,
                     const StringsBundle& bundle = StringsBundle::mainBundle());

// The text with every %d, %ld and %i replaced by n (C-locale digits) and %% by %; any other
// % sequence is kept as it is.
QString substituteNumber(const QString& format, std::int64_t n);

}  // namespace talvor
