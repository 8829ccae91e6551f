#pragma once

#include "platform/Date.h"

#include <optional>
#include <vector>

namespace talvor {

// Which minutes a tick of the clock chimes. Each minute that began since the last tick gets
// its chime, so a late tick loses none; after a long gap (asleep, clock set forward) only the
// current minute counts, and a clock set back chimes nothing.
class ChimeCatchUp {
  public:
    // A tick later than this after the last one chimes no missed minutes.
    static constexpr double kCatchUpSeconds = 120.0;

    // The starts of the minutes to chime at `now`, earliest first. Without a last tick only
    // a tick within the first second of a minute chimes it.
    static std::vector<Date> minutesToStrike(std::optional<Date> lastTick, Date now);

    // The minutes to chime at this tick, which becomes the last tick.
    std::vector<Date> tick(Date now);
    std::optional<Date> lastTick() const { return lastTick_; }

  private:
    std::optional<Date> lastTick_;
};

}  // namespace talvor
