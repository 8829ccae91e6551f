#include "BigCalendarPlacement.h"

#include "CalendarPlacement.h"
#include "CalendarWindow.h"
#include "TalvorCustomWindow.h"
#include "platform/Screens.h"

#include <QMouseEvent>

namespace talvor {

BigCalendarPlacement::BigCalendarPlacement(CalendarWindow& window, platform::UserDefaults& defaults,
                                           platform::Screens& screens)
    : window_(window), screens_(screens) {
    // The panel keeps its own frame style (the window settings choose it).
    frame_ = new TalvorCustomWindow(window, defaults, screens, TalvorCustomWindow::Style::Kept);
}

void BigCalendarPlacement::belowView(const QRectF& anchor) {
    if (frame_->hasSavedFrame()) {
        const QRectF frame(window_.geometry());
        window_.move(CalendarPlacement::keptOnScreen(frame, screens_.freeArea(frame.center()))
                         .topLeft()
                         .toPoint());
        return;
    }
    window_.hangBelow(anchor, screens_);
}

int BigCalendarPlacement::windowLayer(int choice) {
    switch (choice) {
        case 0:
            return -1;
        case 2:
            return 1;
        default:
            return 0;
    }
}

bool BigCalendarPlacement::windowType(int choice) {
    return choice != 1;
}

void BigCalendarPlacement::setLayer(int choice) {
    // The desktop layer keeps the window below the others; the other layers keep it where a
    // window opened from the menu bar belongs, above them.
    const bool below = windowLayer(choice) < 0;
    if (below == window_.windowFlags().testFlag(Qt::WindowStaysOnBottomHint)) {
        return;
    }
    Qt::WindowFlags flags = window_.windowFlags();
    flags.setFlag(Qt::WindowStaysOnBottomHint, below);
    flags.setFlag(Qt::WindowStaysOnTopHint, !below);
    if (flags != window_.windowFlags()) {
        const bool visible = window_.isVisible();
        window_.setWindowFlags(flags);
        if (visible) {
            window_.show();
        }
    }
}

void BigCalendarPlacement::zoomIn() {
    frameBeforeZoom_ = window_.geometry();
    window_.setGeometry(screens_.availableArea(QRectF(window_.geometry()).center()).toRect());
}

void BigCalendarPlacement::zoomOut() {
    if (frameBeforeZoom_) {
        window_.setGeometry(*frameBeforeZoom_);
        frameBeforeZoom_.reset();
    }
}

bool BigCalendarPlacement::dragByBackground(const QEvent& event) {
    if (event.type() == QEvent::MouseButtonPress) {
        dragFrom_ =
            static_cast<const QMouseEvent&>(event).globalPosition() - QPointF(window_.pos());
    }
    if (event.type() == QEvent::MouseMove && movableByBackground_) {
        const auto& mouse = static_cast<const QMouseEvent&>(event);
        if (mouse.buttons() & Qt::LeftButton) {
            window_.move((mouse.globalPosition() - dragFrom_).toPoint());
            return true;
        }
    }
    return false;
}

}  // namespace talvor
