#include "LocationRowOrder.h"

#include "foundation/LocationRecord.h"
#include "platform/Log.h"

namespace talvor {
namespace {

bool isNumber(const QVariant& v) {
    const int type = v.typeId();
    return type == QMetaType::Double || type == QMetaType::LongLong || type == QMetaType::Int;
}

int sign(auto a, auto b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int ORDER_BY_CONTEXT2(const QVariantList& first, const QVariantList& second,
                      std::optional<int> column, bool descending) {
    if (!column) {
        return 0;
    }
    const int field = *column == 14 ? LocationRecord::kHoursFromGMT : *column;
    const QVariantList& a = descending ? second : first;
    const QVariantList& b = descending ? first : second;
    QVariant f = field >= 0 && field < a.size() ? a.at(field) : QVariant(QString());
    QVariant s = field >= 0 && field < b.size() ? b.at(field) : QVariant(QString());
    if (f.typeId() != s.typeId() && !(isNumber(f) && isNumber(s))) {
        platform::debugLog(QStringLiteral("first %1 != second %2").arg(f.toString(), s.toString()));
        f = LocationRecord::text(a, field);
        s = LocationRecord::text(b, field);
    }
    int order = 0;
    if (isNumber(f) && isNumber(s)) {
        order = sign(f.toDouble(), s.toDouble());
    } else if (f.typeId() == QMetaType::QString) {
        order = sign(QString::compare(f.toString(), s.toString(), Qt::CaseInsensitive), 0);
    } else if (f.typeId() == QMetaType::Bool) {
        order = sign(f.toBool(), s.toBool());
    } else {
        order = QVariant::compare(f, s) == QPartialOrdering::Less      ? -1
                : QVariant::compare(f, s) == QPartialOrdering::Greater ? 1
                                                                       : 0;
    }
    platform::debugLog(
        QStringLiteral("order: %1, f %2, s %3").arg(order, 2).arg(f.toString(), s.toString()));
    return order;
}

}  // namespace talvor
