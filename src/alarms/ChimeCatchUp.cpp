#include "ChimeCatchUp.h"

#include <cmath>

namespace talvor {
namespace {

double minuteOf(Date date) {
    return std::floor(date.timeIntervalSinceReferenceDate() / 60.0);
}

}  // namespace

std::vector<Date> ChimeCatchUp::minutesToStrike(std::optional<Date> lastTick, Date now) {
    const double current = minuteOf(now);
    double first = current;
    if (!lastTick) {
        if (now.timeIntervalSinceReferenceDate() - current * 60.0 >= 1.0) {
            return {};
        }
    } else {
        const double gap = now.timeIntervalSince(*lastTick);
        // A clock set back would repeat minutes already chimed.
        if (gap <= 0 || minuteOf(*lastTick) == current) {
            return {};
        }
        if (gap <= kCatchUpSeconds) {
            first = minuteOf(*lastTick) + 1;
        }
    }
    std::vector<Date> minutes;
    for (double minute = first; minute <= current; ++minute) {
        minutes.push_back(Date::fromReference(minute * 60.0));
    }
    return minutes;
}

std::vector<Date> ChimeCatchUp::tick(Date now) {
    std::vector<Date> minutes = minutesToStrike(lastTick_, now);
    lastTick_ = now;
    return minutes;
}

}  // namespace talvor
