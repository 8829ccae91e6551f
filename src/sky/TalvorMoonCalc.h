#pragma once

#include "platform/Date.h"

#include <QImage>
#include <QString>
#include <QTimeZone>

#include <array>
#include <cstdint>
#include <optional>

namespace talvor {

// The Moon for one instant: phase (fraction, eight bands, age), illumination, the Moon's and
// the Sun's distance and apparent size, and the new moon, quarters and full moon of the
// previous, current and next lunation.
//
// Every phase moment is an instant (UTC); only the choice of "last" and "next" looks at
// calendar days, in the calculator's zone. The phase, its band and the age are the same for
// every observer: the southern hemisphere changes only which picture is shown.
class TalvorMoonCalc {
  public:
    // One lunation: new moon, first quarter, full moon, last quarter, the next new moon, the
    // next lunation's last quarter.
    using PhaseArray = std::array<Date, 6>;

    // init: the current instant of the platform clock.
    TalvorMoonCalc();
    explicit TalvorMoonCalc(Date date);

    void setDate(Date date);
    Date date() const { return date_; }
    void setDisplayForSouthernHemisphere(bool southern);
    bool displayForSouthernHemisphere() const { return southernHemi_; }
    // The zone whose calendar days decide "last", "next" and the month of a blue moon; by
    // default the platform clock's zone when asked.
    void setTimeZone(std::optional<QTimeZone> zone);
    QTimeZone timeZone() const;

    // "MMblue" or "MM0".."MM7" from `moonPictureIndex`.
    QString moonImageName() const;
    // The picture "<folder>/<moonImageName>.png"; empty when the file is missing or unreadable.
    std::optional<QImage> mooonImage(const QString& folder) const;
    // The band's picture, mirrored (waxing shown as waning) for the southern hemisphere.
    int32_t moonPictureIndex() const;
    // A full moon that is the second full moon of its calendar month.
    bool isBlueMoon() const;

    int32_t moonPhaseAsInteger() const { return phasei_; }
    double moonPhaseAsDouble() const { return phased_; }
    double moonIllumination() const { return illum_; }
    int32_t moonAgeOfPhase() const { return age_p_; }
    // Age in days, with its whole days, hours and minutes.
    double moonAge() const { return age_j_; }
    int32_t moonAgeDays() const { return age_d_; }
    int32_t moonAgeHours() const { return age_h_; }
    int32_t moonAgeMinutes() const { return age_m_; }
    double moonDistanceKilometers() const { return dist_; }
    double moonDistanceMiles() const { return dist_ * 0.62; }
    double moonAngularDiameter() const { return diam_; }
    double solDistanceKilometers() const { return soldist_; }
    double solDistanceMiles() const { return soldist_ * 0.62; }
    double solAngularDiameter() const { return soldiam_; }
    // The Universal Time Julian date of `date`.
    double julianDate() const { return jdateGMT_; }

    const PhaseArray& previousPhases() const { return previousphases_; }
    const PhaseArray& currentPhases() const { return currentphases_; }
    const PhaseArray& nextPhases() const { return nextphases_; }

    // The latest moment of the phase on a calendar day before today's.
    Date lastNewMoon() const { return last(0); }
    Date lastFirstQuarter() const { return last(1); }
    Date lastFullMoon() const { return last(2); }
    Date lastLastQuarter() const { return last(3); }
    // The current lunation (the one whose new moon is the latest at or before `date`).
    Date currentNewMoon() const { return currentphases_[0]; }
    Date currentFirstQuarter() const { return currentphases_[1]; }
    Date currentFullMoon() const { return currentphases_[2]; }
    Date currentLastQuarter() const { return currentphases_[3]; }
    // New moon and first quarter on a later day; full moon and last quarter today or later.
    Date nextNewMoon() const { return next(0, false); }
    Date nextFirstQuarter() const { return next(1, false); }
    Date nextFullMoon() const { return next(2, true); }
    Date nextLastQuarter() const { return next(3, true); }

    // The nearest integer to phase x 20 (0..20).
    static int32_t getPreciseMoonPhaseAsInteger(double phase);
    // The band 0..7 of a phase fraction; outside 0..1 logs and gives 0.
    static int32_t getMoonPhaseAsInteger(double phase);

    // The calculation, pure functions of their arguments.
    // Julian date of a proleptic Gregorian date and time, and back (seconds truncated).
    static double julianDateForCivil(int year, int month, int day, int hour, int minute,
                                     int second);
    struct Civil {
        int year, month, day, hour, minute, second;
        friend bool operator==(const Civil&, const Civil&) = default;
    };
    static Civil civilForJulianDate(double jd);
    // Universal Time Julian date of an instant, and back.
    static double julianDateForDate(Date date);
    static Date calendarDateForJulianDate(double jd);
    // Terrestrial (dynamical) minus Universal Time, seconds, for a decimal year.
    static double deltaT(double year);
    // Eccentric anomaly (radians) of a mean anomaly (degrees).
    static double kepler(double m, double ecc);
    // Julian dates (dynamical time) of the mean new moon k and of a corrected phase
    // (0, 0.25, 0.5, 0.75) of lunation k, counted from 1900 January.
    static double getMeanPhase(double k, double jd);
    static double getTruePhase(double k, double phase);
    // The instant (UTC) of a phase of lunation k.
    static Date phaseInstant(double k, double phase);
    // The lunation whose new moon is the latest at or before `date`.
    static double lunationForDate(Date date);
    static PhaseArray getMoonPhaseArray(double k);

  private:
    void update();
    void getMoonInfo();
    int64_t dayNumber(Date date) const;
    Date last(int i) const;
    Date next(int i, bool todayCounts) const;

    Date date_;
    std::optional<QTimeZone> zone_;
    double jdateGMT_ = 0;
    double phased_ = 0;
    int32_t phasei_ = 0;
    PhaseArray previousphases_{};
    PhaseArray currentphases_{};
    PhaseArray nextphases_{};
    double illum_ = 0;
    int32_t age_p_ = 0;
    double age_j_ = 0;
    int32_t age_d_ = 0;
    int32_t age_h_ = 0;
    int32_t age_m_ = 0;
    double dist_ = 0;
    double diam_ = 0;
    double soldist_ = 0;
    double soldiam_ = 0;
    bool southernHemi_ = false;
};

}  // namespace talvor
