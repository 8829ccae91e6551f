#include "ColorWellCell.h"

#include "BezierExtras.h"
#include "NamedColors.h"
#include "RenderDot.h"

#include <QPainter>

namespace talvor {

QRectF ColorWellCell::swatchRect(const QRectF& frame) {
    return QRectF(frame.toAlignedRect()).adjusted(2, 2, -2, -2 - 1);
}

void ColorWellCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame) const {
    const bool on = highlighted_ || state_;
    QColor swatchColor;
    qint64 dot = 0;
    if (objectValue_.typeId() == QMetaType::QColor) {
        swatchColor = objectValue_.value<QColor>();
    } else {
        swatchColor = on ? NamedColors::darkGrayColor() : NamedColors::grayColor();
        dot = objectValue_.toLongLong();
        if (dot > kDotColorCount) {
            dot = 0;  // no such colour; also keeps the index from wrapping below
        }
    }
    const QRectF swatch = swatchRect(frame);
    const QPainterPath path =
        BezierExtras::bezierPathWithRoundRectInRect(swatch, useBigDot_ ? 3.5f : 2.5f);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (on) {
        if (useSquareHighlight_) {
            const QRectF box = QRectF(frame.toAlignedRect()).adjusted(0, 0, 0, -1);
            painter.fillRect(box, NamedColors::lightGrayColor());
            painter.setPen(QPen(NamedColors::grayColor(), 1.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
            painter.fillRect(box.adjusted(1, 2, -1, -2), Qt::white);
            painter.fillRect(box.adjusted(2, 1, -2, -1), Qt::white);
        } else {
            painter.strokePath(path, QPen(Qt::white, 2.5));
        }
    }
    if (enabled_) {
        painter.fillPath(path, swatchColor);
        if (dot > 0) {
            const QPointF mid = swatch.center();
            if (useBigDot_) {
                renderBigDot(painter, static_cast<int>(dot), static_cast<float>(mid.x() - 5.0),
                             static_cast<float>(mid.y() + 5.0));
            } else {
                renderDot(painter, static_cast<std::uint32_t>(dot), true,
                          static_cast<float>(mid.x() - 2.5), static_cast<float>(mid.y() + 2.5));
            }
        }
    } else {
        painter.strokePath(path, QPen(NamedColors::lightGrayColor(), 2.0));
    }
    painter.restore();
}

void ColorWellCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    ColorWellCell cell = prototype_;
    cell.setObjectValue(index.data(Qt::DisplayRole));
    cell.setHighlighted((option.state & QStyle::State_Selected) != 0);
    cell.setEnabled((option.state & QStyle::State_Enabled) != 0);
    cell.drawInteriorWithFrame(*painter, option.rect);
}

}  // namespace talvor
