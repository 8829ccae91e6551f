#include "ImageAndTextCell.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace talvor {
namespace {

const QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget != nullptr ? option.widget->style() : QApplication::style();
}

}  // namespace

QRectF ImageAndTextCell::imageFrameForCellFrame(const QRectF& cellFrame, const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QSizeF size = image.deviceIndependentSize();
    return QRectF(cellFrame.x() + kImageGap,
                  cellFrame.y() + std::ceil((cellFrame.height() - size.height()) / 2), size.width(),
                  size.height());
}

QImage ImageAndTextCell::imageForIndex(const QModelIndex& index,
                                       const QSize& decorationSize) const {
    const QVariant decoration = index.data(Qt::DecorationRole);
    switch (decoration.typeId()) {
        case QMetaType::QImage:
            return decoration.value<QImage>();
        case QMetaType::QPixmap:
            return decoration.value<QPixmap>().toImage();
        case QMetaType::QIcon:
            return decoration.value<QIcon>().pixmap(decorationSize).toImage();
        default:
            return image_;
    }
}

void ImageAndTextCell::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // The image is drawn by the cell itself.
    option->features &= ~QStyleOptionViewItem::HasDecoration;
    option->icon = QIcon();
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const QImage image = imageForIndex(index, option.decorationSize);
    if (image.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem whole = option;
    initStyleOption(&whole, index);
    whole.text.clear();
    styleOf(option)->drawPrimitive(QStyle::PE_PanelItemViewItem, &whole, painter, option.widget);

    const double sliceWidth = image.deviceIndependentSize().width() + kImageGap;
    const QRectF slice(option.rect.x(), option.rect.y(), sliceWidth, option.rect.height());
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.canConvert<QBrush>() && !background.isNull()) {
        painter->fillRect(slice, background.value<QBrush>());
    }
    painter->drawImage(imageFrameForCellFrame(option.rect, image).topLeft(), image);

    QStyleOptionViewItem text = option;
    text.rect = option.rect.adjusted(static_cast<int>(std::ceil(sliceWidth)), 0, 0, 0);
    QStyledItemDelegate::paint(painter, text, index);
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QImage image = imageForIndex(index, option.decorationSize);
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    const double extra = kImageGap + (image.isNull() ? 0 : image.deviceIndependentSize().width());
    return QSize(size.width() + static_cast<int>(std::ceil(extra)), size.height());
}

void ImageAndTextCell::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    const QImage image = imageForIndex(index, option.decorationSize);
    const double cut = kImageGap + (image.isNull() ? 0 : image.deviceIndependentSize().width());
    QStyleOptionViewItem text = option;
    text.rect = option.rect.adjusted(static_cast<int>(std::ceil(cut)), 0, 0, 0);
    QStyledItemDelegate::updateEditorGeometry(editor, text, index);
}

}  // namespace talvor
