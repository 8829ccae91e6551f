#include "ColoredView.h"

#include "BezierExtras.h"
#include "foundation/TalvorProColor.h"

#include <QPaintEvent>
#include <QPainter>

namespace talvor {

ColoredView::ColoredView(QWidget* parent) : ShyView(parent) {}

const QColor& ColoredView::borderColor() {
    static const QColor kBorder = QColor::fromRgbF(0.8f, 0.8f, 0.8f, 1.0f);
    return kBorder;
}

void ColoredView::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    update();
}

void ColoredView::addBorderPoint(QPointF lower, QPointF upper, bool doLeft, bool doRight) {
    // The 0.2 nudges the line onto whole pixels upwards, as the original system's y-up drawing did.
    const double m = leftMargin_ - 0.2;
    const QPointF a(lower.x() + m, lower.y() - 0.2);
    const QPointF b(upper.x() + m, upper.y() - 0.2);
    QPainterPath path;
    if (doLeft) {
        path.moveTo(leftMargin_, a.y());
        path.lineTo(a.x() - 1, a.y());
        path.lineTo(a.x(), a.y() - 1);
    } else {
        path.moveTo(a);
    }
    if (doRight) {
        path.lineTo(b.x(), b.y() + 1);
        path.lineTo(b.x() + 1, b.y());
        path.lineTo(width(), b.y());
    } else {
        path.lineTo(b);
    }
    borderLines_.push_back(path);
}

void ColoredView::removeBorderLines() {
    borderLines_.clear();
    update();
}

void ColoredView::paintEvent(QPaintEvent* event) {
    QRectF dirty = event->rect();
    if (leftMargin_ > 0 && leftMargin_ > dirty.x()) {
        dirty.setLeft(leftMargin_);
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (backgroundColor_.isValid() && !dirty.isEmpty()) {
        if (cornerRadius_ > 0) {
            painter.fillPath(BezierExtras::bezierPathWithRoundRectInRect(dirty, cornerRadius_),
                             backgroundColor_);
        } else {
            painter.fillRect(dirty, backgroundColor_);
        }
    }
    QPen pen(borderColor(), 1.0);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const QPainterPath& line : borderLines_) {
        painter.drawPath(line);
    }
}

QVariantList ColoredView::encodeWithCoder() const {
    return {TalvorProColor::colorText(backgroundColor_), static_cast<double>(cornerRadius_),
            static_cast<double>(leftMargin_)};
}

bool ColoredView::initWithCoder(const QVariantList& values) {
    if (values.size() < 3 || values[0].typeId() != QMetaType::QString) {
        return false;
    }
    const QString colour = values[0].toString();
    setBackgroundColor(colour.isEmpty() ? QColor() : TalvorProColor::colorFromText(colour));
    setCornerRadius(values[1].toFloat());
    setLeftMargin(values[2].toFloat());
    return true;
}

}  // namespace talvor
