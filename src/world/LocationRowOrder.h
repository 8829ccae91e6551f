#pragma once

#include <QVariantList>

#include <optional>

namespace talvor {

// The row comparator of the location table's sort: <0, 0 or >0 as `first` sorts before,
// with or after `second` by the field under `column` (column 14 shows field 5). Without a
// column every row compares equal. Numbers compare as numbers, text ignoring case, and two
// values of different kinds by their text forms.
int ORDER_BY_CONTEXT2(const QVariantList& first, const QVariantList& second,
                      std::optional<int> column, bool descending);

}  // namespace talvor
