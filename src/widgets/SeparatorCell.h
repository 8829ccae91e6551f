#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace talvor {

// Draws a two-tone separator line across the cell (blue over a near-white line), no text;
// such cells cannot be edited.
class SeparatorCell : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit SeparatorCell(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    static QColor lineColor();
    static QColor shineColor();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

}  // namespace talvor
