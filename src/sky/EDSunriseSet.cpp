#include "EDSunriseSet.h"

#include <QDateTime>

#include <cmath>
#include <iterator>

namespace talvor {
namespace {

constexpr double RADEG = 180.0 / M_PI;
constexpr double DEGRAD = M_PI / 180.0;
constexpr double INV360 = 1.0 / 360.0;

double sind(double x) {
    return std::sin(x * DEGRAD);
}
double cosd(double x) {
    return std::cos(x * DEGRAD);
}
double acosd(double x) {
    return RADEG * std::acos(x);
}
double atan2d(double y, double x) {
    return RADEG * std::atan2(y, x);
}
double asind(double x) {
    return RADEG * std::asin(x);
}

// One second in hours, the unit of trise and tset.
constexpr double kSecond = 1.0 / 3600.0;
// The Sun's equatorial horizontal parallax at 1 AU, degrees (8.794"): seen from the ground
// it stands that much lower at the horizon than from the centre of the Earth.
constexpr double kParallax = 8.794 / 3600.0;

// Rise and set of the upper limb, then the Sun's centre at the three twilight altitudes.
struct Altitude {
    double degrees;
    bool upperLimb;
};
constexpr Altitude kAltitudes[] = {
    {-35.0 / 60.0, true}, {-6.0, false}, {-12.0, false}, {-18.0, false}};

// Days from 2000 Jan 0.0 UT to 00:00 UT of the date, with the method's truncating division.
long dayNumber(int year, int month, int day) {
    return 367L * year - (7L * (year + (month + 9) / 12)) / 4 + (275L * month) / 9 + day - 730530L;
}

// The Sun over one day at one place, times in hours of UT from 00:00 UT of the date. Holds
// the meridian passage nearest to the method's noon and the lower culminations on either
// side of it, which bound the day's morning and evening crossings.
class SolarCircuit {
  public:
    SolarCircuit(long d0, double longitude, double latitude, double tsouth)
        : d0_(d0), longitude_(longitude), latitude_(latitude) {
        transit_ = culminate(tsouth, 0.0);
        before_ = culminate(transit_ - 12.0, 180.0);
        after_ = culminate(transit_ + 12.0, 180.0);
        atTransit_ = at(transit_);
        atBefore_ = at(before_);
        atAfter_ = at(after_);
    }

    EDSunriseSet::Crossings crossings(double altitude, bool upperLimb, int firstStatus,
                                      double trise, double tset) const {
        EDSunriseSet::Crossings out;
        if (!above(atTransit_, altitude, upperLimb)) {
            out.status = EDSunriseSet::Status::AlwaysBelow;
            return out;
        }
        const bool estimated = firstStatus == 0;
        if (!above(atBefore_, altitude, upperLimb)) {
            out.trise =
                cross(altitude, upperLimb, true, estimated ? trise : before_, before_, transit_);
        }
        if (!above(atAfter_, altitude, upperLimb)) {
            out.tset =
                cross(altitude, upperLimb, false, estimated ? tset : after_, transit_, after_);
        }
        out.status = out.trise && out.tset ? EDSunriseSet::Status::Crosses
                                           : EDSunriseSet::Status::AlwaysAbove;
        return out;
    }

  private:
    struct Position {
        double hourAngle;  // degrees, not reduced
        double decl;
        double r;
    };

    Position at(double t) const {
        const double d = static_cast<double>(d0_) + t / 24.0;
        double ra = 0.0;
        Position p{};
        EDSunriseSet::sunApparentRA_decAtDay(d, ra, p.decl, p.r);
        p.hourAngle = EDSunriseSet::GMST0(d) + 15.0 * t + longitude_ - ra;
        return p;
    }

    // The altitude the Sun's centre has at the event, seen from the centre of the Earth.
    double threshold(double altitude, bool upperLimb, double r) const {
        return altitude - (upperLimb ? 0.2666 / r : 0.0) + kParallax / r * cosd(altitude);
    }

    double altitudeOf(const Position& p) const {
        return asind(sind(latitude_) * sind(p.decl) +
                     cosd(latitude_) * cosd(p.decl) * cosd(p.hourAngle));
    }

    bool above(const Position& p, double altitude, bool upperLimb) const {
        return altitudeOf(p) > threshold(altitude, upperLimb, p.r);
    }

    // The instant near t where the hour angle is `target` (0 upper, 180 lower culmination).
    double culminate(double t, double target) const {
        for (int pass = 0; pass < 16; ++pass) {
            const double step = EDSunriseSet::rev180(target - at(t).hourAngle) / 15.0;
            t += step;
            if (std::abs(step) < kSecond) {
                break;
            }
        }
        return t;
    }

    // The crossing between lo and hi (the Sun below the altitude at one end, above at the
    // other): the hour angle of the altitude at the declination of the current instant gives
    // the next instant. Where that leaves the bracket, which it can when the Sun only just
    // reaches the altitude, the bracket is halved instead.
    double cross(double altitude, bool upperLimb, bool rising, double t, double lo,
                 double hi) const {
        if (!(t > lo && t < hi)) {
            t = 0.5 * (lo + hi);
        }
        for (int pass = 0; pass < 64; ++pass) {
            const Position p = at(t);
            const double h = threshold(altitude, upperLimb, p.r);
            if ((altitudeOf(p) < h) == rising) {
                lo = t;
            } else {
                hi = t;
            }
            double next = 0.5 * (lo + hi);
            const double cost =
                (sind(h) - sind(latitude_) * sind(p.decl)) / (cosd(latitude_) * cosd(p.decl));
            if (cost > -1.0 && cost < 1.0) {
                const double half = acosd(cost);
                const double candidate =
                    t + EDSunriseSet::rev180((rising ? -half : half) - p.hourAngle) / 15.0;
                if (candidate > lo && candidate < hi) {
                    next = candidate;
                }
            }
            if (std::abs(next - t) < kSecond) {
                return next;
            }
            t = next;
        }
        return t;
    }

    long d0_;
    double longitude_;
    double latitude_;
    double transit_ = 0.0;
    double before_ = 0.0;
    double after_ = 0.0;
    Position atTransit_{};
    Position atBefore_{};
    Position atAfter_{};
};

double tsouthOf(int year, int month, int day, double longitude, double latitude) {
    double trise = 0.0;
    double tset = 0.0;
    EDSunriseSet::sunRiseSetHelperForYear(year, month, day, longitude, latitude, 0.0, false, trise,
                                          tset);
    return 0.5 * (trise + tset);
}

EDSunriseSet::Crossings refine(const SolarCircuit& circuit, int year, int month, int day,
                               double longitude, double latitude, const Altitude& altitude) {
    double trise = 0.0;
    double tset = 0.0;
    const int status = EDSunriseSet::sunRiseSetHelperForYear(
        year, month, day, longitude, latitude, altitude.degrees, altitude.upperLimb, trise, tset);
    return circuit.crossings(altitude.degrees, altitude.upperLimb, status, trise, tset);
}

// Days from 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

QString componentsText(const std::optional<DateComponents>& c) {
    if (!c) {
        return QStringLiteral("none");
    }
    return QString::asprintf("%02d:%02d:%02d", c->hour.value_or(0), c->minute.value_or(0),
                             c->second.value_or(0));
}

}  // namespace

EDSunriseSet::EDSunriseSet(Date date, const QTimeZone& timezone, double latitude, double longitude)
    : date_(date),
      timezone_(timezone.isValid() ? timezone : QTimeZone::utc()),
      latitude_(latitude),
      longitude_(longitude) {
    const QDate day =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(date.toUDate())), timezone_)
            .date();
    year_ = day.year();
    month_ = day.month();
    day_ = day.day();
    const SolarCircuit circuit(dayNumber(year_, month_, day_), longitude_, latitude_,
                               tsouthOf(year_, month_, day_, longitude_, latitude_));
    Event* events[] = {&sun_, &civil_, &nautical_, &astronomical_};
    for (size_t i = 0; i < std::size(kAltitudes); ++i) {
        *events[i] =
            toEvent(refine(circuit, year_, month_, day_, longitude_, latitude_, kAltitudes[i]));
    }
}

EDSunriseSet::Event EDSunriseSet::toEvent(const Crossings& crossings) const {
    Event event;
    event.status = crossings.status;
    if (crossings.trise) {
        event.start = utcTime(year_, month_, day_, *crossings.trise * 3600.0);
    }
    if (crossings.tset) {
        event.end = utcTime(year_, month_, day_, *crossings.tset * 3600.0);
    }
    return event;
}

EDSunriseSet::Crossings EDSunriseSet::refinedRiseSetForYear(int year, int month, int day,
                                                            double longitude, double latitude,
                                                            double altitude, bool upper_limb) {
    const SolarCircuit circuit(dayNumber(year, month, day), longitude, latitude,
                               tsouthOf(year, month, day, longitude, latitude));
    return refine(circuit, year, month, day, longitude, latitude, {altitude, upper_limb});
}

std::optional<DateComponents> EDSunriseSet::localTime(std::optional<Date> date) const {
    if (!date) {
        return std::nullopt;
    }
    const QTime t =
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(date->toUDate())), timezone_)
            .time();
    DateComponents c;
    c.hour = t.hour();
    c.minute = t.minute();
    c.second = t.second();
    return c;
}

Date EDSunriseSet::utcTime(int year, int month, int day, double seconds) {
    const qint64 days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return Date::fromUnix(static_cast<double>(days) * 86400.0 + seconds);
}

QString EDSunriseSet::description() const {
    return QStringLiteral(
               "Date: %1\nTimeZone: %2\nLocal Sunrise: %3\nLocal Sunset: %4\n"
               "Local Civil Twilight Start: %5\nLocal Civil Twilight End: %6\n"
               "Local Nautical Twilight Start: %7\nLocal Nautical Twilight End: %8\n"
               "Local Astronomical Twilight Start: %9\nLocal Astronomical Twilight End: %10\n")
        .arg(date_.toQDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000")),
             QString::fromUtf8(timezone_.id()), componentsText(localSunrise()),
             componentsText(localSunset()), componentsText(localCivilTwilightStart()),
             componentsText(localCivilTwilightEnd()), componentsText(localNauticalTwilightStart()),
             componentsText(localNauticalTwilightEnd()),
             componentsText(localAstronomicalTwilightStart()))
        .arg(componentsText(localAstronomicalTwilightEnd()));
}

double EDSunriseSet::revolution(double x) {
    return x - 360.0 * std::floor(x * INV360);
}

double EDSunriseSet::rev180(double x) {
    return x - 360.0 * std::floor(x * INV360 + 0.5);
}

double EDSunriseSet::GMST0(double d) {
    return revolution((180.0 + 356.0470 + 282.9404) + (0.9856002585 + 4.70935E-5) * d);
}

void EDSunriseSet::sunposAtDay(double d, double& longitude, double& r) {
    const double M = revolution(356.0470 + 0.9856002585 * d);
    const double w = 282.9404 + 4.70935E-5 * d;
    const double e = 0.016709 - 1.151E-9 * d;
    // One step of Kepler's equation, deliberately not iterated.
    const double E = M + e * RADEG * sind(M) * (1.0 + e * cosd(M));
    const double x = cosd(E) - e;
    const double y = std::sqrt(1.0 - e * e) * sind(E);
    r = std::sqrt(x * x + y * y);
    const double v = atan2d(y, x);
    longitude = v + w;
    if (longitude >= 360.0) {
        longitude -= 360.0;
    }
}

void EDSunriseSet::sun_RA_decAtDay(double d, double& RA, double& decl, double& r) {
    double lon = 0.0;
    sunposAtDay(d, lon, r);
    const double x = r * cosd(lon);
    double y = r * sind(lon);
    const double obl_ecl = 23.4393 - 3.563E-7 * d;
    const double z = y * sind(obl_ecl);
    y = y * cosd(obl_ecl);
    RA = atan2d(y, x);
    decl = atan2d(z, std::sqrt(x * x + y * y));
}

void EDSunriseSet::sunApparentRA_decAtDay(double d, double& RA, double& decl, double& r) {
    double lon = 0.0;
    sunposAtDay(d, lon, r);
    // The largest terms of nutation (from the Moon's node) and the annual aberration: each
    // moves the Sun by up to 20", which near a grazing twilight is minutes of time.
    const double node = 125.1239 - 0.0529539 * d;
    const double nutationLon = -0.004778 * sind(node);
    const double obl_ecl = 23.4393 - 3.563E-7 * d + 0.002556 * cosd(node);
    lon += nutationLon - 0.005691 / r;
    const double x = r * cosd(lon);
    double y = r * sind(lon);
    const double z = y * sind(obl_ecl);
    y = y * cosd(obl_ecl);
    // Reckoned from the mean equinox, to pair with the mean sidereal time of GMST0.
    RA = atan2d(y, x) - nutationLon * cosd(obl_ecl);
    decl = atan2d(z, std::sqrt(x * x + y * y));
}

int EDSunriseSet::sunRiseSetHelperForYear(int year, int month, std::int32_t day, double longitude,
                                          double latitude, double altitude, bool upper_limb,
                                          double& trise, double& tset) {
    // Integer arithmetic with truncating division, as the method defines the day number.
    const long d0 =
        367L * year - (7L * (year + (month + 9) / 12)) / 4 + (275L * month) / 9 + day - 730530L;
    const double d = static_cast<double>(d0) + 0.5 - longitude / 360.0;
    const double sidtime = revolution(GMST0(d) + 180.0 + longitude);
    double sRA = 0.0;
    double sdec = 0.0;
    double sr = 0.0;
    sun_RA_decAtDay(d, sRA, sdec, sr);
    const double tsouth = 12.0 - rev180(sidtime - sRA) / 15.0;
    if (upper_limb) {
        altitude -= 0.2666 / sr;
    }
    const double cost =
        (sind(altitude) - sind(latitude) * sind(sdec)) / (cosd(latitude) * cosd(sdec));
    int rc = 0;
    double t = 0.0;
    if (cost >= 1.0) {
        rc = -1;
        t = 0.0;
    } else if (cost <= -1.0) {
        rc = +1;
        t = 12.0;
    } else {
        t = acosd(cost) / 15.0;
    }
    trise = tsouth - t;
    tset = tsouth + t;
    return rc;
}

int EDSunriseSet::sunRiseSetForYear(int year, int month, int day, double longitude, double latitude,
                                    double& trise, double& tset) {
    return sunRiseSetHelperForYear(year, month, day, longitude, latitude, -35.0 / 60.0, true, trise,
                                   tset);
}

int EDSunriseSet::civilTwilightForYear(int year, int month, int day, double longitude,
                                       double latitude, double& trise, double& tset) {
    return sunRiseSetHelperForYear(year, month, day, longitude, latitude, -6.0, false, trise, tset);
}

int EDSunriseSet::nauticalTwilightForYear(int year, int month, int day, double longitude,
                                          double latitude, double& trise, double& tset) {
    return sunRiseSetHelperForYear(year, month, day, longitude, latitude, -12.0, false, trise,
                                   tset);
}

int EDSunriseSet::astronomicalTwilightForYear(int year, int month, int day, double longitude,
                                              double latitude, double& trise, double& tset) {
    return sunRiseSetHelperForYear(year, month, day, longitude, latitude, -18.0, false, trise,
                                   tset);
}

}  // namespace talvor
