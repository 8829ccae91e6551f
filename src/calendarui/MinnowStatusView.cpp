#include "MinnowStatusView.h"

#include "CalWindow.h"
#include "SystemFont.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace talvor {
namespace {

// The strip's highlight of a shown item, as the date item draws it.
const QColor kShownBackground(30, 144, 255);

}  // namespace

MinnowStatusView::MinnowStatusView() {
    setWidth(30);
}

void MinnowStatusView::setWindow(AnchoredWindow* window) {
    targetWindow_ = window;
}

void MinnowStatusView::setStringValue(const QString& text) {
    displayString_ = text;
    setNeedsDisplay();
}

void MinnowStatusView::setTopString(const QString& text) {
    topString_ = text;
    sizeSelf();
}

void MinnowStatusView::setBottomString(const QString& text) {
    bottomString_ = text;
    sizeSelf();
}

void MinnowStatusView::sizeSelf() {
    const QFontMetricsF metrics(systemFont(9.0));
    const double wider =
        std::max(metrics.horizontalAdvance(topString_), metrics.horizontalAdvance(bottomString_));
    setWidth(std::trunc(wider + 30.0 + 1.0));
    setNeedsDisplay();
}

void MinnowStatusView::calculateWindowFrame(bool animate) {
    if (targetWindow_ && anchor_) {
        const auto [item, area] = anchor_();
        autoMove_ = true;
        targetWindow_->setAnchor(item, area, animate);
        autoMove_ = false;
    }
}

void MinnowStatusView::showWindow() {
    calculateWindowFrame(false);
    if (targetWindow_) {
        targetWindow_->show();
        targetWindow_->raise();
    }
    isVisible_ = true;
    setNeedsDisplay();
}

void MinnowStatusView::hideWindow() {
    if (targetWindow_) {
        targetWindow_->hide();
    }
    isVisible_ = false;
    setNeedsDisplay();
}

void MinnowStatusView::mouseDownAt(double timestamp) {
    mouseDownTime_ = timestamp;
    // Closed some other way (Escape, the date item): this press opens it again.
    if (isVisible_ && targetWindow_ && !targetWindow_->isVisible()) {
        isVisible_ = false;
    }
    if (isVisible_) {
        hideWindow();
    } else {
        showWindow();
    }
}

void MinnowStatusView::mouseUpAt(double timestamp) {
    if (isVisible_ && (mouseDownTime_ <= 0 || timestamp - mouseDownTime_ >= 0.3)) {
        hideWindow();
    }
    mouseDownTime_ = 0;
}

void MinnowStatusView::applicationSwitched(const QString& identifier, const QString& own) {
    if (identifier.isEmpty() || identifier == own || identifier == activeApp_) {
        return;
    }
    if (!activeApp_.isEmpty() && isVisible_) {
        hideWindow();
    }
    activeApp_ = identifier;
}

void MinnowStatusView::menuClicked(qint64 pid) {
    if (isVisible_ && pid >= 1 && pid != QCoreApplication::applicationPid()) {
        hideWindow();
    }
}

void MinnowStatusView::windowDidMove() {
    if (isVisible_ && !autoMove_) {
        isVisible_ = false;
        setNeedsDisplay();
    }
}

void MinnowStatusView::mouseDown(const platform::StatusItemMouseEvent& event) {
    mouseDownAt(event.timestamp);
}

void MinnowStatusView::mouseUp(const platform::StatusItemMouseEvent& event) {
    mouseUpAt(event.timestamp);
}

void MinnowStatusView::drawRect(QPainter& painter, const QRectF& bounds) {
    painter.save();
    painter.translate(bounds.topLeft());
    const double h = bounds.height();
    painter.setRenderHint(QPainter::Antialiasing);
    if (isVisible_) {
        painter.fillRect(QRectF(0, 0, bounds.width(), h), kShownBackground);
    }
    if (!backgroundImage_.isNull()) {
        painter.setCompositionMode(isVisible_ ? QPainter::CompositionMode_Xor
                                              : QPainter::CompositionMode_SourceOver);
        painter.drawImage(QPointF(0, 0), backgroundImage_);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (triangleColor_.isValid() && !isVisible_) {
        // (21.2, 4) (26, 4) (26, 8.8) measured from the bottom.
        QPainterPath triangle;
        triangle.moveTo(21.2, h - 4.0);
        triangle.lineTo(26.0, h - 4.0);
        triangle.lineTo(26.0, h - 8.8);
        triangle.closeSubpath();
        painter.fillPath(triangle, triangleColor_);
    }
    const QColor text = isVisible_ ? Qt::white : Qt::black;
    painter.setPen(text);
    const QFont dayFont = systemFont(11.0, true);
    painter.setFont(dayFont);
    const QFontMetricsF metrics(dayFont);
    const double x = 15 - std::trunc(metrics.horizontalAdvance(displayString_) / 2);
    painter.drawText(QPointF(x, h - 4.0 - metrics.descent()), displayString_);
    if (!topString_.isEmpty() || !bottomString_.isEmpty()) {
        painter.setFont(systemFont(9.0));
        const QFontMetricsF small(painter.font());
        painter.drawText(QPointF(28.0, h - 10.0 - small.descent()), topString_);
        painter.drawText(QPointF(28.0, h - 2.0 - small.descent()), bottomString_);
    }
    painter.restore();
}

}  // namespace talvor
