#include "CalFieldCell.h"

#include "BezierExtras.h"
#include "NamedColors.h"
#include "RenderDot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace talvor {
namespace {

constexpr double kBandWidth = 7.0;
constexpr float kRadius = 4.5f;

int truncated(double v) {
    return static_cast<int>(v);
}

}  // namespace

CalFieldCellPlan planCalFieldCell(const std::vector<DayEventMark>& events,
                                  const CalFieldCellState& state) {
    CalFieldCellPlan plan;
    plan.ring = state.bordered;
    plan.pressed = state.highlighted && state.hasTarget;
    if (plan.pressed) {
        plan.fillColor = NamedColors::lightGrayColor();
    }
    int hidden = 0;
    for (const DayEventMark& day : events) {
        const int t = day.highlightType;
        if (t == -1) {
            plan.ring = true;
            continue;
        }
        if (day.hasGadget) {
            continue;
        }
        if (t <= 0) {
            if (!plan.fillColor) {
                plan.fillColor = day.displayColor;
            } else {
                ++hidden;
            }
            if (!plan.leftBandColor && !day.isFirst) {
                plan.leftBandColor = day.displayColor;
            }
            if (!plan.rightBandColor && !day.isLast) {
                plan.rightBandColor = day.displayColor;
            }
        } else if (plan.dot1 == 0) {
            plan.dot1 = t;
        } else if (t == plan.dot1 || plan.dot2 != 0) {
            ++hidden;
        } else {
            plan.dot2 = t;
        }
    }

    const QRectF r = QRectF(state.frame.toAlignedRect()).adjusted(0, 1, 0, -1);
    if (plan.leftBandColor) {
        plan.leftBand = QRectF(r.x(), r.y(), kBandWidth, r.height());
    }
    if (plan.rightBandColor) {
        plan.rightBand = QRectF(r.right() - kBandWidth, r.y(), kBandWidth, r.height());
    }
    plan.hiddenEvents = plan.ring || plan.pressed ? 0 : hidden;

    plan.titleColor = !state.enabled   ? NamedColors::grayColor()
                      : plan.fillColor ? QColor(Qt::white)
                                       : QColor(Qt::black);
    const QRectF& f = state.frame;
    plan.titleOrigin = QPointF(truncated(f.center().x() - state.titleSize.width() / 2),
                               truncated(f.center().y() - state.titleSize.height() / 2));
    plan.dotOffset = plan.dot1 == 0 ? 0 : truncated(plan.titleOrigin.x() - f.x() - 4.0);

    if (plan.fillColor) {
        plan.fillRect = r.adjusted(0, 0, -1, 0);
        if (plan.dot1 == 0 || plan.dotOffset <= 0) {
            plan.fillRect.adjust(1, 0, 0, 0);
        }
        plan.roundLowerRight = plan.hiddenEvents == 0;
    }

    if (!plan.pressed) {
        if (plan.ring) {
            plan.showRing = true;
            plan.ringRect = r.adjusted(1, 0, -1, 0);
            plan.ringColor = plan.fillColor ? QColor(Qt::black) : NamedColors::darkGrayColor();
        } else {
            plan.showTriangle = plan.hiddenEvents > 0 && plan.fillColor.has_value();
            plan.trianglePoint = QPointF(r.right() - 6, r.bottom() + 1);
            plan.showDots = true;
            plan.dot1Point = QPointF(r.x() + plan.dotOffset, r.y() + 6.0);
            plan.dot2Point = QPointF(r.x() + plan.dotOffset, r.bottom() - 1.0);
            plan.dotsOnFill = plan.fillColor.has_value();
        }
    }
    return plan;
}

CalFieldCellPlan CalFieldCell::planForFrame(const QRectF& frame) const {
    const QFontMetricsF metrics(font_);
    CalFieldCellState state;
    state.frame = frame;
    state.titleSize = QSizeF(metrics.horizontalAdvance(title_), metrics.height());
    state.bordered = bordered_;
    state.highlighted = highlighted_;
    state.hasTarget = hasTarget_;
    state.enabled = enabled_;
    return planCalFieldCell(representedEvents_, state);
}

void CalFieldCell::drawWithFrame(QPainter& painter, const QRectF& frame) const {
    const CalFieldCellPlan plan = planForFrame(frame);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (plan.leftBandColor) {
        painter.fillRect(plan.leftBand, *plan.leftBandColor);
    }
    if (plan.rightBandColor) {
        painter.fillRect(plan.rightBand, *plan.rightBandColor);
    }
    if (plan.fillColor) {
        painter.fillPath(BezierExtras::bezierPathWithRoundRectInRect(
                             plan.fillRect, kRadius, true, true, true, plan.roundLowerRight),
                         *plan.fillColor);
    }
    painter.setFont(font_);
    painter.setPen(plan.titleColor);
    painter.drawText(plan.titleOrigin + QPointF(0, QFontMetricsF(font_).ascent()), title_);
    if (plan.showRing) {
        painter.setPen(QPen(plan.ringColor, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(BezierExtras::bezierPathWithRoundRectInRect(plan.ringRect, kRadius));
    }
    if (plan.showTriangle) {
        const QImage& triangle = triangleImage();
        const QSizeF size = triangle.deviceIndependentSize();
        painter.drawImage(QPointF(std::trunc(plan.trianglePoint.x()),
                                  std::trunc(plan.trianglePoint.y()) - size.height()),
                          triangle);
    }
    if (plan.showDots) {
        if (plan.dot1 > 0) {
            renderDot(painter, static_cast<std::uint32_t>(plan.dot1), plan.dotsOnFill,
                      static_cast<float>(plan.dot1Point.x()),
                      static_cast<float>(plan.dot1Point.y()));
        }
        if (plan.dot2 > 0) {
            renderDot(painter, static_cast<std::uint32_t>(plan.dot2), plan.dotsOnFill,
                      static_cast<float>(plan.dot2Point.x()),
                      static_cast<float>(plan.dot2Point.y()));
        }
    }
    painter.restore();
}

QSizeF CalFieldCell::cellSize() const {
    const QFontMetricsF metrics(font_);
    return QSizeF(metrics.horizontalAdvance(title_) + 12.0, metrics.height() + 4.0 + 1.0);
}

const QImage& CalFieldCell::triangleImage() {
    static const QImage image = [] {
        constexpr qreal scale = 4.0;
        QImage img(QSize(6, 6) * scale, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        // A turned-down corner inside the picture's top-left 5 x 5, meeting the swatch's
        // square corner (the picture sticks out one point right and below).
        QPainterPath corner;
        corner.moveTo(0.5, 5);
        corner.lineTo(5, 5);
        corner.lineTo(5, 0.5);
        corner.closeSubpath();
        p.fillPath(corner, QColor(255, 255, 255, 230));
        p.end();
        img.setDevicePixelRatio(scale);
        return img;
    }();
    return image;
}

}  // namespace talvor
