#include "PublicCalendarNames.h"

#include <QCoreApplication>
#include <QHash>

#include <unicode/unistr.h>

namespace talvor {
namespace {

// The provider's words for countries, by the region they name. Two keys are not the region
// code they look like: "sa" is South Africa ("saudiarabian" is Saudi Arabia) and "jewish" is
// Israel's holidays (the religious list has "judaism"); the list's order, sorted by country
// name, says so.
const QHash<QString, const char*>& regionOfWord() {
    static const QHash<QString, const char*> table = {
        {QStringLiteral("sa"), "ZA"},          {QStringLiteral("jewish"), "IL"},
        {QStringLiteral("australian"), "AU"},  {QStringLiteral("austrian"), "AT"},
        {QStringLiteral("brazilian"), "BR"},   {QStringLiteral("bulgarian"), "BG"},
        {QStringLiteral("canadian"), "CA"},    {QStringLiteral("china"), "CN"},
        {QStringLiteral("croatian"), "HR"},    {QStringLiteral("czech"), "CZ"},
        {QStringLiteral("danish"), "DK"},      {QStringLiteral("dutch"), "NL"},
        {QStringLiteral("finnish"), "FI"},     {QStringLiteral("french"), "FR"},
        {QStringLiteral("german"), "DE"},      {QStringLiteral("greek"), "GR"},
        {QStringLiteral("hong_kong"), "HK"},   {QStringLiteral("hungarian"), "HU"},
        {QStringLiteral("indian"), "IN"},      {QStringLiteral("indonesian"), "ID"},
        {QStringLiteral("irish"), "IE"},       {QStringLiteral("italian"), "IT"},
        {QStringLiteral("japanese"), "JP"},    {QStringLiteral("latvian"), "LV"},
        {QStringLiteral("lithuanian"), "LT"},  {QStringLiteral("malaysia"), "MY"},
        {QStringLiteral("mexican"), "MX"},     {QStringLiteral("new_zealand"), "NZ"},
        {QStringLiteral("norwegian"), "NO"},   {QStringLiteral("philippines"), "PH"},
        {QStringLiteral("polish"), "PL"},      {QStringLiteral("portuguese"), "PT"},
        {QStringLiteral("south_korea"), "KR"}, {QStringLiteral("romanian"), "RO"},
        {QStringLiteral("russian"), "RU"},     {QStringLiteral("saudiarabian"), "SA"},
        {QStringLiteral("singapore"), "SG"},   {QStringLiteral("slovak"), "SK"},
        {QStringLiteral("slovenian"), "SI"},   {QStringLiteral("spain"), "ES"},
        {QStringLiteral("swedish"), "SE"},     {QStringLiteral("taiwan"), "TW"},
        {QStringLiteral("turkish"), "TR"},     {QStringLiteral("ukrainian"), "UA"},
        {QStringLiteral("uk"), "GB"},          {QStringLiteral("usa"), "US"},
        {QStringLiteral("vietnamese"), "VN"},
    };
    return table;
}

// Calendars that are no country's.
const QHash<QString, const char*>& ownNames() {
    static const QHash<QString, const char*> table = {
        {QStringLiteral("judaism"), QT_TRANSLATE_NOOP("PublicCalendars", "Jewish Holidays")},
        {QStringLiteral("christian"), QT_TRANSLATE_NOOP("PublicCalendars", "Christian Holidays")},
        {QStringLiteral("islamic"), QT_TRANSLATE_NOOP("PublicCalendars", "Islamic Holidays")},
        {QStringLiteral("orthodox_christianity"),
         QT_TRANSLATE_NOOP("PublicCalendars", "Orthodox Christian Holidays")},
        {QStringLiteral("hinduism"), QT_TRANSLATE_NOOP("PublicCalendars", "Hindu Holidays")},
        {QStringLiteral("#daynum"), QT_TRANSLATE_NOOP("PublicCalendars", "Day of the Year")},
        {QStringLiteral("#hebrew"), QT_TRANSLATE_NOOP("PublicCalendars", "Hebrew Dates")},
        {QStringLiteral("#stardate"), QT_TRANSLATE_NOOP("PublicCalendars", "Stardates")},
    };
    return table;
}

// ICU's name of a region; none for a code it does not know (it gives the code back then).
QString regionName(const QByteArray& region, const icu::Locale& locale) {
    const icu::Locale place("", region.constData());
    icu::UnicodeString name;
    place.getDisplayCountry(locale, name);
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(name.getBuffer()), name.length());
    return text.isEmpty() || text == QString::fromLatin1(region) ? QString() : text;
}

}  // namespace

QString publicCalendarName(const QString& key, const icu::Locale& locale) {
    if (const auto own = ownNames().constFind(key); own != ownNames().constEnd()) {
        return QCoreApplication::translate("PublicCalendars", own.value());
    }
    const auto word = regionOfWord().constFind(key);
    const QByteArray region =
        word != regionOfWord().constEnd() ? QByteArray(word.value()) : key.toLatin1().toUpper();
    if (region.size() == 2) {
        if (QString name = regionName(region, locale); !name.isEmpty()) {
            return name;
        }
    }
    return key;
}

}  // namespace talvor
