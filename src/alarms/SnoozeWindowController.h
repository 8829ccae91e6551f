#pragma once

#include "Alarm.h"

#include <QPointer>
#include <QRectF>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;

namespace talvor {

class SnoozeWindowController;

// Told which button of a snooze window was pressed. The delegate may close and destroy the
// controller while it is told.
class SnoozeWindowControllerDelegate {
  public:
    virtual ~SnoozeWindowControllerDelegate() = default;
    virtual void snoozeWindowDidSnooze(SnoozeWindowController& controller) = 0;
    virtual void snoozeWindowDidClear(SnoozeWindowController& controller) = 0;
};

// The small window of a ringing alarm: its due weekday and time, its title, and the Snooze
// and Clear buttons. Closing the window from the window manager snoozes, so that a ringing
// alarm never goes on without a window. Main thread only.
class SnoozeWindowController {
  public:
    // initWithAlarm: keeps the alarm only; the window is built by showCloseTo or window().
    explicit SnoozeWindowController(std::shared_ptr<Alarm> alarm = nullptr);
    ~SnoozeWindowController();
    SnoozeWindowController(const SnoozeWindowController&) = delete;
    SnoozeWindowController& operator=(const SnoozeWindowController&) = delete;

    // Opens the window non-modally with its top-left corner at the bottom-left corner of
    // `itemFrame` (the alarm item on the screen; empty: the top-right of the primary screen),
    // moved left as far as it must to stay on the screen, and brings it to the front.
    static std::unique_ptr<SnoozeWindowController> showCloseTo(
        const QRectF& itemFrame, SnoozeWindowControllerDelegate* delegate,
        std::shared_ptr<Alarm> alarm);

    // The time label shows the due time as formatTime text, the title label the title.
    void setAlarm(std::shared_ptr<Alarm> alarm);
    const std::shared_ptr<Alarm>& windowAlarm() const { return windowAlarm_; }

    void snoozeButtonPressed();
    void clearButtonPressed();
    // Hides the window; it is deleted with the controller.
    void close();
    // Brings the window to the front.
    void showWindow();

    QWidget* window();
    QLabel* timeLabel();
    QLabel* titleLabel();
    QPushButton* snoozeButton();
    QPushButton* clearButton();

    SnoozeWindowControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(SnoozeWindowControllerDelegate* delegate) { delegate_ = delegate; }

  private:
    class Window;
    void build();

    std::shared_ptr<Alarm> windowAlarm_;
    QPointer<Window> window_;
    QLabel* timeLabel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QPushButton* snoozeButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    SnoozeWindowControllerDelegate* delegate_ = nullptr;
};

}  // namespace talvor
