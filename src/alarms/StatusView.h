#pragma once

#include "platform/Scheduler.h"

#include <cstdint>
#include <functional>

namespace talvor {

// What the alarm item of the menu bar shows: the minute of the hour of the nearest alarm
// and the minutes to go to it (a wedge on the clock icon), and the flashing while an alarm
// rings. A model: whoever shows it redraws on `changed`. Main thread only.
class StatusView {
  public:
    StatusView() = default;
    StatusView(const StatusView&) = delete;
    StatusView& operator=(const StatusView&) = delete;

    int32_t endAngle() const { return endAngle_; }
    int32_t durationAngle() const { return durationAngle_; }
    bool isFlashing() const { return flashTimer_.isActive(); }

    // Stores the end minute and the duration, capped at 60.
    void setAngleEnd(int32_t endAngle, int32_t duration);
    // Alternates the full disc and the bare icon every second on platform::Scheduler::shared().
    void startFlashing();
    // Stops, back to angle 0 and duration 0.
    void stopFlashing();
    void flash();

    std::function<void()> changed;

  private:
    int32_t endAngle_ = 0;
    int32_t durationAngle_ = 0;
    bool flashState_ = false;
    platform::TimerHandle flashTimer_;
};

}  // namespace talvor
