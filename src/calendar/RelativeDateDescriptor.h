#pragma once

#include "foundation/Calendar.h"
#include "platform/Date.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace talvor {

// The distance between a date and a reference as text: counts of units inside a "before" or
// an "after" format ("3 days ago", "in 2 hours").
class RelativeDateDescriptor {
  public:
    // Unit flags of expressedUnits; MostSignificantOnly is not a unit.
    enum Unit : uint32_t {
        MostSignificantOnly = 1,
        Millisecond = 2,
        Second = 4,
        Minute = 8,
        Hour = 16,
        Day = 32,
        Week = 64,
        Month = 128,  // 30.43 days
        Year = 256,   // 365.2425 days: never shorter than twelve months
    };

    RelativeDateDescriptor();  // "%@ ago", "in %@"
    RelativeDateDescriptor(QString priorFormat, QString postFormat);

    // The absolute interval in the formats' placeholder: the prior format for a date before
    // the reference. None when either date is missing.
    std::optional<QString> describeDate(std::optional<Date> date,
                                        std::optional<Date> reference) const;

    void expressMostSignificantUnitOnly() { expressedUnits_ |= MostSignificantOnly; }
    bool isExpressedUnit(uint32_t unit) const { return (expressedUnits_ & unit) == unit; }
    std::vector<Unit> expressedTimeUnits() const;
    static Unit mostSignificantUnitForTimeDifference(double seconds);
    // Exact lengths in milliseconds; 0 for anything that is not one unit.
    static int64_t millisecondsInTimeUnit(uint32_t unit);
    static double secondsInTimeUnit(uint32_t unit) { return millisecondsInTimeUnit(unit) / 1000.0; }
    static std::optional<QString> quantifierForTimeUnit(uint32_t unit);
    // Whole units largest first, each "%i %@" (a count of 0 included), joined with blanks.
    static QString describeInterval(double seconds, std::vector<Unit> units);
    static QString applyFormat(const QString& format, const QString& difference);
    // The word with an "s" for 2 or more.
    static QString formOfDateQuantifier(const QString& word, int64_t count);

    const QString& priorDateDescriptionFormat() const { return prior_; }
    const QString& postDateDescriptionFormat() const { return post_; }
    uint32_t expressedUnits() const { return expressedUnits_; }
    void setPriorDateDescriptionFormat(const QString& f) { prior_ = f; }
    void setPostDateDescriptionFormat(const QString& f) { post_ = f; }
    void setExpressedUnits(uint32_t units) { expressedUnits_ = units; }

  private:
    QString prior_;
    QString post_;
    uint32_t expressedUnits_ = MostSignificantOnly;
};

// The calendar difference between two dates in the chosen units, and each date described
// relative to the other (the model of the date-difference pane).
class DateDiffCalculator {
  public:
    struct Difference {
        std::optional<int32_t> era, year, month, week, day;
        friend bool operator==(const Difference&, const Difference&) = default;
    };

    // Both dates now (by the platform clock), every unit on, computed.
    DateDiffCalculator();

    void computeDateDiff();

    Date date1;
    Date date2;
    bool doesEra = true;
    bool doesYear = true;
    bool doesMonth = true;
    bool doesWeek = true;
    bool doesDay = true;
    // The units in the user calendar from date1 to date2; units not asked for are absent.
    Difference diff;
    QString LaterData;    // date1 relative to date2
    QString earlierData;  // date2 relative to date1
};

}  // namespace talvor
