#include "TinyProgressControl.h"

#include "platform/Clock.h"

#include <QPixmap>

namespace talvor {

TinyProgressControl::TinyProgressControl(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

TinyProgressControl::~TinyProgressControl() = default;

void TinyProgressControl::startAnimation() {
    if (isAnimating()) {
        return;
    }
    platform::Scheduler& scheduler = platform::Scheduler::shared();
    animationTimer_ =
        scheduler.scheduleRepeating(scheduler.clock().now().addingTimeInterval(kFrameInterval),
                                    kFrameInterval, [this] { nextFrame(); });
    setToolTip(progressTooltip_);
    framePointer_ = -1;
    nextFrame();
}

void TinyProgressControl::stopAnimation() {
    if (!isAnimating()) {
        return;
    }
    animationTimer_.cancel();
    animationTimer_ = platform::TimerHandle();
    setToolTip(QString());
    clear();
}

void TinyProgressControl::nextFrame() {
    ++framePointer_;
    if (framePointer_ >= static_cast<std::int32_t>(images_.size())) {
        framePointer_ = 0;
    }
    if (images_.empty()) {
        clear();
        return;
    }
    setPixmap(QPixmap::fromImage(images_[static_cast<std::size_t>(framePointer_)]));
}

}  // namespace talvor
