#pragma once

#include "foundation/DateComponents.h"
#include "platform/Date.h"

#include <QString>
#include <QTimeZone>

#include <optional>

namespace talvor {

// Sunrise, sunset and the three twilights for one calendar day (in `timezone`) at one
// position, from the mean orbital elements of the Sun (days counted from 2000 Jan 0.0 UT).
// Computed once at construction; cheap enough to build every second.
//
// The day's events belong to the Sun's circuit from the lower culmination before its meridian
// passage to the one after. The noon-only estimate is refined with the Sun's position at each
// event's own instant, and whether an event happens at all follows the Sun's altitude at the
// culminations. An event that does not happen has no instant: with status AlwaysBelow the Sun
// stayed below its altitude all day (polar night, never this light); with AlwaysAbove it
// stayed above it through at least one of the two lower culminations (polar day, never this
// dark). On the edge of the midnight sun one crossing can remain: the Sun rises (or the
// twilight starts) and does not set that day, or the other way round; the status is then
// AlwaysAbove and the one instant is kept. Crosses always has both instants.
class EDSunriseSet {
  public:
    // The status of the core calculation, with its values.
    enum class Status : int {
        AlwaysBelow = -1,  // no crossing: the Sun stays below the altitude all day
        Crosses = 0,
        AlwaysAbove = 1,  // the Sun stays above the altitude through a lower culmination
    };

    // One event pair: a morning start (rise, twilight begin) and an evening end.
    struct Event {
        Status status = Status::AlwaysBelow;
        std::optional<Date> start;
        std::optional<Date> end;
    };

    // initWithDate:timezone:latitude:longitude: (latitude north positive, longitude east
    // positive, degrees). An invalid zone counts as UTC.
    EDSunriseSet(Date date, const QTimeZone& timezone, double latitude, double longitude);
    static EDSunriseSet sunrisesetWithDate(Date date, const QTimeZone& timezone, double latitude,
                                           double longitude) {
        return EDSunriseSet(date, timezone, latitude, longitude);
    }

    Date date() const { return date_; }
    const QTimeZone& timezone() const { return timezone_; }
    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }

    const Event& sunriseSet() const { return sun_; }
    const Event& civilTwilight() const { return civil_; }
    const Event& nauticalTwilight() const { return nautical_; }
    const Event& astronomicalTwilight() const { return astronomical_; }

    std::optional<Date> sunrise() const { return sun_.start; }
    std::optional<Date> sunset() const { return sun_.end; }
    std::optional<Date> civilTwilightStart() const { return civil_.start; }
    std::optional<Date> civilTwilightEnd() const { return civil_.end; }
    std::optional<Date> nauticalTwilightStart() const { return nautical_.start; }
    std::optional<Date> nauticalTwilightEnd() const { return nautical_.end; }
    std::optional<Date> astronomicalTwilightStart() const { return astronomical_.start; }
    std::optional<Date> astronomicalTwilightEnd() const { return astronomical_.end; }

    // The same instants as hour, minute and second in `timezone`; empty with the instant.
    std::optional<DateComponents> localSunrise() const { return localTime(sun_.start); }
    std::optional<DateComponents> localSunset() const { return localTime(sun_.end); }
    std::optional<DateComponents> localCivilTwilightStart() const {
        return localTime(civil_.start);
    }
    std::optional<DateComponents> localCivilTwilightEnd() const { return localTime(civil_.end); }
    std::optional<DateComponents> localNauticalTwilightStart() const {
        return localTime(nautical_.start);
    }
    std::optional<DateComponents> localNauticalTwilightEnd() const {
        return localTime(nautical_.end);
    }
    std::optional<DateComponents> localAstronomicalTwilightStart() const {
        return localTime(astronomical_.start);
    }
    std::optional<DateComponents> localAstronomicalTwilightEnd() const {
        return localTime(astronomical_.end);
    }

    // "Date: ...\nTimeZone: ...\nLocal Sunrise: HH:mm:ss\n..." ("none" for a missing time).
    QString description() const;

    // The hour, minute and second of `date` in `timezone`.
    std::optional<DateComponents> localTime(std::optional<Date> date) const;
    // 00:00:00 UTC of the calendar day plus `seconds` (hours beyond 24 or below 0 land on
    // the neighbouring days).
    static Date utcTime(int year, int month, int day, double seconds);

    // The calculation, pure functions of their arguments (degrees, hours of UT).
    static double revolution(double x);
    static double rev180(double x);
    static double GMST0(double d);
    static void sunposAtDay(double d, double& longitude, double& r);
    static void sun_RA_decAtDay(double d, double& RA, double& decl, double& r);
    static int sunRiseSetForYear(int year, int month, int day, double longitude, double latitude,
                                 double& trise, double& tset);
    static int civilTwilightForYear(int year, int month, int day, double longitude, double latitude,
                                    double& trise, double& tset);
    static int nauticalTwilightForYear(int year, int month, int day, double longitude,
                                       double latitude, double& trise, double& tset);
    static int astronomicalTwilightForYear(int year, int month, int day, double longitude,
                                           double latitude, double& trise, double& tset);
    static int sunRiseSetHelperForYear(int year, int month, std::int32_t day, double longitude,
                                       double latitude, double altitude, bool upper_limb,
                                       double& trise, double& tset);

    // The refinement. The Sun's apparent right ascension and declination (degrees) and
    // distance at day d: the mean-element position with aberration and nutation.
    static void sunApparentRA_decAtDay(double d, double& RA, double& decl, double& r);
    // The day's crossings of `altitude` (of the upper limb when `upper_limb`, as seen from the
    // ground without refraction), in hours of UT from 00:00 UT of the date like trise/tset:
    // each started from the noon-only estimate and iterated with the Sun's position at its
    // own instant until it moves less than a second. Empty where the Sun does not cross the
    // altitude on that side of noon.
    struct Crossings {
        Status status = Status::AlwaysBelow;
        std::optional<double> trise;
        std::optional<double> tset;
    };
    static Crossings refinedRiseSetForYear(int year, int month, int day, double longitude,
                                           double latitude, double altitude, bool upper_limb);

  private:
    Event toEvent(const Crossings& crossings) const;

    Date date_;
    QTimeZone timezone_;
    double latitude_ = 0;
    double longitude_ = 0;
    int year_ = 2001;
    int month_ = 1;
    int day_ = 1;
    Event sun_;
    Event civil_;
    Event nautical_;
    Event astronomical_;
};

}  // namespace talvor
