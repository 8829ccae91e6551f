#include "LocationLists.h"

#include "foundation/TalvorFilePaths.h"
#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>

#include <algorithm>

namespace talvor {
namespace {

void sortUnique(QStringList& list) {
    list.removeAll(QString());
    std::sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
        return QString::localeAwareCompare(a, b) < 0;
    });
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

}  // namespace

LocationLists::LocationLists(const LocationTable& table) {
    QHash<QString, QHash<QString, int>> zoneCounts;
    for (const QVariant& entry : table) {
        const QVariantList record = LocationRecord::fields(entry);
        Place place{LocationRecord::text(record, LocationRecord::kCity).trimmed(),
                    LocationRecord::text(record, LocationRecord::kState).trimmed(),
                    LocationRecord::text(record, LocationRecord::kCountry).trimmed(),
                    LocationRecord::text(record, LocationRecord::kZone).trimmed(),
                    LocationRecord::text(record, LocationRecord::kPhoneOrLatitude).trimmed(),
                    LocationRecord::text(record, LocationRecord::kFirstNameOrLongitude).trimmed()};
        if (place.country.isEmpty() || place.city.isEmpty()) {
            continue;
        }
        countries_.append(place.country);
        allCities_.append(place.city);
        states_[place.country].append(place.state);
        cities_[place.country].append(place.city);
        if (!place.zone.isEmpty()) {
            ++zoneCounts[place.country][place.zone];
        }
        places_.append(place);
    }
    sortUnique(countries_);
    sortUnique(allCities_);
    for (QStringList& list : states_) {
        sortUnique(list);
    }
    for (QStringList& list : cities_) {
        sortUnique(list);
    }
    for (auto it = zoneCounts.cbegin(); it != zoneCounts.cend(); ++it) {
        QString best;
        int most = 0;
        for (auto zone = it->cbegin(); zone != it->cend(); ++zone) {
            if (zone.value() > most || (zone.value() == most && zone.key() < best)) {
                best = zone.key();
                most = zone.value();
            }
        }
        zones_.insert(it.key(), best);
    }
}

LocationLists LocationLists::bundled() {
    const QString path = TalvorFilePaths::defaultLocationsPath();
    const platform::BoundedRead read = platform::readRegularFile(path, platform::kLocationTableCap);
    const std::optional<QVariant> value =
        read.bytes ? platform::PropertyList::parse(*read.bytes) : std::nullopt;
    if (!value || value->typeId() != QMetaType::QVariantList) {
        platform::log(QStringLiteral("Location lists: cannot read %1").arg(path));
        return {};
    }
    return LocationLists(value->toList());
}

std::optional<QStringList> LocationLists::states(const QString& country) const {
    const auto it = states_.constFind(country);
    return it == states_.cend() ? std::nullopt : std::optional<QStringList>(*it);
}

std::optional<QStringList> LocationLists::cities(const QString& country) const {
    const auto it = cities_.constFind(country);
    return it == cities_.cend() ? std::nullopt : std::optional<QStringList>(*it);
}

std::optional<QString> LocationLists::countryZone(const QString& country) const {
    const auto it = zones_.constFind(country);
    return it == zones_.cend() ? std::nullopt : std::optional<QString>(*it);
}

std::optional<LocationLists::Place> LocationLists::place(const QString& country,
                                                         const QString& city,
                                                         const QString& state) const {
    std::optional<Place> found;
    for (const Place& p : places_) {
        if (p.city != city || (!country.isEmpty() && p.country != country)) {
            continue;
        }
        if (!found || (p.state == state && found->state != state)) {
            found = p;
        }
    }
    return found;
}

std::optional<LocationLists::Place> LocationLists::placeInZone(const QString& zoneId) const {
    if (zoneId.isEmpty()) {
        return std::nullopt;
    }
    const QString named =
        zoneId.section(QLatin1Char('/'), -1).replace(QLatin1Char('_'), QLatin1Char(' '));
    std::optional<Place> found;
    for (const Place& p : places_) {
        if (p.zone != zoneId) {
            continue;
        }
        if (p.city == named) {
            return p;
        }
        if (!found) {
            found = p;
        }
    }
    return found;
}

}  // namespace talvor
