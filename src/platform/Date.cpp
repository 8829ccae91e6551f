#include "Date.h"

#include <QTimeZone>

#include <cmath>

namespace talvor {

Date Date::fromQDateTime(const QDateTime& dt) {
    if (!dt.isValid()) {
        return Date();
    }
    return fromUnix(static_cast<double>(dt.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Date::toQDateTime() const {
    const double ms = std::floor(timeIntervalSince1970() * 1000.0 + 0.5);
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC);
}

}  // namespace talvor
