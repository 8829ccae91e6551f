#include "alarms/ChimeCatchUp.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace talvor {
namespace {

// Seconds since the reference date; the minutes of a case are counted from this one.
constexpr double kBase = 60.0 * 12'000'000;

std::vector<double> minutesFromBase(const std::vector<Date>& starts) {
    std::vector<double> minutes;
    for (Date start : starts) {
        minutes.push_back((start.timeIntervalSinceReferenceDate() - kBase) / 60.0);
    }
    return minutes;
}

TEST(alarmsChimeCatchUp, EachMinuteSinceTheLastTickIsChimedOnce) {
    struct Case {
        const char* what;
        std::optional<double> lastTick;  // seconds after kBase
        double now;
        std::vector<double> chimed;  // minutes after kBase
    };
    const Case cases[] = {
        {"first tick on second 0", std::nullopt, 60.0, {1}},
        {"first tick within the first second", std::nullopt, 60.999, {1}},
        {"first tick later in the minute", std::nullopt, 61.0, {}},
        {"on time", 59.9, 60.0, {1}},
        {"a second late", 60.0, 121.0, {2}},
        {"within the same minute", 60.0, 119.999, {}},
        {"a skipped minute is caught up", 120.5, 240.0, {3, 4}},
        {"a gap of exactly the catch-up time", 60.0, 180.0, {2, 3}},
        {"a gap just over it: only the current minute", 59.5, 180.0, {3}},
        {"a long gap: only the current minute", 0.0, 600.0, {10}},
        {"the clock set back", 250.0, 180.0, {}},
        {"the clock set back to the last tick", 180.0, 180.0, {}},
        {"before the reference date", -kBase - 61.0, -kBase, {-12'000'001, -12'000'000}},
    };
    for (const Case& c : cases) {
        const std::optional<Date> last =
            c.lastTick ? std::optional(Date::fromReference(kBase + *c.lastTick)) : std::nullopt;
        EXPECT_EQ(minutesFromBase(
                      ChimeCatchUp::minutesToStrike(last, Date::fromReference(kBase + c.now))),
                  c.chimed)
            << c.what;
    }
}

// Every tick becomes the last one, a clock set back included, so that a later tick counts
// from where the clock stood and not from the latest time ever seen.
TEST(alarmsChimeCatchUp, EveryTickBecomesTheLastTick) {
    ChimeCatchUp catchUp;
    const auto tick = [&](double seconds) {
        return minutesFromBase(catchUp.tick(Date::fromReference(kBase + seconds)));
    };
    EXPECT_EQ(tick(30), std::vector<double>{});
    EXPECT_EQ(tick(60), std::vector<double>{1});
    EXPECT_EQ(tick(600), std::vector<double>{10});
    EXPECT_EQ(tick(300), std::vector<double>{});
    EXPECT_EQ(catchUp.lastTick(), Date::fromReference(kBase + 300));
    EXPECT_EQ(tick(420), (std::vector<double>{6, 7}));
}

}  // namespace
}  // namespace talvor
