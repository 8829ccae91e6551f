#pragma once

#include "platform/Scheduler.h"
#include "platform/StatusBar.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>

namespace talvor {

namespace platform {
class Menu;
}

// Told after the alarm item's menu was opened by a click.
class StatusViewMenuDelegate {
  public:
    virtual ~StatusViewMenuDelegate() = default;
    virtual void menuClicked() = 0;
};

// The alarm item of the menu bar: a clock icon with a wedge from the present minute to the
// minute of the nearest alarm, the full disc and the bare icon alternating every second
// while an alarm rings. It takes no room until it is given its frame (an alarm exists).
// It asks for a redraw only when what it shows changes. Main thread only.
class StatusView : public platform::StatusItemView {
    Q_OBJECT
  public:
    static constexpr double kWidth = 30;
    // The clock icon of the item: a dial with two hands, drawn in code.
    static QImage clockIcon();

    StatusView();
    ~StatusView() override;
    StatusView(const StatusView&) = delete;
    StatusView& operator=(const StatusView&) = delete;

    // Keeps the item and makes itself the item's view; nullptr lets go of it.
    void setStatusItem(const std::shared_ptr<platform::StatusItem>& item);
    std::shared_ptr<platform::StatusItem> statusItem() const { return statusItem_.lock(); }
    // Shown (30 points wide) or taking no room.
    void setShown(bool shown);
    bool isShown() const { return width() > 0; }
    // The menu a click opens (the active alarms).
    void setAlarmMenu(std::shared_ptr<platform::Menu> menu);
    const std::shared_ptr<platform::Menu>& alarmMenu() const { return targetMenu_; }
    // When set, a click runs it instead of opening the menu.
    void setTarget(std::function<void()> action) { action_ = std::move(action); }
    StatusViewMenuDelegate* delegate() const { return delegate_; }
    void setDelegate(StatusViewMenuDelegate* delegate) { delegate_ = delegate; }

    int32_t endAngle() const { return endAngle_; }
    int32_t durationAngle() const { return durationAngle_; }
    bool isFlashing() const { return flashTimer_.isActive(); }
    bool isVisible() const { return isVisible_; }

    // Stores the end minute and the duration, capped at 60.
    void setAngleEnd(int32_t endAngle, int32_t duration);
    // Alternates the full disc and the bare icon every second on platform::Scheduler::shared().
    void startFlashing();
    // Stops, back to angle 0 and duration 0, and forgets the click target.
    void stopFlashing();
    void flash();

    void drawRect(QPainter& painter, const QRectF& bounds) override;
    void mouseDown(const platform::StatusItemMouseEvent& event) override;
    void mouseUp(const platform::StatusItemMouseEvent& event) override;

    // Told of every change of what is drawn (besides needsDisplay).
    std::function<void()> changed;

  private:
    void redraw();

    std::weak_ptr<platform::StatusItem> statusItem_;
    QImage backgroundImage_;
    std::shared_ptr<platform::Menu> targetMenu_;
    QMetaObject::Connection menuClosed_;
    std::function<void()> action_;
    int32_t endAngle_ = 0;
    int32_t durationAngle_ = 0;
    bool isVisible_ = false;
    bool flashState_ = false;
    platform::TimerHandle flashTimer_;
    StatusViewMenuDelegate* delegate_ = nullptr;
};

}  // namespace talvor
