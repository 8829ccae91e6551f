#include "MAAttachedWindow.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace talvor {
namespace {

bool arrowOnLeftEdge(int side) {
    return side == 2 || side == 6 || side == 7;
}
bool arrowOnRightEdge(int side) {
    return side == 0 || side == 4 || side == 5;
}
bool arrowOnTopEdge(int side) {
    return side == 1 || side == 10 || side == 11;
}
bool arrowOnBottomEdge(int side) {
    return side == 3 || side == 8 || side == 9;
}

}  // namespace

MAAttachedWindow::MAAttachedWindow(QWidget* view, const QPointF& point, const QWidget* attachedTo,
                                   int side, float distance, const QRectF& visible)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      view_(view),
      point_(point),
      side_(side),
      distance_(distance) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (side_ == kAutomatic || side_ < 0 || side_ > kAutomatic) {
        const QRectF keep = attachedTo != nullptr ? QRectF(attachedTo->frameGeometry()) : visible;
        side_ = bestSide(view_->size(), point_, distance_, shape_, visible, keep);
    }
    view_->setParent(this);
    updateGeometryNow();
}

float MAAttachedWindow::arrowInset(const Shape& shape) {
    return shape.arrowBaseWidth * 0.5f +
           (shape.drawsRoundCornerBesideArrow ? shape.cornerRadius : 0);
}

MAAttachedWindow::Geometry MAAttachedWindow::geometryFor(const QSizeF& view, const QPointF& p,
                                                         int side, float distance,
                                                         const Shape& shape) {
    const qreal m = shape.viewMargin;
    const qreal a = shape.arrowHeight;
    QRectF viewFrame(m, m, view.width(), view.height());
    qreal w = view.width() + 2 * m;
    qreal h = view.height() + 2 * m;
    if (arrowOnRightEdge(side)) {
        w += a;
    } else if (arrowOnLeftEdge(side)) {
        w += a;
        viewFrame.moveLeft(viewFrame.left() + a);
    } else if (arrowOnTopEdge(side)) {
        h += a;
        viewFrame.moveTop(viewFrame.top() + a);
    } else if (arrowOnBottomEdge(side)) {
        h += a;
    }
    const qreal i = arrowInset(shape);
    const qreal d = distance;
    QPointF origin;
    switch (side) {
        case 0:
            origin = {p.x() - w - d, p.y() - h / 2};
            break;
        case 4:
            origin = {p.x() - w - d, p.y() + i - h};
            break;
        case 5:
            origin = {p.x() - w - d, p.y() - i};
            break;
        case 1:
            origin = {p.x() - w / 2, p.y() + d};
            break;
        case 10:
            origin = {p.x() - (w - i), p.y() + d};
            break;
        case 11:
            origin = {p.x() - i, p.y() + d};
            break;
        case 2:
            origin = {p.x() + d, p.y() - h / 2};
            break;
        case 6:
            origin = {p.x() + d, p.y() + i - h};
            break;
        case 7:
            origin = {p.x() + d, p.y() - i};
            break;
        case 3:
            origin = {p.x() - w / 2, p.y() - d - h};
            break;
        case 8:
            origin = {p.x() - (w - i), p.y() - d - h};
            break;
        default:
            origin = {p.x() - i, p.y() - d - h};
            break;  // 9
    }
    return {QRectF(origin, QSizeF(w, h)), viewFrame};
}

int MAAttachedWindow::bestSide(const QSizeF& view, const QPointF& p, float distance,
                               const Shape& shape, const QRectF& visible, const QRectF& keep) {
    const qreal m = shape.viewMargin;
    const qreal W = view.width() + 2 * m;
    const qreal H = view.height() + 2 * m;
    const qreal A = distance + shape.arrowHeight;
    const QRectF& V = visible;
    int side = 1;
    if (p.y() + H + A <= V.bottom()) {
        side = 1;
    } else if (p.x() + W + A < V.right()) {
        side = 2;
    } else if (p.x() - W - A >= V.left()) {
        side = 0;
    } else if (p.y() - H - A > V.top()) {
        side = 3;
    }
    const QRectF& K = keep;
    const qreal i = arrowInset(shape);
    if (side == 0 || side == 2) {
        if (p.y() + H / 2 > K.bottom()) {
            if (V.top() < p.y() - H + i) {
                side = side == 0 ? 4 : 6;
            }
        } else if (p.y() - H / 2 <= K.top() && p.y() + H - i <= V.bottom()) {
            side = side == 0 ? 5 : 7;
        }
    } else {
        if (p.x() - W / 2 < K.left()) {
            if (V.right() > p.x() + W - i) {
                side = side == 1 ? 11 : 9;
            }
        } else if (p.x() + W / 2 >= K.right() && p.x() - W + i >= V.left()) {
            side = side == 1 ? 10 : 8;
        }
    }
    return side;
}

QPainterPath MAAttachedWindow::backgroundPath(const QSizeF&, const QRectF& viewFrame, int side,
                                              const Shape& shape) {
    const qreal m = shape.viewMargin;
    const QRectF R = viewFrame.adjusted(-m, -m, m, m);
    QPainterPath path;
    path.addRoundedRect(R, shape.cornerRadius, shape.cornerRadius);
    if (!shape.hasArrow) {
        return path;
    }
    const qreal b = shape.arrowBaseWidth;
    const qreal a = shape.arrowHeight;
    const qreal r = shape.drawsRoundCornerBesideArrow ? shape.cornerRadius : 0;
    QPolygonF arrow;
    const auto along = [&](QPointF base, QPointF step, QPointF out) {
        arrow << base << base + step * 0.5 + out << base + step;
    };
    switch (side) {
        case 1:
            along({R.center().x() - b / 2, R.top()}, {b, 0}, {0, -a});
            break;
        case 11:
            along({R.left() + r, R.top()}, {b, 0}, {-b / 2, -a});
            break;
        case 10:
            along({R.right() - r - b, R.top()}, {b, 0}, {b / 2, -a});
            break;
        case 3:
            along({R.center().x() - b / 2, R.bottom()}, {b, 0}, {0, a});
            break;
        case 9:
            along({R.left() + r, R.bottom()}, {b, 0}, {-b / 2, a});
            break;
        case 8:
            along({R.right() - r - b, R.bottom()}, {b, 0}, {b / 2, a});
            break;
        case 0:
            along({R.right(), R.center().y() - b / 2}, {0, b}, {a, 0});
            break;
        case 5:
            along({R.right(), R.top() + r}, {0, b}, {a, -b / 2});
            break;
        case 4:
            along({R.right(), R.bottom() - r - b}, {0, b}, {a, b / 2});
            break;
        case 2:
            along({R.left(), R.center().y() - b / 2}, {0, b}, {-a, 0});
            break;
        case 7:
            along({R.left(), R.top() + r}, {0, b}, {-a, -b / 2});
            break;
        default:
            along({R.left(), R.bottom() - r - b}, {0, b}, {-a, b / 2});
            break;  // 6
    }
    QPainterPath tip;
    tip.addPolygon(arrow);
    tip.closeSubpath();
    return path.united(tip);
}

void MAAttachedWindow::updateGeometryNow() {
    const Geometry g = geometryFor(view_->size(), point_, side_, distance_, shape_);
    viewFrame_ = g.viewFrame;
    setGeometry(g.frame.toAlignedRect());
    view_->setGeometry(viewFrame_.toAlignedRect());
    update();
}

void MAAttachedWindow::setBorderWidth(float width) {
    shape_.borderWidth = std::min(width, shape_.viewMargin);
    update();
}

void MAAttachedWindow::setViewMargin(float margin) {
    shape_.viewMargin = std::max(margin, 0.0f);
    setCornerRadius(shape_.cornerRadius);
}

void MAAttachedWindow::setArrowBaseWidth(float width) {
    const float side = static_cast<float>(std::min(view_->width(), view_->height()));
    float limit = 2 * shape_.viewMargin + side - shape_.cornerRadius;
    if (shape_.drawsRoundCornerBesideArrow) {
        limit -= shape_.cornerRadius;
    }
    shape_.arrowBaseWidth = std::min(width, limit);
    updateGeometryNow();
}

void MAAttachedWindow::setArrowHeight(float height) {
    shape_.arrowHeight = height;
    updateGeometryNow();
}

void MAAttachedWindow::setHasArrow(bool on) {
    shape_.hasArrow = on;
    update();
}

void MAAttachedWindow::setCornerRadius(float radius) {
    const float side = static_cast<float>(std::min(view_->width(), view_->height()));
    const float limit = (2 * shape_.viewMargin + side - shape_.arrowBaseWidth) * 0.5f;
    shape_.cornerRadius = std::max(0.0f, std::min(radius, limit));
    setArrowBaseWidth(shape_.arrowBaseWidth);
}

void MAAttachedWindow::setDrawsRoundCornerBesideArrow(bool on) {
    shape_.drawsRoundCornerBesideArrow = on;
    updateGeometryNow();
}

void MAAttachedWindow::setWindowBackgroundColor(const QColor& colour) {
    background_ = colour;
    update();
}

void MAAttachedWindow::setBorderColor(const QColor& colour) {
    border_ = colour;
    update();
}

void MAAttachedWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = backgroundPath(size(), viewFrame_, side_, shape_);
    painter.setClipPath(path);
    painter.fillPath(path, background_);
    if (shape_.borderWidth > 0) {
        // Twice as wide, half of it clipped away: the border lies inside the outline.
        painter.strokePath(path, QPen(border_, 2 * shape_.borderWidth));
    }
}

}  // namespace talvor
