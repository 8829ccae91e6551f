#include "support/ScopedMachineZone.h"
#include "world/MeetingPlanner.h"
#include "world/NearestCity.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc()));
}

MeetingPlanner::Row place(const char* city, const char* zone) {
    return {QString::fromUtf8(city), QString::fromLatin1(zone), std::nullopt};
}

class MeetingPlannerTest : public ::testing::Test {
  protected:
    test::ScopedMachineZone machine{"UTC", "en_US"};
    const QTimeZone local = QTimeZone::utc();
};

using worldMeetingPlanner = MeetingPlannerTest;

// Two places at one moment, on both sides of their clock changes: the gap between them
// follows each place's own rules on that date.
TEST_F(worldMeetingPlanner, ZonePairsReadTheirOwnClocksAcrossClockChanges) {
    struct Case {
        const char* name;
        const char* zoneA;
        const char* zoneB;
        Date moment;
        const char *timeA, *amPmA, *dateA;
        const char *timeB, *amPmB, *dateB;
    };
    const Case cases[] = {
        {"New York still on winter time, 5 h behind London", "America/New_York", "Europe/London",
         utc(2026, 3, 5, 14, 0), "09:00", "AM", "03/05", "02:00", "PM", "03/05"},
        {"New York moved on 8 March, London not yet: 4 h", "America/New_York", "Europe/London",
         utc(2026, 3, 10, 14, 0), "10:00", "AM", "03/10", "02:00", "PM", "03/10"},
        {"both on summer time again: 5 h", "America/New_York", "Europe/London",
         utc(2026, 3, 30, 14, 0), "10:00", "AM", "03/30", "03:00", "PM", "03/30"},
        {"Sydney on summer time, 18 h ahead of Los Angeles", "Australia/Sydney",
         "America/Los_Angeles", utc(2026, 4, 4, 14, 0), "01:00", "AM", "04/05", "07:00", "AM",
         "04/04"},
        {"Sydney back to standard time on 5 April: 17 h", "Australia/Sydney", "America/Los_Angeles",
         utc(2026, 4, 6, 14, 0), "12:00", "AM", "04/07", "07:00", "AM", "04/06"},
        {"Kathmandu at +5:45 beside UTC", "Asia/Kathmandu", "UTC", utc(2026, 6, 1, 0, 0), "05:45",
         "AM", "06/01", "12:00", "AM", "06/01"},
        {"Chatham at +12:45 in the southern winter", "Pacific/Chatham", "UTC",
         utc(2026, 6, 1, 0, 0), "12:45", "PM", "06/01", "12:00", "AM", "06/01"},
        {"Chatham at +13:45 in the southern summer", "Pacific/Chatham", "UTC",
         utc(2026, 1, 15, 0, 0), "01:45", "PM", "01/15", "12:00", "AM", "01/15"},
    };
    MeetingPlanner planner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MeetingPlanner::Times a = planner.timesAt(place("A", c.zoneA), c.moment, local);
        const MeetingPlanner::Times b = planner.timesAt(place("B", c.zoneB), c.moment, local);
        EXPECT_EQ(a.time + QLatin1Char(' ') + a.amPm + QLatin1Char(' ') + a.date,
                  QStringLiteral("%1 %2 %3")
                      .arg(QLatin1String(c.timeA), QLatin1String(c.amPmA), QLatin1String(c.dateA)));
        EXPECT_EQ(b.time + QLatin1Char(' ') + b.amPm + QLatin1Char(' ') + b.date,
                  QStringLiteral("%1 %2 %3")
                      .arg(QLatin1String(c.timeB), QLatin1String(c.amPmB), QLatin1String(c.dateB)));
    }
}

TEST_F(worldMeetingPlanner, TheChosenMomentKeepsItsDayAndYear) {
    // 29 February of a leap year, seen from Apia (+13): still the right day and year.
    const Date noon = MeetingPlanner::momentAt(QDate(2024, 2, 29), 12 * 60, local);
    EXPECT_EQ(noon, utc(2024, 2, 29, 12, 0));
    MeetingPlanner planner;
    EXPECT_EQ(planner.timesAt(place("Apia", "Pacific/Apia"), noon, local).date,
              QStringLiteral("03/01"));
    EXPECT_EQ(planner.timesAt(place("Apia", "Pacific/Apia"), noon, local).time,
              QStringLiteral("01:00"));
    // The slider's ends: midnight and the coming midnight.
    EXPECT_EQ(MeetingPlanner::momentAt(QDate(2026, 5, 15), 0, local), utc(2026, 5, 15, 0, 0));
    EXPECT_EQ(MeetingPlanner::momentAt(QDate(2026, 5, 15), 1440, local), utc(2026, 5, 16, 0, 0));
}

TEST_F(worldMeetingPlanner, OnAClockChangeDayEverySliderPositionIsItsOwnMoment) {
    const QTimeZone newYork("America/New_York");
    const QDate day(2026, 3, 8);  // 2:00 EST becomes 3:00 EDT
    // Three hours into the day is 4:00 EDT, not the 3:00 a wall-clock sum would give.
    EXPECT_EQ(MeetingPlanner::momentAt(day, 180, newYork), utc(2026, 3, 8, 8, 0));
    Date previous = MeetingPlanner::momentAt(day, 0, newYork);
    for (int m = 1; m < 23 * 60; ++m) {
        const Date at = MeetingPlanner::momentAt(day, m, newYork);
        ASSERT_DOUBLE_EQ(
            at.timeIntervalSinceReferenceDate() - previous.timeIntervalSinceReferenceDate(), 60.0)
            << m;
        ASSERT_EQ(MeetingPlanner::minutesIntoDay(at, newYork), m);
        previous = at;
    }
}

TEST_F(worldMeetingPlanner, PicturesFollowTheHourAndWorkingHoursAreShared) {
    for (const auto& [hour, picture] :
         {std::pair{0, "moon"}, std::pair{5, "moon"}, std::pair{6, "sunset"},
          std::pair{8, "sunset"}, std::pair{9, "sun"}, std::pair{17, "sun"},
          std::pair{18, "moonset"}, std::pair{20, "moonset"}, std::pair{21, "moon"},
          std::pair{23, "moon"}}) {
        EXPECT_EQ(MeetingPlanner::pictureForHour(hour), QLatin1String(picture)) << hour;
    }
    MeetingPlanner planner = MeetingPlanner::fromTable(std::nullopt);
    planner.add(place("London", "Europe/London"));
    planner.add(place("New York", "America/New_York"));
    // London 9-17 is 9-17 UTC, New York 9-17 EDT is 13-21 UTC: the first shared hour is 13.
    EXPECT_EQ(planner.firstSharedWorkingHour(QDate(2026, 3, 10), local), 13);
    const auto grid = planner.dayGrid(QDate(2026, 3, 10), local);
    ASSERT_EQ(grid.size(), 3);
    EXPECT_EQ(grid.at(2).at(13).hour, 9);
    EXPECT_TRUE(grid.at(2).at(13).working);
    EXPECT_FALSE(grid.at(2).at(12).working);
    planner.add(place("Tokyo", "Asia/Tokyo"));
    EXPECT_EQ(planner.firstSharedWorkingHour(QDate(2026, 3, 10), local), std::nullopt);
}

TEST_F(worldMeetingPlanner, TheTableKeepsOneLocalTimeRowAndRefusesDuplicates) {
    bool added = false;
    MeetingPlanner planner = MeetingPlanner::fromTable(std::nullopt, &added);
    EXPECT_TRUE(added);
    ASSERT_EQ(planner.rows().size(), 1);
    EXPECT_EQ(planner.toTable().at(0).toMap(),
              (QVariantMap{{QStringLiteral("CityName"), QStringLiteral("Local Time")},
                           {QStringLiteral("FilePath"), QStringLiteral("empty")},
                           {QStringLiteral("ActualCityName"), QStringLiteral("False")}}));
    EXPECT_TRUE(planner.add(place("Paris", "Europe/Paris")));
    EXPECT_FALSE(planner.add(place("Paris", "Europe/Paris"))) << "a city once";
    EXPECT_TRUE(planner.add(place("Buenos_Aires (Argentina)", "America/Argentina/Buenos_Aires")));

    // Stored and read again: nothing added, the same rows.
    const MeetingPlanner again = MeetingPlanner::fromTable(planner.toTable(), &added);
    EXPECT_FALSE(added);
    EXPECT_EQ(again.rows(), planner.rows());

    // The local-time row is never removed; the selection moves to the nearest row.
    EXPECT_EQ(planner.remove({0, 2}), 0);
    ASSERT_EQ(planner.rows().size(), 2);
    EXPECT_EQ(planner.rows().at(0).cityName, QStringLiteral("Local Time"));
    EXPECT_EQ(planner.rows().at(1).cityName, QStringLiteral("Paris"));

    // Location services name the city in place of "Local Time".
    planner.setLocalCity(QStringLiteral("Lyon"));
    EXPECT_EQ(planner.rows().at(0), (MeetingPlanner::Row{QStringLiteral("Lyon"), QString(), true}));
    EXPECT_FALSE(MeetingPlanner::fromTable(planner.toTable(), &added).rows().isEmpty());
    EXPECT_FALSE(added);
    // Named, it goes like any other row; the next reading brings "Local Time" back.
    EXPECT_EQ(planner.remove({0}), 0);
    EXPECT_EQ(planner.rows().at(0).cityName, QStringLiteral("Paris"));
    EXPECT_EQ(MeetingPlanner::fromTable(planner.toTable(), &added).rows().back().cityName,
              QStringLiteral("Local Time"));
    EXPECT_TRUE(added);

    // Damaged rows are left out, not shown empty.
    const MeetingPlanner damaged = MeetingPlanner::fromTable(
        QVariantList{QVariant(7), QVariant(QVariantMap{}),
                     QVariantMap{{QStringLiteral("CityName"), QStringLiteral("Oslo")},
                                 {QStringLiteral("FilePath"), QStringLiteral("Europe/Oslo")}}});
    ASSERT_EQ(damaged.rows().size(), 2);
    EXPECT_EQ(damaged.rows().at(0).cityName, QStringLiteral("Oslo"));
}

TEST_F(worldMeetingPlanner, ThePlanIsExportedAsTextAndAsEscapedHtml) {
    MeetingPlanner planner = MeetingPlanner::fromTable(std::nullopt);
    planner.add(place("New York", "America/New_York"));
    planner.add(place("Tom & Jerry <Kathmandu>", "Asia/Kathmandu"));
    const Date start = utc(2026, 3, 10, 15, 0);
    const QString site = MeetingPlanner::webAddress();
    EXPECT_EQ(planner.textExport(start, 90, local),
              QStringLiteral("Start     End\n\n"
                             "Local Time     03:00 PM     04:30 PM\n"
                             "New York     11:00 AM     12:30 PM\n"
                             "Tom & Jerry <Kathmandu>     08:45 PM     10:15 PM\n"
                             "\nCreated by Global Scheduler part of Talvor. ") +
                  site);
    const QString html = planner.htmlExport(start, 90, local);
    EXPECT_TRUE(html.startsWith(QStringLiteral(
        "<html><body><table width='300' border='0'><tr><td></td><td>Start</td><td>End</td></tr>"
        "<tr><td>Local Time</td><td>03:00 PM</td><td>04:30 PM</td></tr>")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral(
        "<tr><td>Tom &amp; Jerry &lt;Kathmandu&gt;</td><td>08:45 PM</td><td>10:15 PM</td></tr>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<Kathmandu>")));
}

// The nearest city by great-circle distance: across the date line the plain difference of
// degrees would choose wrongly; records without a position are passed over.
TEST(worldNearestCity, TheNearestRecordWithAPositionNamesTheCity) {
    const auto record = [](const char* city, QVariant latitude, QVariant longitude) {
        return QVariant(QVariantList{QString(), QString::fromUtf8(city), QString(), QString(),
                                     QString(), 0.0, QString(), latitude, longitude});
    };
    const LocationTable table{
        record("Suva", QStringLiteral("-18.1416"), QStringLiteral("178.4419")),
        record("Apia", QStringLiteral("-13.8333"), QStringLiteral("-171.7500")),
        record("Longyearbyen", 78.2232, 15.6267),
        record("Murmansk", QStringLiteral("68.9585"), QStringLiteral("33.0827")),
        record("Nowhere", QString(), QString()),
        record("Bad", QStringLiteral("north"), QStringLiteral("east")),
        QVariant(QStringLiteral("not a record")),
    };
    struct Case {
        double latitude, longitude;
        const char* city;
    };
    const Case cases[] = {
        {-17.0, -179.5, "Suva"},  // across the date line: 358 degrees apart as numbers
        {-13.5, -172.0, "Apia"},       {-17.0, 179.9, "Suva"},
        {85.0, 120.0, "Longyearbyen"}, {69.0, 30.0, "Murmansk"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nearestCity(table, c.latitude, c.longitude), QString::fromUtf8(c.city))
            << c.latitude << " " << c.longitude;
    }
    EXPECT_EQ(nearestCity(LocationTable{record("Nowhere", QString(), QString())}, 0, 0),
              std::nullopt);
}

}  // namespace
}  // namespace talvor
