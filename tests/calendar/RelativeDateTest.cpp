// Relative date texts, checked by hand and against python-dateutil's relativedelta, and the
// calendar difference of the date-difference pane.
#include "calendar/RelativeDateDescriptor.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "support/FakeClock.h"
#include "support/ScopedMachineZone.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using R = RelativeDateDescriptor;

const Date kNow = Date::fromUnix(1715774400);  // 2024-05-15 12:00 UTC

TEST(RelativeDate, DescribesByTheTable) {
    struct Case {
        double seconds;  // date minus reference
        uint32_t units;  // 0: the most significant only
        const char* text;
    };
    const std::vector<Case> cases = {
        {-90, 0, "1 minute ago"},
        {7200, 0, "in 2 hours"},
        {45 * 86400.0, 0, "in 1 month"},
        {10 * 86400.0, 0, "in 1 week"},
        {0, 0, "in 0 millisecond"},  // singular below 2
        {0.5, 0, "in 500 milliseconds"},
        {26 * 3600.0, R::Day | R::Hour, "in 1 day 2 hours"},
        {-(2 * 86400.0 + 5), R::Day | R::Hour | R::Second, "2 days 0 hour 5 seconds ago"},
        // A year is 365.2425 days: twelve months (365.16 days) are still months.
        {12 * 2629152.0, 0, "in 12 months"},
        {365.2425 * 86400, 0, "in 1 year"},
        {400 * 86400.0, R::Year | R::Month | R::Day, "in 1 year 1 month 4 days"},
        // Far beyond 24.8 days of milliseconds: counts are 64-bit.
        {-1000 * 86400.0, R::Millisecond, "86400000000 milliseconds ago"},
    };
    for (const Case& c : cases) {
        R d;
        if (c.units != 0) {
            d.setExpressedUnits(c.units);
        }
        EXPECT_EQ(d.describeDate(kNow.addingTimeInterval(c.seconds), kNow),
                  QString::fromLatin1(c.text))
            << c.seconds;
    }
    R custom(QStringLiteral("%@ before"), QStringLiteral("%@ after"));
    EXPECT_EQ(custom.describeDate(kNow, kNow.addingTimeInterval(61)),
              QStringLiteral("1 minute before"));
    EXPECT_FALSE(custom.describeDate(std::nullopt, kNow));
    EXPECT_EQ(R::secondsInTimeUnit(3), 0);
    EXPECT_FALSE(R::quantifierForTimeUnit(512));
    R all;
    all.setExpressedUnits(R::Year | R::Day | R::MostSignificantOnly);
    EXPECT_EQ(all.expressedTimeUnits(), (std::vector<R::Unit>{R::Day, R::Year}));
}

// Weeks, days, hours, minutes and seconds are exact lengths, so relativedelta's normalised
// split of the same interval must read the same.
TEST(RelativeDate, AgreesWithDateutilOnExactUnits) {
    const std::vector<int64_t> intervals = {0,       1,       59,       60,       61,     3599,
                                            3600,    86399,   86400,    90061,    604799, 604800,
                                            1234567, 9876543, 31556952, 123456789};
    QStringList args{QStringLiteral("-c"), QStringLiteral(R"(
import sys
from dateutil.relativedelta import relativedelta
def part(n, word):
    return "%d %s%s" % (n, word, "s" if n >= 2 else "")
for s in sys.argv[1:]:
    r = relativedelta(seconds=int(s)).normalized()
    print(" ".join([part(r.weeks, "week"), part(r.days - 7 * r.weeks, "day"),
                    part(r.hours, "hour"), part(r.minutes, "minute"), part(r.seconds, "second")]))
)")};
    for (int64_t s : intervals) {
        args << QString::number(s);
    }
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), args);
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        GTEST_SKIP() << "python3-dateutil is not installed (scripts/setup-deps installs it)";
    }
    const QStringList expected = QString::fromUtf8(python.readAllStandardOutput())
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(expected.size(), static_cast<qsizetype>(intervals.size()));
    R d;
    d.setExpressedUnits(R::Week | R::Day | R::Hour | R::Minute | R::Second);
    for (size_t i = 0; i < intervals.size(); ++i) {
        EXPECT_EQ(d.describeDate(kNow.addingTimeInterval(static_cast<double>(intervals[i])), kNow),
                  QStringLiteral("in ") + expected[static_cast<qsizetype>(i)])
            << intervals[i];
    }
}

TEST(DateDifference, CalendarUnitsAndPhrases) {
    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::FakeClock clock{kNow, QTimeZone::utc()};
    platform::Clock::setShared(&clock);
    DateDiffCalculator calc;
    EXPECT_EQ(calc.diff, (DateDiffCalculator::Difference{0, 0, 0, 0, 0}));
    calc.doesEra = calc.doesYear = calc.doesMonth = calc.doesDay = false;
    calc.date2 = kNow.addingTimeInterval(20 * 86400.0);
    calc.computeDateDiff();
    EXPECT_EQ(calc.diff, (DateDiffCalculator::Difference{std::nullopt, std::nullopt, std::nullopt,
                                                         2, std::nullopt}));
    calc.doesWeek = false;
    calc.computeDateDiff();
    EXPECT_EQ(calc.diff, DateDiffCalculator::Difference{});
    calc.doesYear = calc.doesMonth = calc.doesDay = true;
    calc.date2 = kNow.addingTimeInterval(3 * 86400.0);
    calc.computeDateDiff();
    EXPECT_EQ(calc.LaterData, QStringLiteral("3 days ago"));
    EXPECT_EQ(calc.earlierData, QStringLiteral("in 3 days"));
    calc.date2 = Date::fromQDateTime(QDateTime(QDate(2025, 7, 20), QTime(12, 0), QTimeZone::utc()));
    calc.computeDateDiff();
    EXPECT_EQ(calc.diff, (DateDiffCalculator::Difference{std::nullopt, 1, 2, std::nullopt, 5}));
    platform::Clock::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
