#include "StatusView.h"

#include "AlarmsKeys.h"
#include "platform/Clock.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace talvor {

QImage StatusView::clockIcon() {
    // 22 x 22 points at twice the resolution, a dial centred where the wedge is.
    QImage image(44, 44, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::black, 1.3);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    const QPointF centre(11, 11);
    p.drawEllipse(centre, 8.0, 8.0);
    p.drawLine(centre, centre + QPointF(0, -5.5));
    p.drawLine(centre, centre + QPointF(4.0, 0));
    return image;
}

StatusView::StatusView() : backgroundImage_(clockIcon()) {}

StatusView::~StatusView() {
    QObject::disconnect(menuClosed_);
}

void StatusView::setStatusItem(const std::shared_ptr<platform::StatusItem>& item) {
    statusItem_ = item;
}

void StatusView::setShown(bool shown) {
    setWidth(shown ? kWidth : 0);
}

void StatusView::setAlarmMenu(std::shared_ptr<platform::Menu> menu) {
    QObject::disconnect(menuClosed_);
    targetMenu_ = std::move(menu);
    if (targetMenu_) {
        menuClosed_ = QObject::connect(targetMenu_.get(), &platform::Menu::didClose, this, [this] {
            isVisible_ = false;
            redraw();
        });
    }
}

void StatusView::setAngleEnd(int32_t endAngle, int32_t duration) {
    duration = std::min(duration, 60);
    if (endAngle == endAngle_ && duration == durationAngle_) {
        return;
    }
    endAngle_ = endAngle;
    durationAngle_ = duration;
    redraw();
}

void StatusView::redraw() {
    setNeedsDisplay();
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
    action_ = nullptr;
    setAngleEnd(0, 0);
}

void StatusView::flash() {
    setAngleEnd(0, flashState_ ? 60 : 0);
    flashState_ = !flashState_;
}

void StatusView::drawRect(QPainter& painter, const QRectF& bounds) {
    if (bounds.width() <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (isVisible_) {
        painter.fillRect(bounds, QColor(0x3d, 0x7e, 0xdb));
    }
    // The bar is taller than the icon's 22 points: centre it.
    const double top = std::floor((bounds.height() - 22.0) / 2.0);
    QImage icon = backgroundImage_;
    if (isVisible_) {
        icon.invertPixels(QImage::InvertRgb);
    }
    painter.drawImage(QPointF(bounds.left() + 4, bounds.top() + top), icon);
    if (durationAngle_ >= 1) {
        // Degrees counter-clockwise from three o'clock, as the dial is read: one minute is
        // 6 degrees, with 2 degrees more on each side.
        const double start = 88.0 - 6.0 * endAngle_;
        const double end = 92.0 - 6.0 * endAngle_ + 6.0 * durationAngle_;
        const QPointF centre(bounds.left() + 15, bounds.top() + top + 11);
        const double r = 6.1;
        QPainterPath wedge(centre);
        wedge.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), start, end - start);
        wedge.closeSubpath();
        QColor fill = isVisible_ ? QColor(255, 255, 255) : QColor(0, 0, 0);
        fill.setAlphaF(0.66);
        painter.fillPath(wedge, fill);
    }
    painter.restore();
}

void StatusView::mouseDown(const platform::StatusItemMouseEvent& event) {
    if (event.button != Qt::LeftButton || action_) {
        return;
    }
    isVisible_ = true;
    redraw();
    // The menu is rebuilt before it opens.
    platform::NotificationCenter::defaultCenter().post(keys::ZephyrelMainMenuWillAppear);
    if (auto item = statusItem_.lock(); item && targetMenu_) {
        item->popUpStatusItemMenu(targetMenu_);
    }
    if (delegate_ != nullptr) {
        delegate_->menuClicked();
    }
}

void StatusView::mouseUp(const platform::StatusItemMouseEvent& event) {
    if (event.button != Qt::LeftButton) {
        return;
    }
    if (!targetMenu_ || !targetMenu_->isOpen()) {
        isVisible_ = false;
        redraw();
    }
    if (action_) {
        auto action = action_;
        action();
    }
}

}  // namespace talvor
