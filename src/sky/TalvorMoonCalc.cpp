#include "TalvorMoonCalc.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QFile>

#include <cmath>
#include <iterator>

namespace talvor {
namespace {

constexpr double DEG = 0.017453292519943295;
constexpr double RADEG = 57.29577951308232;
constexpr double kSynodic = 29.53058868;
// Julian date of 2001-01-01 00:00 UTC, the reference date of `Date`.
constexpr double kJdReference = 2451910.5;
constexpr double kSecondsPerDay = 86400.0;
// Julian date of the mean new moon of lunation 0 (1900 January).
constexpr double kLunationZero = 2415020.75933;

double fixangle(double a) {
    return a - 360.0 * std::floor(a / 360.0);
}
double dsin(double a) {
    return std::sin(a * DEG);
}
double dcos(double a) {
    return std::cos(a * DEG);
}

QDate localDay(Date date, const QTimeZone& zone) {
    const auto ms = static_cast<qint64>(std::floor(date.timeIntervalSince1970() * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(ms, zone).date();
}

}  // namespace

TalvorMoonCalc::TalvorMoonCalc() : TalvorMoonCalc(platform::Clock::shared().now()) {}

TalvorMoonCalc::TalvorMoonCalc(Date date) : date_(date) {
    update();
}

void TalvorMoonCalc::setDate(Date date) {
    date_ = date;
    update();
}

void TalvorMoonCalc::setDisplayForSouthernHemisphere(bool southern) {
    southernHemi_ = southern;
    update();
}

void TalvorMoonCalc::setTimeZone(std::optional<QTimeZone> zone) {
    zone_ = std::move(zone);
}

QTimeZone TalvorMoonCalc::timeZone() const {
    if (zone_ && zone_->isValid()) {
        return *zone_;
    }
    return platform::Clock::shared().currentZone();
}

void TalvorMoonCalc::update() {
    jdateGMT_ = julianDateForDate(date_);
    getMoonInfo();
    const double k = lunationForDate(date_);
    previousphases_ = getMoonPhaseArray(k - 1);
    currentphases_ = getMoonPhaseArray(k);
    nextphases_ = getMoonPhaseArray(k + 1);
}

// The 1980 January 0.0 method: the Sun from its mean elements with one Kepler solution, the
// Moon's longitude with evection, the annual equation and the variation.
void TalvorMoonCalc::getMoonInfo() {
    const double day = jdateGMT_ - 2444238.5;
    const double N = fixangle(0.9856473320990837 * day);
    const double M = fixangle(N + 278.83354 - 282.596403);
    const double Ec =
        2.0 * std::atan(1.0168601118216303 * std::tan(kepler(M, 0.016718) / 2.0)) * RADEG;
    const double lambdaSun = fixangle(Ec + 282.596403);
    const double F = (1.0 + 0.016718 * dcos(Ec)) / 0.999720508476;
    soldist_ = 149598500.0 / F;
    soldiam_ = F * 0.533128;

    const double ml = fixangle(13.1763966 * day + 64.975464);
    const double MM = fixangle(ml - 0.1114041 * day - 349.383063);
    const double Ev = 1.2739 * dsin(2.0 * (ml - lambdaSun) - MM);
    const double Ae = 0.1858 * dsin(M);
    const double A3 = 0.37 * dsin(M);
    const double MmP = MM + Ev - Ae - A3;
    const double mEc = 6.2886 * dsin(MmP);
    const double A4 = 0.214 * dsin(2.0 * MmP);
    const double lP = ml + Ev + mEc - Ae + A4;
    const double V = 0.6583 * dsin(2.0 * (lP - lambdaSun));
    const double moonAge = lP + V - lambdaSun;

    illum_ = (1.0 - dcos(moonAge)) / 2.0;
    dist_ = 383242.41154199 / (1.0 + 0.0549 * dcos(MmP + mEc));
    diam_ = 0.5181 / (dist_ / 384401.0);

    const double a = fixangle(moonAge);
    phased_ = a / 360.0;
    phasei_ = getMoonPhaseAsInteger(phased_);
    age_p_ = static_cast<int32_t>(std::lround(a / 180.0 * kSynodic));
    age_j_ = phased_ * kSynodic;
    age_d_ = static_cast<int32_t>(age_j_);
    const double f = age_j_ - std::floor(age_j_);
    age_h_ = static_cast<int32_t>(24.0 * f);
    age_m_ = static_cast<int32_t>(1440.0 * f) % 60;
}

QString TalvorMoonCalc::moonImageName() const {
    if (isBlueMoon()) {
        return QStringLiteral("MMblue");
    }
    return QStringLiteral("MM%1").arg(moonPictureIndex());
}

std::optional<QImage> TalvorMoonCalc::mooonImage(const QString& folder) const {
    const QString path = folder + QLatin1Char('/') + moonImageName() + QStringLiteral(".png");
    if (!QFile::exists(path)) {
        return std::nullopt;
    }
    QImage image(path);
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

int32_t TalvorMoonCalc::moonPictureIndex() const {
    // Seen from the south the lit side is the other one: waxing looks like waning there.
    return southernHemi_ ? (8 - phasei_) % 8 : phasei_;
}

bool TalvorMoonCalc::isBlueMoon() const {
    if (phasei_ != 4) {
        return false;
    }
    const QTimeZone zone = timeZone();
    const QDate full = localDay(currentphases_[2], zone);
    const QDate previous = localDay(previousphases_[2], zone);
    return full.year() == previous.year() && full.month() == previous.month();
}

int64_t TalvorMoonCalc::dayNumber(Date date) const {
    return localDay(date, timeZone()).toJulianDay();
}

Date TalvorMoonCalc::last(int i) const {
    return dayNumber(date_) > dayNumber(currentphases_[i]) ? currentphases_[i] : previousphases_[i];
}

Date TalvorMoonCalc::next(int i, bool todayCounts) const {
    const int64_t today = dayNumber(date_);
    // A new moon later today is not "next": the one after it is, a lunation further on.
    const Date candidates[] = {currentphases_[i], nextphases_[i], nextphases_[i == 0 ? 4 : i]};
    for (const Date candidate : candidates) {
        const int64_t day = dayNumber(candidate);
        if (todayCounts ? day >= today : day > today) {
            return candidate;
        }
    }
    return candidates[2];
}

int32_t TalvorMoonCalc::getPreciseMoonPhaseAsInteger(double phase) {
    return static_cast<int32_t>(std::lround(phase * 20.0));
}

int32_t TalvorMoonCalc::getMoonPhaseAsInteger(double phase) {
    const double q = phase * 100.0;
    if (!(q >= 0.0 && q <= 100.0)) {
        platform::log(QStringLiteral("Error getMoonPhaseAsInteger"));
        return 0;
    }
    static constexpr double kUpper[] = {2.5, 22.5, 27.5, 47.5, 52.5, 73.5, 77.5, 97.5};
    for (int32_t band = 0; band < 8; ++band) {
        if (q < kUpper[band]) {
            return band;
        }
    }
    return 0;
}

double TalvorMoonCalc::julianDateForCivil(int year, int month, int day, int hour, int minute,
                                          int second) {
    const int a = month < 3 ? 1 : 0;
    const int64_t y = year - a;
    const int64_t m = month < 3 ? month + 9 : month - 3;
    const int64_t c = y / 100;
    const int64_t jdn =
        (146097 * c) / 4 + (1461 * (y - 100 * c)) / 4 + (153 * m + 2) / 5 + day + 1721119;
    return static_cast<double>(jdn) - 0.5 + ((hour * 60.0 + minute) * 60.0 + second) / 86400.0;
}

TalvorMoonCalc::Civil TalvorMoonCalc::civilForJulianDate(double jd) {
    const double j = std::floor(jd + 0.5);
    const double n = 4.0 * (j - 1721119.0);
    const double c = std::floor((n - 1.0) / 146097.0);
    const double d = std::floor((n - (146097.0 * c + 1.0)) * 0.25);
    const double y = std::floor((4.0 * d + 3.0) / 1461.0);
    const double d2 = std::floor((4.0 * d + 3.0 - 1461.0 * y + 4.0) * 0.25);
    const double m = std::floor((5.0 * d2 - 3.0) / 153.0);
    const double dd = std::floor((5.0 * d2 - (153.0 * m + 3.0) + 5.0) / 5.0);
    Civil out{};
    out.day = static_cast<int>(dd);
    if (m < 10.0) {
        out.month = static_cast<int>(m) + 3;
        out.year = static_cast<int>(100.0 * c + y);
    } else {
        out.month = static_cast<int>(m) - 9;
        out.year = static_cast<int>(100.0 * c + y + 1.0);
    }
    const auto s = static_cast<int>((jd + 0.5 - j) * 86400.0);
    out.hour = s / 3600;
    out.minute = (s / 60) % 60;
    out.second = s - 60 * (s / 60);
    return out;
}

double TalvorMoonCalc::julianDateForDate(Date date) {
    return kJdReference + date.timeIntervalSinceReferenceDate() / kSecondsPerDay;
}

Date TalvorMoonCalc::calendarDateForJulianDate(double jd) {
    return Date::fromReference((jd - kJdReference) * kSecondsPerDay);
}

// Espenak and Meeus's polynomials (NASA eclipse pages), their long-term parabola outside.
double TalvorMoonCalc::deltaT(double y) {
    if (y >= 1900.0 && y < 1920.0) {
        const double t = y - 1900.0;
        return -2.79 + 1.494119 * t - 0.0598939 * t * t + 0.0061966 * t * t * t -
               0.000197 * t * t * t * t;
    }
    if (y >= 1920.0 && y < 1941.0) {
        const double t = y - 1920.0;
        return 21.20 + 0.84493 * t - 0.076100 * t * t + 0.0020936 * t * t * t;
    }
    if (y >= 1941.0 && y < 1961.0) {
        const double t = y - 1950.0;
        return 29.07 + 0.407 * t - t * t / 233.0 + t * t * t / 2547.0;
    }
    if (y >= 1961.0 && y < 1986.0) {
        const double t = y - 1975.0;
        return 45.45 + 1.067 * t - t * t / 260.0 - t * t * t / 718.0;
    }
    if (y >= 1986.0 && y < 2005.0) {
        const double t = y - 2000.0;
        return 63.86 + 0.3345 * t - 0.060374 * t * t + 0.0017275 * t * t * t +
               0.000651814 * t * t * t * t + 0.00002373599 * t * t * t * t * t;
    }
    if (y >= 2005.0 && y < 2050.0) {
        const double t = y - 2000.0;
        return 62.92 + 0.32217 * t + 0.005589 * t * t;
    }
    const double u = (y - 1820.0) / 100.0;
    if (y >= 2050.0 && y < 2150.0) {
        return -20.0 + 32.0 * u * u - 0.5628 * (2150.0 - y);
    }
    return -20.0 + 32.0 * u * u;
}

double TalvorMoonCalc::kepler(double m, double ecc) {
    double e = m * DEG;
    for (int pass = 0; pass < 100; ++pass) {
        const double delta = e - ecc * std::sin(e) - m * DEG;
        e -= delta / (1.0 - ecc * std::cos(e));
        if (std::abs(delta) <= 1e-6) {
            break;
        }
    }
    return e;
}

double TalvorMoonCalc::getMeanPhase(double k, double jd) {
    const double T = (jd - 2415020.0) / 36525.0;
    const double T2 = T * T;
    return kLunationZero + kSynodic * k + 0.0001178 * T2 - 1.55e-7 * T2 * T +
           0.00033 * dsin(166.56 + 132.87 * T - 0.009173 * T2);
}

namespace {

// Periodic terms of a principal phase: coefficient (days), power of the eccentricity factor,
// and the multiples of the Sun's mean anomaly M, the Moon's mean anomaly M', the Moon's
// argument of latitude F and the longitude of its ascending node.
struct PhaseTerm {
    double days;
    int eccentricityPower;
    int m, mprime, f, node;
};

constexpr PhaseTerm kNewMoonTerms[] = {
    {-0.40720, 0, 0, 1, 0, 0}, {0.17241, 1, 1, 0, 0, 0},    {0.01608, 0, 0, 2, 0, 0},
    {0.01039, 0, 0, 0, 2, 0},  {0.00739, 1, -1, 1, 0, 0},   {-0.00514, 1, 1, 1, 0, 0},
    {0.00208, 2, 2, 0, 0, 0},  {-0.00111, 0, 0, 1, -2, 0},  {-0.00057, 0, 0, 1, 2, 0},
    {0.00056, 1, 1, 2, 0, 0},  {-0.00042, 0, 0, 3, 0, 0},   {0.00042, 1, 1, 0, 2, 0},
    {0.00038, 1, 1, 0, -2, 0}, {-0.00024, 1, -1, 2, 0, 0},  {-0.00017, 0, 0, 0, 0, 1},
    {-0.00007, 0, 2, 1, 0, 0}, {0.00004, 0, 0, 2, -2, 0},   {0.00004, 0, 3, 0, 0, 0},
    {0.00003, 0, 1, 1, -2, 0}, {0.00003, 0, 0, 2, 2, 0},    {-0.00003, 0, 1, 1, 2, 0},
    {0.00003, 0, -1, 1, 2, 0}, {-0.00002, 0, -1, 1, -2, 0}, {-0.00002, 0, 1, 3, 0, 0},
    {0.00002, 0, 0, 4, 0, 0},
};

constexpr PhaseTerm kFullMoonTerms[] = {
    {-0.40614, 0, 0, 1, 0, 0}, {0.17302, 1, 1, 0, 0, 0},    {0.01614, 0, 0, 2, 0, 0},
    {0.01043, 0, 0, 0, 2, 0},  {0.00734, 1, -1, 1, 0, 0},   {-0.00515, 1, 1, 1, 0, 0},
    {0.00209, 2, 2, 0, 0, 0},  {-0.00111, 0, 0, 1, -2, 0},  {-0.00057, 0, 0, 1, 2, 0},
    {0.00056, 1, 1, 2, 0, 0},  {-0.00042, 0, 0, 3, 0, 0},   {0.00042, 1, 1, 0, 2, 0},
    {0.00038, 1, 1, 0, -2, 0}, {-0.00024, 1, -1, 2, 0, 0},  {-0.00017, 0, 0, 0, 0, 1},
    {-0.00007, 0, 2, 1, 0, 0}, {0.00004, 0, 0, 2, -2, 0},   {0.00004, 0, 3, 0, 0, 0},
    {0.00003, 0, 1, 1, -2, 0}, {0.00003, 0, 0, 2, 2, 0},    {-0.00003, 0, 1, 1, 2, 0},
    {0.00003, 0, -1, 1, 2, 0}, {-0.00002, 0, -1, 1, -2, 0}, {-0.00002, 0, 1, 3, 0, 0},
    {0.00002, 0, 0, 4, 0, 0},
};

constexpr PhaseTerm kQuarterTerms[] = {
    {-0.62801, 0, 0, 1, 0, 0}, {0.17172, 1, 1, 0, 0, 0},    {-0.01183, 1, 1, 1, 0, 0},
    {0.00862, 0, 0, 2, 0, 0},  {0.00804, 0, 0, 0, 2, 0},    {0.00454, 1, -1, 1, 0, 0},
    {0.00204, 2, 2, 0, 0, 0},  {-0.00180, 0, 0, 1, -2, 0},  {-0.00070, 0, 0, 1, 2, 0},
    {-0.00040, 0, 0, 3, 0, 0}, {-0.00034, 1, -1, 2, 0, 0},  {0.00032, 1, 1, 0, 2, 0},
    {0.00032, 1, 1, 0, -2, 0}, {-0.00028, 2, 2, 1, 0, 0},   {0.00027, 1, 1, 2, 0, 0},
    {-0.00017, 0, 0, 0, 0, 1}, {-0.00005, 0, -1, 1, -2, 0}, {0.00004, 0, 0, 2, 2, 0},
    {-0.00004, 0, 1, 1, 2, 0}, {0.00004, 0, -2, 1, 0, 0},   {0.00003, 0, 1, 1, -2, 0},
    {0.00003, 0, 3, 0, 0, 0},  {0.00002, 0, 0, 2, -2, 0},   {0.00002, 0, -1, 1, 2, 0},
    {-0.00002, 0, 1, 3, 0, 0},
};

// The planetary arguments A1..A14: degrees at lunation 0 of 2000 January and per lunation,
// with the amplitude (days) of the correction each makes to every phase.
struct PlanetaryTerm {
    double at2000;
    double perLunation;
    double days;
};

constexpr PlanetaryTerm kPlanetaryTerms[] = {
    {299.77, 0.107408, 0.000325},  {251.88, 0.016321, 0.000165}, {251.83, 26.651886, 0.000164},
    {349.42, 36.412478, 0.000126}, {84.66, 18.206239, 0.000110}, {141.74, 53.303771, 0.000062},
    {207.14, 2.453732, 0.000060},  {154.84, 7.306860, 0.000056}, {34.52, 27.261239, 0.000047},
    {207.19, 0.121824, 0.000042},  {291.34, 1.844379, 0.000040}, {161.72, 24.198154, 0.000037},
    {239.56, 25.513099, 0.000035}, {331.55, 3.592518, 0.000023},
};

// Lunations are counted from 1900 January here and from 2000 January in the series below.
constexpr double kLunations1900To2000 = 1237.0;

}  // namespace

// The mean lunation and its periodic terms (Meeus, Astronomical Algorithms, 2nd ed., ch. 49),
// planetary arguments included: a few seconds from a full lunar theory.
double TalvorMoonCalc::getTruePhase(double k, double phase) {
    const double n = k + phase - kLunations1900To2000;
    const double t = n / 1236.85;
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double t4 = t3 * t;
    double pt =
        2451550.09766 + 29.530588861 * n + 0.00015437 * t2 - 0.000000150 * t3 + 0.00000000073 * t4;
    const PhaseTerm* first = nullptr;
    const PhaseTerm* last = nullptr;
    bool quarter = false;
    if (phase < 0.01) {
        first = std::begin(kNewMoonTerms);
        last = std::end(kNewMoonTerms);
    } else if (std::abs(phase - 0.5) < 0.01) {
        first = std::begin(kFullMoonTerms);
        last = std::end(kFullMoonTerms);
    } else if (std::abs(phase - 0.25) < 0.01 || std::abs(phase - 0.75) < 0.01) {
        first = std::begin(kQuarterTerms);
        last = std::end(kQuarterTerms);
        quarter = true;
    } else {
        platform::log(QStringLiteral("TRUEPHASE called with invalid phase selector!"));
        return pt;
    }
    const double e = 1.0 - 0.002516 * t - 0.0000074 * t2;
    const double m = 2.5534 + 29.10535670 * n - 0.0000014 * t2 - 0.00000011 * t3;
    const double mprime =
        201.5643 + 385.81693528 * n + 0.0107582 * t2 + 0.00001238 * t3 - 0.000000058 * t4;
    const double f =
        160.7108 + 390.67050284 * n - 0.0016118 * t2 - 0.00000227 * t3 + 0.000000011 * t4;
    const double node = 124.7746 - 1.56375588 * n + 0.0020672 * t2 + 0.00000215 * t3;
    for (const PhaseTerm* term = first; term != last; ++term) {
        const double factor = term->eccentricityPower == 0   ? 1.0
                              : term->eccentricityPower == 1 ? e
                                                             : e * e;
        pt += term->days * factor *
              dsin(term->m * m + term->mprime * mprime + term->f * f + term->node * node);
    }
    if (quarter) {
        const double w = 0.00306 - 0.00038 * e * dcos(m) + 0.00026 * dcos(mprime) -
                         0.00002 * dcos(mprime - m) + 0.00002 * dcos(mprime + m) +
                         0.00002 * dcos(2.0 * f);
        pt += phase < 0.5 ? w : -w;
    }
    for (const PlanetaryTerm& a : kPlanetaryTerms) {
        double argument = a.at2000 + a.perLunation * n;
        if (&a == &kPlanetaryTerms[0]) {
            argument -= 0.009173 * t2;
        }
        pt += a.days * dsin(argument);
    }
    return pt;
}

Date TalvorMoonCalc::phaseInstant(double k, double phase) {
    const double jd = getTruePhase(k, phase);
    // The series runs in dynamical time; instants are Universal Time.
    const double year = 2000.0 + (jd - 2451545.0) / 365.25;
    return calendarDateForJulianDate(jd - deltaT(year) / kSecondsPerDay);
}

double TalvorMoonCalc::lunationForDate(Date date) {
    const double jd = julianDateForDate(date);
    // Start one lunation early and walk both ways: an estimate from the calendar month alone
    // can start after the date.
    double k = std::floor((jd - kLunationZero) / kSynodic) - 1.0;
    for (int pass = 0; pass < 8; ++pass) {
        if (getMeanPhase(k, jd) > jd) {
            k -= 1.0;
        } else if (getMeanPhase(k + 1.0, jd) <= jd) {
            k += 1.0;
        } else {
            break;
        }
    }
    // The true new moon is up to about 14 hours off the mean one.
    for (int pass = 0; pass < 4 && phaseInstant(k, 0.0) > date; ++pass) {
        k -= 1.0;
    }
    for (int pass = 0; pass < 4 && phaseInstant(k + 1.0, 0.0) <= date; ++pass) {
        k += 1.0;
    }
    return k;
}

TalvorMoonCalc::PhaseArray TalvorMoonCalc::getMoonPhaseArray(double k) {
    return {phaseInstant(k, 0.0),  phaseInstant(k, 0.25),      phaseInstant(k, 0.5),
            phaseInstant(k, 0.75), phaseInstant(k + 1.0, 0.0), phaseInstant(k + 1.0, 0.75)};
}

}  // namespace talvor
