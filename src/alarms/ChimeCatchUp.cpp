#include "ChimeCatchUp.h"

#include <cmath>
#include <cstdint>

namespace talvor {
namespace {

std::int64_t minuteOf(Date date) {
    return static_cast<std::int64_t>(std::floor(date.timeIntervalSinceReferenceDate() / 60.0));
}

}  // namespace

std::vector<Date> ChimeCatchUp::minutesToStrike(std::optional<Date> lastTick, Date now) {
    const std::int64_t current = minuteOf(now);
    std::int64_t first = current;
    if (!lastTick) {
        if (now.timeIntervalSinceReferenceDate() - static_cast<double>(current) * 60.0 >= 1.0) {
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
    for (std::int64_t minute = first; minute <= current; ++minute) {
        minutes.push_back(Date::fromReference(static_cast<double>(minute) * 60.0));
    }
    return minutes;
}

std::vector<Date> ChimeCatchUp::tick(Date now) {
    std::vector<Date> minutes = minutesToStrike(lastTick_, now);
    lastTick_ = now;
    return minutes;
}

}  // namespace talvor
