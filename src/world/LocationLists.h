#pragma once

#include "foundation/LocationRecord.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace talvor {

// The country, state and city lists the picker offers, taken from a location table (the
// bundled one in the product), with each country's usual zone and each city's place.
class LocationLists {
  public:
    struct Place {
        QString city;
        QString state;
        QString country;
        QString zone;
        QString latitude;  // as the table writes them: text
        QString longitude;
    };

    LocationLists() = default;
    explicit LocationLists(const LocationTable& table);
    // The bundled table; empty lists (with one log line) when it cannot be read.
    static LocationLists bundled();

    QStringList DefaultCountries() const { return countries_; }
    QStringList DefaultCities() const { return allCities_; }
    // A country's states and cities; nullopt for a country the table does not know.
    std::optional<QStringList> states(const QString& country) const;
    std::optional<QStringList> cities(const QString& country) const;
    // The zone most of the country's places use; nullopt when none of them has one.
    std::optional<QString> countryZone(const QString& country) const;
    // A city of a country (any country when `country` is empty); among cities of the same
    // name the one in `state` wins.
    std::optional<Place> place(const QString& country, const QString& city,
                               const QString& state = QString()) const;

    // The place a zone is named after ("Europe/Berlin": Berlin), else the first place in
    // that zone; nullopt when no place uses it.
    std::optional<Place> placeInZone(const QString& zoneId) const;

  private:
    QStringList countries_;
    QStringList allCities_;
    QHash<QString, QStringList> states_;
    QHash<QString, QStringList> cities_;
    QHash<QString, QString> zones_;
    QList<Place> places_;
};

}  // namespace talvor
