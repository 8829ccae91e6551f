#include "sky/EDSunriseSet.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace talvor {
namespace {

using Status = EDSunriseSet::Status;

// What the ephemeris says of one instant of an event.
namespace Ref {
enum Kind { AlwaysBelow = -1, Crosses = 0, AlwaysAbove = 1 };
}

struct Instant {
    Ref::Kind kind;
    qint64 unix;  // Unix seconds, when it crosses
};

struct Reference {
    Instant start;
    Instant end;
};

struct City {
    const char* name;
    const char* zone;
    double latitude;
    double longitude;
    int year;
    int month;
    int day;
    Reference events[4];  // rise/set, civil, nautical, astronomical
    // The Sun's altitude at the lower culmination before, the meridian passage and the lower
    // culmination after, degrees.
    double culminations[3];
};

const City kTable[] = {
#include "SunTable.inc"
};

const char* const kEventNames[] = {"sunrise/sunset", "civil", "nautical", "astronomical"};

// Every event, at every latitude and also where the Sun only just reaches the event's altitude,
// within a minute of the ephemeris.
constexpr double kToleranceSeconds = 60.0;

// Noon on the city's calendar day, in its zone: the instant handed to the calculator.
Date localNoon(const City& c) {
    const QDateTime noon(QDate(c.year, c.month, c.day), QTime(12, 0), QTimeZone(c.zone));
    return Date::fromQDateTime(noon);
}

const EDSunriseSet::Event& eventOf(const EDSunriseSet& s, int i) {
    switch (i) {
        case 0:
            return s.sunriseSet();
        case 1:
            return s.civilTwilight();
        case 2:
            return s.nauticalTwilight();
        default:
            return s.astronomicalTwilight();
    }
}

// The status the day's event has when its instants are as the reference says.
Status statusOf(const Reference& r) {
    if (r.start.kind == Ref::Crosses && r.end.kind == Ref::Crosses) {
        return Status::Crosses;
    }
    return r.start.kind == Ref::AlwaysBelow ? Status::AlwaysBelow : Status::AlwaysAbove;
}

const City& cityOn(const char* name, int year, int month, int day) {
    for (const City& c : kTable) {
        if (std::string_view(c.name) == name && c.year == year && c.month == month &&
            c.day == day) {
            return c;
        }
    }
    throw std::out_of_range(name);
}

TEST(skySunriseSet, AgreesWithAnIndependentEphemeris) {
    double worst = 0.0;
    for (const City& c : kTable) {
        const EDSunriseSet sun(localNoon(c), QTimeZone(c.zone), c.latitude, c.longitude);
        for (int i = 0; i < 4; ++i) {
            const Reference& want = c.events[i];
            const EDSunriseSet::Event& got = eventOf(sun, i);
            SCOPED_TRACE(testing::Message() << c.name << " " << c.year << "-" << c.month << "-"
                                            << c.day << " " << kEventNames[i]);
            EXPECT_EQ(static_cast<int>(got.status), static_cast<int>(statusOf(want)));
            const std::pair<const Instant&, const std::optional<Date>&> pairs[] = {
                {want.start, got.start}, {want.end, got.end}};
            for (const auto& [instant, time] : pairs) {
                if (instant.kind != Ref::Crosses) {
                    EXPECT_FALSE(time.has_value()) << "an instant that did not happen";
                    continue;
                }
                if (!time) {
                    ADD_FAILURE() << "no instant for " << instant.unix;
                    continue;
                }
                const double error =
                    std::abs(time->timeIntervalSince1970() - static_cast<double>(instant.unix));
                EXPECT_LE(error, kToleranceSeconds) << "want " << instant.unix;
                worst = std::max(worst, error);
            }
        }
    }
    RecordProperty("worst_seconds", static_cast<int>(std::ceil(worst)));
}

// At McMurdo on 20 March 2024 the Sun went no lower than -11.92 degrees before noon: there was
// no nautical dawn, though the noon-only estimate gives one; in the evening it went on down
// past -12 and nautical twilight did end.
TEST(skySunriseSet, NoDawnWhereTheSunNeverGotThatLow) {
    const City& c = cityOn("McMurdo", 2024, 3, 20);
    ASSERT_GT(c.culminations[0], -12.0);
    ASSERT_LT(c.culminations[2], -12.0);
    double trise = 0.0;
    double tset = 0.0;
    ASSERT_EQ(
        EDSunriseSet::nauticalTwilightForYear(2024, 3, 20, c.longitude, c.latitude, trise, tset),
        0);

    const EDSunriseSet sun(localNoon(c), QTimeZone(c.zone), c.latitude, c.longitude);
    EXPECT_EQ(sun.nauticalTwilight().status, Status::AlwaysAbove);
    EXPECT_FALSE(sun.nauticalTwilightStart());
    EXPECT_FALSE(sun.localNauticalTwilightStart());
    ASSERT_TRUE(sun.nauticalTwilightEnd());
    EXPECT_NEAR(sun.nauticalTwilightEnd()->timeIntervalSince1970(),
                static_cast<double>(c.events[2].end.unix), kToleranceSeconds);
    EXPECT_NE(sun.description().indexOf(QStringLiteral("Local Nautical Twilight Start: none\n")),
              -1);
    // The day before it still reached -12 at neither culmination, the day after at both.
    EXPECT_EQ(EDSunriseSet(localNoon(cityOn("McMurdo", 2024, 3, 19)), QTimeZone(c.zone), c.latitude,
                           c.longitude)
                  .nauticalTwilight()
                  .status,
              Status::AlwaysAbove);
    EXPECT_EQ(EDSunriseSet(localNoon(cityOn("McMurdo", 2024, 3, 21)), QTimeZone(c.zone), c.latitude,
                           c.longitude)
                  .nauticalTwilight()
                  .status,
              Status::Crosses);
}

// The refined instants stand where the Sun's own position puts them, not where the noon
// declination does: near the equinox at high latitude the declination moves by a quarter of a
// degree between dawn and dusk, minutes of time at a shallow angle.
TEST(skySunriseSet, RefinementMovesHighLatitudeTwilightByMinutes) {
    const City& c = cityOn("Tromso", 2024, 3, 21);
    double trise = 0.0;
    double tset = 0.0;
    ASSERT_EQ(EDSunriseSet::astronomicalTwilightForYear(c.year, c.month, c.day, c.longitude,
                                                        c.latitude, trise, tset),
              0);
    const EDSunriseSet::Crossings refined = EDSunriseSet::refinedRiseSetForYear(
        c.year, c.month, c.day, c.longitude, c.latitude, -18.0, false);
    ASSERT_EQ(refined.status, Status::Crosses);
    ASSERT_TRUE(refined.trise && refined.tset);
    const double midnight = static_cast<double>(
        QDateTime(QDate(c.year, c.month, c.day), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch());
    const auto error = [&](double hours, const Instant& want) {
        return std::abs(midnight + hours * 3600.0 - static_cast<double>(want.unix));
    };
    EXPECT_GT(error(trise, c.events[3].start) + error(tset, c.events[3].end), 5 * 60.0);
    EXPECT_LE(error(*refined.trise, c.events[3].start), kToleranceSeconds);
    EXPECT_LE(error(*refined.tset, c.events[3].end), kToleranceSeconds);
}

struct FormulaCase {
    int year;
    int month;
    int day;
    double longitude;
    double latitude;
    struct {
        int status;
        double trise;
        double tset;
    } events[4];
};

const FormulaCase kFormulaTable[] = {
#include "FormulaTable.inc"
};

// The method step by step (single Kepler step, one reduction of the longitude, truncating
// day number), computed outside C++; agreement to rounding only.
TEST(skySunriseSet, FollowsTheMethodToRounding) {
    using Fn = int (*)(int, int, int, double, double, double&, double&);
    const Fn fns[] = {&EDSunriseSet::sunRiseSetForYear, &EDSunriseSet::civilTwilightForYear,
                      &EDSunriseSet::nauticalTwilightForYear,
                      &EDSunriseSet::astronomicalTwilightForYear};
    for (const FormulaCase& c : kFormulaTable) {
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(testing::Message()
                         << c.year << "-" << c.month << "-" << c.day << " at " << c.latitude << ","
                         << c.longitude << " " << kEventNames[i]);
            double trise = 0;
            double tset = 0;
            EXPECT_EQ(fns[i](c.year, c.month, c.day, c.longitude, c.latitude, trise, tset),
                      c.events[i].status);
            EXPECT_NEAR(trise, c.events[i].trise, 1e-9);
            EXPECT_NEAR(tset, c.events[i].tset, 1e-9);
        }
    }
}

TEST(skySunriseSet, AngleReductions) {
    struct {
        double x, revolution, rev180;
    } const cases[] = {
        {0.0, 0.0, 0.0},       {359.5, 359.5, -0.5},   {360.0, 0.0, 0.0},
        {-10.0, 350.0, -10.0}, {180.0, 180.0, -180.0}, {725.0, 5.0, 5.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EDSunriseSet::revolution(c.x), c.revolution) << c.x;
        EXPECT_DOUBLE_EQ(EDSunriseSet::rev180(c.x), c.rev180) << c.x;
    }
}

// Polar day and night are reported as such, for each altitude on its own, never as times.
TEST(skySunriseSet, PolarDayAndNightHaveNoInstants) {
    const QTimeZone oslo("Europe/Oslo");
    const EDSunriseSet night(
        Date::fromQDateTime(QDateTime(QDate(2025, 12, 21), QTime(12, 0), oslo)), oslo, 80.0, 15.0);
    EXPECT_EQ(night.sunriseSet().status, Status::AlwaysBelow);
    EXPECT_FALSE(night.sunrise() || night.sunset() || night.localSunrise() || night.localSunset());

    const EDSunriseSet day(Date::fromQDateTime(QDateTime(QDate(2025, 6, 21), QTime(12, 0), oslo)),
                           oslo, 80.0, 15.0);
    EXPECT_EQ(day.sunriseSet().status, Status::AlwaysAbove);
    EXPECT_EQ(day.astronomicalTwilight().status, Status::AlwaysAbove);
    EXPECT_FALSE(day.sunrise() || day.sunset());

    // Tromsø at midwinter: the Sun stays down but civil twilight comes and goes.
    const EDSunriseSet tromso(
        Date::fromQDateTime(QDateTime(QDate(2025, 12, 21), QTime(12, 0), oslo)), oslo, 69.65,
        18.96);
    EXPECT_EQ(tromso.sunriseSet().status, Status::AlwaysBelow);
    ASSERT_EQ(tromso.civilTwilight().status, Status::Crosses);
    EXPECT_LT(*tromso.civilTwilightStart(), *tromso.civilTwilightEnd());
    EXPECT_NE(night.description().indexOf(QStringLiteral("Local Sunrise: none\n")), -1);
}

// The calendar day is taken in the zone; UT hours outside 0...24 land on the neighbouring UTC
// days, so far from Greenwich the local clock times still come out right.
TEST(skySunriseSet, DayIsTheZonesAndHoursWrapAcrossUtcDays) {
    EXPECT_EQ(EDSunriseSet::utcTime(2025, 6, 21, 25.5 * 3600).toQDateTime(),
              QDateTime(QDate(2025, 6, 22), QTime(1, 30), QTimeZone::utc()));
    EXPECT_EQ(EDSunriseSet::utcTime(2025, 1, 1, -1800).toQDateTime(),
              QDateTime(QDate(2024, 12, 31), QTime(23, 30), QTimeZone::utc()));

    // 23:30 on 20 December in Auckland is already the 21st there; its sunrise falls on the
    // 20th in UTC.
    const QTimeZone auckland("Pacific/Auckland");
    const Date lateEvening =
        Date::fromQDateTime(QDateTime(QDate(2025, 12, 21), QTime(0, 30), auckland));
    const EDSunriseSet s(lateEvening, auckland, -36.8485, 174.7633);
    ASSERT_TRUE(s.sunrise());
    EXPECT_EQ(s.sunrise()->toQDateTime().date(), QDate(2025, 12, 20));
    const DateComponents rise = *s.localSunrise();
    EXPECT_EQ(rise.hour, 5);
    EXPECT_EQ(rise.year, std::nullopt);
    const DateComponents set = *s.localSunset();
    EXPECT_EQ(set.hour, 20);
}

TEST(skySunriseSet, InvalidZoneCountsAsUtc) {
    const EDSunriseSet s(
        Date::fromQDateTime(QDateTime(QDate(2025, 3, 20), QTime(12, 0), QTimeZone::utc())),
        QTimeZone(), 0.0, 0.0);
    EXPECT_EQ(s.timezone(), QTimeZone::utc());
    ASSERT_TRUE(s.localSunrise());
    EXPECT_EQ(s.localSunrise()->hour, 6);
}

}  // namespace
}  // namespace talvor
