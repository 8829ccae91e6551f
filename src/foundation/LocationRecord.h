#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace talvor {

// A location table as stored: a property-list array of records, each record an array
// addressed by field index. Kept as plain property-list values so that every file reads
// and writes back unchanged, whatever types its fields hold.
using LocationTable = QVariantList;

namespace LocationRecord {

enum Field : int {
    kNote = 0,
    kCity = 1,
    kState = 2,
    kCountry = 3,
    kZone = 4,
    kHoursFromGMT = 5,
    kAbbreviation = 6,
    kPhoneOrLatitude = 7,
    kFirstNameOrLongitude = 8,
    kLastName = 9,
    kInTimeMenu = 10,
    kFloating = 11,
    kReserved = 12,
    kNetMarker = 13,
};

// A record of this many fields or more came from the net-location cache.
inline constexpr int kNetRecordFields = 14;
// Field 5 whose integer part is this means "no zone".
inline constexpr int kNoZoneHours = -100;

// The fields of a table entry; empty when the entry is not an array.
QVariantList fields(const QVariant& entry);

// Field `index` as text: "" when missing, a string as is, any other value in its text
// form (numbers in C-locale digits, booleans "1"/"0").
QString text(const QVariantList& record, int index);

// Field `index` as a number: a number, or text that reads wholly as one (C locale).
std::optional<double> number(const QVariantList& record, int index);

// Field 5; nullopt when missing, unreadable or "no zone".
std::optional<double> hoursFromGMT(const QVariantList& record);

// Only a boolean true counts; "1" or the number 1 do not.
bool flag(const QVariantList& record, int index);

// Sets a boolean field, padding the record with "" up to it.
void setFlag(QVariantList& record, int index, bool on);

bool isNetRecord(const QVariantList& record);

// Same note, city, state, country and zone; a missing field counts as "".
bool sameIdentity(const QVariantList& a, const QVariantList& b);

// A key equal for exactly the records that sameIdentity calls equal.
QString identityKey(const QVariantList& record);

// The record as merged from the cache: padded with "" to 13 fields, field 13 set to true.
QVariantList asNetRecord(QVariantList record);

}  // namespace LocationRecord
}  // namespace talvor
