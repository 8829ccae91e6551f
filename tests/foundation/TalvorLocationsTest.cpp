#include "foundation/TalvorLocations.h"
#include "platform/KeyedArchiver.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace talvor {
namespace {

TEST(foundationTalvorLocations, EveryFieldComesBackFromItsArchive) {
    TalvorLocations l;
    l.showInFloating = true;
    l.showInMenu = false;
    l.showInTimeZoneCalulator = true;
    l.actionType = 3;
    l.workStartHours = 9;
    l.workEndHours = -17;
    l.city = QStringLiteral("Zürich");
    l.state = QStringLiteral("ZH");
    l.country = QStringLiteral("Switzerland");
    l.notes = QStringLiteral("+41 44 000 00 00, Anna Muster");
    l.timeZone = QStringLiteral("Europe/Zurich");
    l.lastName = QStringLiteral("Muster");
    l.firstName = QStringLiteral("Anna");
    l.phone = QStringLiteral("+41 44 000 00 00");
    l.abUID = QStringLiteral("uid-anna");
    l.timeOffset = 3600;
    l.creationDate =
        Date::fromQDateTime(QDateTime(QDate(2024, 2, 29), QTime(8, 30, 15, 250), QTimeZone::utc()));
    l.modDate = Date::fromQDateTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()));
    l.URL = QUrl(QStringLiteral("https://example.org/anna?x=1#top"));

    const QByteArray data = platform::KeyedArchiver::archivedDataWithRootObject(l);
    ASSERT_FALSE(data.isEmpty());
    const std::optional<TalvorLocations> back =
        platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorLocations>(data);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, l);

    // The keys are the archive's own, spelling included.
    const std::optional<platform::KeyedUnarchiver> coder =
        platform::KeyedUnarchiver::fromData(data);
    ASSERT_TRUE(coder.has_value());
    EXPECT_EQ(coder->className(), QStringLiteral("TalvorLocations"));
    for (const char* key :
         {"showInFloating", "showInMenu", "showInTimeZoneCalulator", "actionType", "workStartHours",
          "workEndHours", "city", "state", "country", "notes", "timeZone", "lastName", "firstName",
          "phone", "abUID", "timeOffset", "creationDate", "modDate", "URL"}) {
        EXPECT_TRUE(coder->containsValueForKey(QLatin1String(key))) << key;
    }
}

TEST(foundationTalvorLocations, AnEmptyRecordAndMissingKeysReadAsEmpty) {
    const TalvorLocations empty;
    const std::optional<TalvorLocations> back =
        platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorLocations>(
            platform::KeyedArchiver::archivedDataWithRootObject(empty));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, empty);
    EXPECT_FALSE(back->creationDate.has_value());
    EXPECT_TRUE(back->URL.isEmpty());
}

}  // namespace
}  // namespace talvor
