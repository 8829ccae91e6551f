#pragma once

#include <QColor>
#include <QRectF>
#include <QStyledItemDelegate>
#include <QVariant>

class QPainter;

namespace talvor {

// A colour swatch: the object value is a colour (a swatch of that colour), or a number
// (a grey swatch carrying the dot of that colour index, see RenderDot.h).
class ColorWellCell {
  public:
    ColorWellCell() = default;

    const QVariant& objectValue() const { return objectValue_; }
    void setObjectValue(const QVariant& value) { objectValue_ = value; }
    bool useSquareHighlight() const { return useSquareHighlight_; }
    void setUseSquareHighlight(bool on) { useSquareHighlight_ = on; }
    bool useBigDot() const { return useBigDot_; }
    void setUseBigDot(bool on) { useBigDot_ = on; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on) { highlighted_ = on; }
    bool state() const { return state_; }
    void setState(bool on) { state_ = on; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }

    // The swatch within `frame`: the frame made integral, inset 2, one point shorter.
    static QRectF swatchRect(const QRectF& frame);
    void drawInteriorWithFrame(QPainter& painter, const QRectF& frame) const;

  private:
    QVariant objectValue_{QColor(Qt::black)};
    bool useSquareHighlight_ = false;
    bool useBigDot_ = false;
    bool highlighted_ = false;
    bool state_ = false;
    bool enabled_ = true;
};

// Draws an item view's cells as colour wells: the display value is the object value, a
// selected row is "on", a disabled item is disabled.
class ColorWellCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit ColorWellCellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    ColorWellCell& prototype() { return prototype_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    ColorWellCell prototype_;
};

}  // namespace talvor
