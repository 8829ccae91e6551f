#include "EDSunriseSet.h"

#include <QDateTime>

#include <cmath>

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
    sun_ = calculate(&EDSunriseSet::sunRiseSetForYear);
    civil_ = calculate(&EDSunriseSet::civilTwilightForYear);
    nautical_ = calculate(&EDSunriseSet::nauticalTwilightForYear);
    astronomical_ = calculate(&EDSunriseSet::astronomicalTwilightForYear);
}

EDSunriseSet::Event EDSunriseSet::calculate(Wrapper wrapper) const {
    double trise = 0.0;
    double tset = 0.0;
    const int status = wrapper(year_, month_, day_, longitude_, latitude_, trise, tset);
    Event event;
    event.status = status < 0   ? Status::AlwaysBelow
                   : status > 0 ? Status::AlwaysAbove
                                : Status::Crosses;
    if (event.status == Status::Crosses) {
        event.start = utcTime(year_, month_, day_, trise * 3600.0);
        event.end = utcTime(year_, month_, day_, tset * 3600.0);
    }
    return event;
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
