#pragma once

#include "platform/Date.h"
#include "platform/KeyedArchiver.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace talvor {

// One place in its object form: its zone, working hours and contact details, as keyed
// archives hold it. The location table itself keeps places as arrays (LocationRecord.h);
// this form is read and written only where an archive carries it.
struct TalvorLocations {
    bool showInFloating = false;
    bool showInMenu = false;
    bool showInTimeZoneCalulator = false;
    qint32 actionType = 0;
    qint32 workStartHours = 0;
    qint32 workEndHours = 0;
    QString city;
    QString state;
    QString country;
    QString notes;
    QString timeZone;  // a zone identifier, "Europe/Paris"
    QString lastName;
    QString firstName;
    QString phone;
    QString abUID;  // the address-book card's unique identifier
    qint32 timeOffset = 0;
    std::optional<Date> creationDate;
    std::optional<Date> modDate;
    QUrl URL;  // stored as its text

    static QString archiveClassName() { return QStringLiteral("TalvorLocations"); }
    // Every field under its key; empty texts, absent dates and an empty URL are left out.
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    // Every key read back; an absent or mistyped key gives the empty value.
    static std::optional<TalvorLocations> initWithCoder(const platform::KeyedUnarchiver& coder);

    bool operator==(const TalvorLocations&) const = default;
};

}  // namespace talvor
