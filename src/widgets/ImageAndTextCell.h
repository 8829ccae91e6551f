#pragma once

#include <QImage>
#include <QStyledItemDelegate>

namespace talvor {

// Draws an item view's cells as text with a leading image 3 points in: the item's
// decoration (a QImage, QPixmap or QIcon), else the cell's own image. Editing happens in
// the text part only.
class ImageAndTextCell : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr double kImageGap = 3.0;

    explicit ImageAndTextCell(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    const QImage& image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }

    // The image's place in a cell: 3 points in, centred vertically (rounded down the
    // cell); empty without an image.
    static QRectF imageFrameForCellFrame(const QRectF& cellFrame, const QImage& image);
    // The image drawn for the item.
    QImage imageForIndex(const QModelIndex& index, const QSize& decorationSize) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    QImage image_;
};

}  // namespace talvor
