#include "LocationTableModel.h"

#include "LocationRowOrder.h"
#include "WorldKeys.h"
#include "foundation/SystemTimeZone.h"
#include "platform/Date.h"
#include "platform/Log.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace talvor {
namespace {

using namespace LocationRecord;

void padTo(QVariantList& record, int index) {
    while (record.size() <= index) {
        record.append(QString());
    }
}

std::optional<QTimeZone> zoneOf(const QVariantList& record) {
    const QString id = text(record, kZone);
    if (id.isEmpty()) {
        return std::nullopt;
    }
    QTimeZone zone(id.toUtf8());
    if (!zone.isValid()) {
        return std::nullopt;
    }
    return zone;
}

bool hasNoZoneMark(const QVariantList& record) {
    const std::optional<double> hours = number(record, kHoursFromGMT);
    return hours && std::isfinite(*hours) && std::trunc(*hours) == kNoZoneHours;
}

}  // namespace

LocationTableModel::LocationTableModel(LocationTable list, QVariantList dialCodes, Ports ports)
    : locationList_(std::move(list)), dialCodes_(std::move(dialCodes)), ports_(std::move(ports)) {}

QVariantList LocationTableModel::record(int row) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return fields(locationList_.at(row));
}

QVariant LocationTableModel::objectValue(int row, int column, const Now& now) {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    QVariantList rec = record(row);
    if (isCheckBoxColumn(column)) {
        return flag(rec, column);
    }
    if (column < 0) {
        return text(rec, kCountry);
    }
    if (column != 14 && rec.size() <= column) {
        platform::log(QStringLiteral("objectValueForTableColumn bad data: %1 < %2")
                          .arg(column)
                          .arg(rec.size()));
        return QString();
    }
    if (column <= 3) {
        return text(rec, column);
    }
    if (column != 5 && column != 6 && column != 14) {
        return QStringLiteral("bug 3");
    }
    if (rec.size() <= 3) {
        return QString();
    }
    const std::optional<QTimeZone> zone = zoneOf(rec);
    if (column == 6) {
        if (!zone) {
            return text(rec, kAbbreviation);
        }
        const QString abbreviation =
            SystemTimeZone::abbreviation(*zone, Date::fromQDateTime(now.instant));
        if (rec.at(kAbbreviation) != QVariant(abbreviation)) {
            rec[kAbbreviation] = abbreviation;
            locationList_[row] = rec;
        }
        return abbreviation;
    }
    if (hasNoZoneMark(rec)) {
        return QString();
    }
    if (!zone) {
        platform::debugLog(
            QStringLiteral("Zone path bug (kLocZoneInfoPath not in Talvor Locations) %1")
                .arg(text(rec, kZone)));
        return QString();
    }
    const double fromGMT = zone->offsetFromUtc(now.instant) / 3600.0;
    if (column == 14 || now.gmtOffsets) {
        padTo(rec, kHoursFromGMT);
        if (rec.at(kHoursFromGMT) != QVariant(fromGMT)) {
            rec[kHoursFromGMT] = fromGMT;
            locationList_[row] = rec;
        }
        return QString::number(fromGMT);
    }
    const double local = now.systemZone.offsetFromUtc(now.instant) / 3600.0;
    return QString::number(fromGMT - local);
}

QString LocationTableModel::dialCode(const QString& text, int matchIndex, int resultIndex) const {
    const QStringList parts = text.split(QStringLiteral(", "));
    for (const QVariant& entry : dialCodes_) {
        const QVariantList pair = fields(entry);
        if (pair.size() > std::max(matchIndex, resultIndex) &&
            parts.contains(LocationRecord::text(pair, matchIndex))) {
            return LocationRecord::text(pair, resultIndex);
        }
    }
    return QString();
}

bool LocationTableModel::setObjectValue(int row, int column, const QString& value) {
    if (row < 0 || row >= rowCount() || !isEditableColumn(column)) {
        return false;
    }
    QVariantList rec = record(row);
    if (text(rec, column) == value) {
        return false;
    }
    padTo(rec, column);
    if (column == kNote && text(rec, kCountry).isEmpty()) {
        const QString country = dialCode(value, 0, 1);
        if (!country.isEmpty()) {
            padTo(rec, kCountry);
            rec[kCountry] = country;
        }
    } else if (column == kCountry && text(rec, kNote).isEmpty()) {
        const QString code = dialCode(value, 1, 0);
        if (!code.isEmpty()) {
            rec[kNote] = code;
        }
    }
    rec[column] = value;
    // An edited net record becomes the user's own, kept in the location file.
    if (isNetRecord(rec)) {
        rec.removeAt(kNetMarker);
    }
    locationList_[row] = rec;
    saveAndPost(flag(rec, kFloating));
    return true;
}

void LocationTableModel::toggleFlag(int row, int field) {
    if (row < 0 || row >= rowCount() || !isCheckBoxColumn(field)) {
        return;
    }
    QVariantList rec = record(row);
    setFlag(rec, field, !flag(rec, field));
    locationList_[row] = rec;
    saveAndPost(field == kFloating);
}

void LocationTableModel::allOff(int field) {
    if (!isCheckBoxColumn(field)) {
        return;
    }
    for (QVariant& entry : locationList_) {
        QVariantList rec = fields(entry);
        setFlag(rec, field, false);
        entry = rec;
    }
    saveAndPost(field == kFloating);
}

std::optional<int> LocationTableModel::deleteRows(QList<int> rows) {
    rows.removeIf([this](int r) { return r < 0 || r >= rowCount(); });
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int first = rows.front();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        locationList_.removeAt(*it);
    }
    saveAndPost(true);
    if (locationList_.isEmpty()) {
        return std::nullopt;
    }
    return std::min(rowCount() - 1, first);
}

bool LocationTableModel::validateDrop(int source, int target) const {
    return source >= 0 && source < rowCount() && target >= 0 && target <= rowCount() &&
           target != source && target != source + 1;
}

void LocationTableModel::moveRow(int source, int target) {
    if (!validateDrop(source, target)) {
        return;
    }
    locationList_.insert(target, locationList_.at(source));
    locationList_.removeAt(source > target ? source + 1 : source);
    saveAndPost(false);
}

std::vector<int> LocationTableModel::sortData(std::optional<int> column, bool descending) {
    if (column == -1) {
        column = kCountry;
    }
    std::vector<int> order(locationList_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return ORDER_BY_CONTEXT2(record(a), record(b), column, descending) < 0;
    });
    LocationTable sorted;
    sorted.reserve(locationList_.size());
    for (int old : order) {
        sorted.append(locationList_.at(old));
    }
    locationList_ = std::move(sorted);
    saveAndPost(false);
    return order;
}

void LocationTableModel::appendRecord(const QVariantList& rec) {
    locationList_.append(QVariant(rec));
    saveAndPost(flag(rec, kFloating));
}

void LocationTableModel::replaceAll(LocationTable list) {
    locationList_ = std::move(list);
    saveAndPost(true);
}

LocationTableModel::ImportPlan LocationTableModel::planImport(const LocationTable& present,
                                                              const LocationTable& records,
                                                              const std::atomic<bool>* cancelled) {
    const auto stopped = [cancelled] {
        return cancelled != nullptr && cancelled->load(std::memory_order_relaxed);
    };
    QSet<QString> identities;
    identities.reserve(present.size() + records.size());
    for (const QVariant& entry : present) {
        identities.insert(identityKey(fields(entry)));
    }
    ImportPlan plan;
    for (const QVariant& entry : records) {
        if (stopped()) {
            break;
        }
        const QVariantList rec = fields(entry);
        const qsizetype before = identities.size();
        identities.insert(identityKey(rec));
        if (identities.size() == before) {
            ++plan.duplicates;
            continue;
        }
        plan.floating = plan.floating || flag(rec, kFloating);
        plan.added.append(QVariant(rec));
    }
    return plan;
}

LocationTableModel::ImportCount LocationTableModel::applyImport(const ImportPlan& plan) {
    ImportCount count;
    count.duplicates = plan.duplicates;
    count.added = static_cast<int>(plan.added.size());
    if (count.added > 0) {
        locationList_.append(plan.added);
        saveAndPost(plan.floating);
    }
    return count;
}

LocationTableModel::ImportCount LocationTableModel::importRecords(const LocationTable& records) {
    return applyImport(planImport(locationList_, records));
}

bool LocationTableModel::locationIsSame(const QVariantList& a, const QVariantList& b) {
    return sameIdentity(a, b);
}

void LocationTableModel::saveAndPost(bool floatingChanged) {
    if (ports_.save && !ports_.save(locationList_)) {
        platform::log(QStringLiteral("Locations: the location table could not be saved"));
    }
    if (!ports_.post) {
        return;
    }
    if (floatingChanged) {
        ports_.post(keys::TalvorFloatingClockPrefsChangeNotification);
    }
    ports_.post(keys::TalvorLocationChangeNotification);
}

}  // namespace talvor
