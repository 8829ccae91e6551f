#pragma once

#include <QVariant>

#include <optional>

namespace talvor {

// How the locations window sorts its records: by one column, either way.
struct LocationSortContext {
    std::optional<int> column;  // no column: every row compares equal
    bool descending = false;
};

// Orders two location records (arrays) by the context's column: column 14 sorts by the
// offset field (5), any other column by the field of its number. Values of different kinds
// are compared as text; two numbers numerically; text ignoring case. Returns -1, 0 or 1.
int ORDER_BY_CONTEXT2(const QVariant& first, const QVariant& second,
                      const LocationSortContext& context);

}  // namespace talvor
