#include "StatusView.h"

#include "platform/Clock.h"

#include <algorithm>

namespace talvor {

void StatusView::setAngleEnd(int32_t endAngle, int32_t duration) {
    endAngle_ = endAngle;
    durationAngle_ = std::min(duration, 60);
    if (changed) {
        changed();
    }
}

void StatusView::startFlashing() {
    if (isFlashing()) {
        return;
    }
    platform::Scheduler& scheduler = platform::Scheduler::shared();
    flashTimer_ = scheduler.scheduleRepeating(scheduler.clock().now().addingTimeInterval(1.0), 1.0,
                                              [this] { flash(); });
    flashState_ = true;
}

void StatusView::stopFlashing() {
    if (!isFlashing()) {
        return;
    }
    flashTimer_.cancel();
    setAngleEnd(0, 0);
}

void StatusView::flash() {
    setAngleEnd(0, flashState_ ? 60 : 0);
    flashState_ = !flashState_;
}

}  // namespace talvor
