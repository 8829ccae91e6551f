#include "BFPageControl.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace talvor {

BFPageControl::BFPageControl(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageControl"));
    setAttribute(Qt::WA_TranslucentBackground);
}

void BFPageControl::setNumberOfPages(int pages) {
    pages_ = std::max(0, pages);
    setCurrentPage(current_);
    updateGeometry();
    update();
}

void BFPageControl::setCurrentPage(int page) {
    current_ = pages_ == 0 ? 0 : std::clamp(page, 0, pages_ - 1);
    update();
}

void BFPageControl::setIndicatorDiameterSize(qreal diameter) {
    diameter_ = diameter;
    updateGeometry();
    update();
}

void BFPageControl::setIndicatorMargin(qreal margin) {
    margin_ = margin;
    updateGeometry();
    update();
}

QRectF BFPageControl::dotRect(int index) const {
    // One extra point below for the light edge.
    return QRectF(index * (diameter_ + margin_), 0, diameter_, diameter_);
}

QSize BFPageControl::sizeHint() const {
    const qreal width = pages_ * diameter_ + std::max(0, pages_ - 1) * margin_;
    return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(diameter_ + 2)));
}

void BFPageControl::drawDot(QPainter& painter, const QRectF& rect, bool selected, bool pressed) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF inset = rect.adjusted(2, 2, -2, -2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(inset.translated(0, 1.5));
    const int grey = pressed ? 150 : (selected ? 115 : 217);
    painter.setBrush(QColor(grey, grey, grey));
    painter.drawEllipse(inset);
    QPen ring(QColor(25, 25, 25, static_cast<int>(std::lround(0.15 * 255))));
    ring.setWidthF(1.0);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(inset.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

void BFPageControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < pages_; ++i) {
        drawDot(painter, dotRect(i), i == current_, pressed_ == i);
    }
}

std::optional<int> BFPageControl::dotAt(const QPointF& point) const {
    for (int i = 0; i < pages_; ++i) {
        if (dotRect(i).contains(point)) {
            return i;
        }
    }
    return std::nullopt;
}

void BFPageControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = dotAt(event->position());
    update();
}

void BFPageControl::mouseReleaseEvent(QMouseEvent* event) {
    const std::optional<int> pressed = std::exchange(pressed_, std::nullopt);
    update();
    if (pressed && dotAt(event->position()) == pressed) {
        setCurrentPage(*pressed);
        emit didSelectPageAtIndex(*pressed);
    }
}

}  // namespace talvor
