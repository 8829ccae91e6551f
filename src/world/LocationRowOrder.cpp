#include "LocationRowOrder.h"

#include "foundation/LocationRecord.h"

namespace talvor {
namespace {

constexpr int kOffsetColumn = 14;

bool isNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}

bool isText(const QVariant& value) {
    return value.typeId() == QMetaType::QString;
}

// A value's text form, when it has one; numbers in C-locale digits.
QVariant asText(const QVariant& value) {
    if (isText(value)) {
        return value;
    }
    if (isNumber(value) || value.typeId() == QMetaType::Bool) {
        return LocationRecord::text(QVariantList{value}, 0);
    }
    return value;
}

int sign(double d) {
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

}  // namespace

int ORDER_BY_CONTEXT2(const QVariant& first, const QVariant& second,
                      const LocationSortContext& context) {
    if (!context.column) {
        return 0;
    }
    const int field =
        *context.column == kOffsetColumn ? LocationRecord::kHoursFromGMT : *context.column;
    const QVariantList a = LocationRecord::fields(context.descending ? second : first);
    const QVariantList b = LocationRecord::fields(context.descending ? first : second);
    // A short record reads as having "" in the fields it lacks.
    QVariant x = field < a.size() ? a.at(field) : QVariant(QString());
    QVariant y = field < b.size() ? b.at(field) : QVariant(QString());
    if (x.typeId() != y.typeId()) {
        x = asText(x);
        y = asText(y);
    }
    if (isNumber(x) && isNumber(y)) {
        return sign(x.toDouble() - y.toDouble());
    }
    if (isText(x)) {
        return sign(x.toString().compare(y.toString(), Qt::CaseInsensitive));
    }
    const QPartialOrdering order = QVariant::compare(x, y);
    return order == QPartialOrdering::Less ? -1 : (order == QPartialOrdering::Greater ? 1 : 0);
}

}  // namespace talvor
