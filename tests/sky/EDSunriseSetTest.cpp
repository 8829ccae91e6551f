#include "sky/EDSunriseSet.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

using Status = EDSunriseSet::Status;

// What the ephemeris says of an event; grazing events are not compared.
namespace Ref {
enum Kind { AlwaysBelow = -1, Crosses = 0, AlwaysAbove = 1, Grazing = 2 };
}

struct Reference {
    Ref::Kind status;
    qint64 start;  // Unix seconds
    qint64 end;
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
};

const City kTable[] = {
#include "SunTable.inc"
};

const char* const kEventNames[] = {"sunrise/sunset", "civil", "nautical", "astronomical"};

// Minutes of disagreement allowed with the ephemeris. The method is a low-precision one: good
// to a minute for rise and set up to 60 degrees, worse where the Sun only grazes an altitude.
double toleranceMinutes(double latitude, int event) {
    if (std::abs(latitude) <= 60.0) {
        static constexpr double kWithin60[] = {1.0, 1.0, 2.0, 2.0};
        return kWithin60[event];
    }
    static constexpr double kBeyond60[] = {5.0, 5.0, 5.0, 5.0};
    return kBeyond60[event];
}

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

TEST(skySunriseSet, AgreesWithAnIndependentEphemeris) {
    for (const City& c : kTable) {
        const EDSunriseSet sun(localNoon(c), QTimeZone(c.zone), c.latitude, c.longitude);
        for (int i = 0; i < 4; ++i) {
            const Reference& want = c.events[i];
            const EDSunriseSet::Event& got = eventOf(sun, i);
            SCOPED_TRACE(testing::Message() << c.name << " " << c.year << "-" << c.month << "-"
                                            << c.day << " " << kEventNames[i]);
            if (want.status == Ref::Grazing) {
                continue;
            }
            EXPECT_EQ(static_cast<int>(got.status), static_cast<int>(want.status));
            if (want.status != Ref::Crosses) {
                EXPECT_FALSE(got.start.has_value());
                EXPECT_FALSE(got.end.has_value());
                continue;
            }
            if (!got.start || !got.end) {
                ADD_FAILURE() << "no instants";
                continue;
            }
            const double tol = toleranceMinutes(c.latitude, i) * 60.0;
            EXPECT_NEAR(got.start->timeIntervalSince1970(), static_cast<double>(want.start), tol);
            EXPECT_NEAR(got.end->timeIntervalSince1970(), static_cast<double>(want.end), tol);
        }
    }
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
