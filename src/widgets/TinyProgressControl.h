#pragma once

#include "platform/Scheduler.h"

#include <QImage>
#include <QLabel>

#include <cstdint>
#include <vector>

namespace talvor {

// An image view that plays its frames in a loop, one every 0.08 s on the scheduler, with a
// tool tip while it runs.
class TinyProgressControl : public QLabel {
    Q_OBJECT
  public:
    static constexpr double kFrameInterval = 0.08;

    explicit TinyProgressControl(QWidget* parent = nullptr);
    ~TinyProgressControl() override;

    void setImages(std::vector<QImage> images) { images_ = std::move(images); }
    const std::vector<QImage>& images() const { return images_; }
    void setProgressToolTip(const QString& toolTip) { progressTooltip_ = toolTip; }

    // Starts showing frame 0 and the tool tip; nothing when already running.
    void startAnimation();
    // Drops the timer, the tool tip and the image; nothing when not running.
    void stopAnimation();
    bool isAnimating() const { return animationTimer_.isActive(); }
    // The next frame, wrapping to 0 after the last.
    void nextFrame();
    std::int32_t framePointer() const { return framePointer_; }

  private:
    std::vector<QImage> images_;
    platform::TimerHandle animationTimer_;
    std::int32_t framePointer_ = 0;
    QString progressTooltip_;
};

}  // namespace talvor
