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
// A day on which the Sun never crosses an event's altitude has no instants for that event:
// the start and end are empty and the status says whether the Sun stayed above (polar day)
// or below (polar night) all day.
class EDSunriseSet {
  public:
    // The status of the core calculation, with its values.
    enum class Status : int {
        AlwaysBelow = -1,  // no crossing: the Sun stays below the altitude all day
        Crosses = 0,
        AlwaysAbove = 1,  // no crossing: the Sun stays above the altitude all day
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

  private:
    using Wrapper = int (*)(int, int, int, double, double, double&, double&);
    Event calculate(Wrapper wrapper) const;

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
