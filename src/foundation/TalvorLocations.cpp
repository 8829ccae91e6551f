#include "TalvorLocations.h"

namespace talvor {
namespace {

// The text fields with their keys, in the order they are written.
using Text = QString TalvorLocations::*;
struct TextKey {
    const char* key;
    Text field;
};
constexpr TextKey kTexts[] = {
    {"city", &TalvorLocations::city},           {"state", &TalvorLocations::state},
    {"country", &TalvorLocations::country},     {"notes", &TalvorLocations::notes},
    {"timeZone", &TalvorLocations::timeZone},   {"lastName", &TalvorLocations::lastName},
    {"firstName", &TalvorLocations::firstName}, {"phone", &TalvorLocations::phone},
    {"abUID", &TalvorLocations::abUID},
};

}  // namespace

void TalvorLocations::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeBool(QStringLiteral("showInFloating"), showInFloating);
    coder.encodeBool(QStringLiteral("showInMenu"), showInMenu);
    coder.encodeBool(QStringLiteral("showInTimeZoneCalulator"), showInTimeZoneCalulator);
    coder.encodeInt32(QStringLiteral("actionType"), actionType);
    coder.encodeInt32(QStringLiteral("workStartHours"), workStartHours);
    coder.encodeInt32(QStringLiteral("workEndHours"), workEndHours);
    for (const TextKey& t : kTexts) {
        if (!(this->*t.field).isNull()) {
            coder.encodeString(QLatin1String(t.key), this->*t.field);
        }
    }
    coder.encodeInt32(QStringLiteral("timeOffset"), timeOffset);
    if (creationDate) {
        coder.encodeDate(QStringLiteral("creationDate"), *creationDate);
    }
    if (modDate) {
        coder.encodeDate(QStringLiteral("modDate"), *modDate);
    }
    if (!URL.isEmpty()) {
        coder.encodeString(QStringLiteral("URL"), URL.toString());
    }
}

std::optional<TalvorLocations> TalvorLocations::initWithCoder(
    const platform::KeyedUnarchiver& coder) {
    TalvorLocations l;
    l.showInFloating = coder.decodeBool(QStringLiteral("showInFloating"));
    l.showInMenu = coder.decodeBool(QStringLiteral("showInMenu"));
    l.showInTimeZoneCalulator = coder.decodeBool(QStringLiteral("showInTimeZoneCalulator"));
    l.actionType = coder.decodeInt32(QStringLiteral("actionType"));
    l.workStartHours = coder.decodeInt32(QStringLiteral("workStartHours"));
    l.workEndHours = coder.decodeInt32(QStringLiteral("workEndHours"));
    for (const TextKey& t : kTexts) {
        l.*t.field = coder.decodeString(QLatin1String(t.key));
    }
    l.timeOffset = coder.decodeInt32(QStringLiteral("timeOffset"));
    l.creationDate = coder.decodeDate(QStringLiteral("creationDate"));
    l.modDate = coder.decodeDate(QStringLiteral("modDate"));
    const QString url = coder.decodeString(QStringLiteral("URL"));
    if (!url.isEmpty()) {
        l.URL = QUrl(url);
    }
    return l;
}

}  // namespace talvor
