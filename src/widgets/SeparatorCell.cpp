#include "SeparatorCell.h"

#include <QPainter>

namespace talvor {

QColor SeparatorCell::lineColor() {
    return QColor::fromRgbF(0.349f, 0.6f, 0.898f, 0.6f);
}

QColor SeparatorCell::shineColor() {
    return QColor::fromRgbF(0.976f, 1.0f, 1.0f, 1.0f);
}

void SeparatorCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex&) const {
    const QRectF cell = option.rect;
    const double y = cell.y() + (cell.height() - 2) / 2 + 0.5;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(lineColor(), 1.0, Qt::SolidLine, Qt::FlatCap));
    painter->drawLine(QPointF(cell.left(), y), QPointF(cell.left() + cell.width(), y));
    painter->setPen(QPen(shineColor(), 1.0, Qt::SolidLine, Qt::FlatCap));
    painter->drawLine(QPointF(cell.left(), y + 1), QPointF(cell.left() + cell.width(), y + 1));
    painter->restore();
}

QWidget* SeparatorCell::createEditor(QWidget*, const QStyleOptionViewItem&,
                                     const QModelIndex&) const {
    return nullptr;
}

}  // namespace talvor
