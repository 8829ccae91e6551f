#pragma once

#include "TypeaheadTableView.h"

#include <QColor>

#include <functional>

namespace talvor {

// A type-ahead table with delete and arrow keys, striped rows and only vertical grid lines.
// Delete keys (Delete, Backspace) with a row selected call the data-source hook; Up/Down
// select the single row above/below the selected one and beep past either end; neither
// is passed on. Other keys go to the type-ahead.
class DeletableTableView : public TypeaheadTableView {
    Q_OBJECT
  public:
    explicit DeletableTableView(QWidget* parent = nullptr);

    // The data source's hook; empty means it cannot delete.
    std::function<void(DeletableTableView* table)> deleteSelectedRowsInTableView;

    // Row stripes: this blue on even rows (counted from the top of the content), white on
    // odd ones, also below the last row.
    static QColor stripeColor();
    static QColor gridColor();
    // The row the arrows move from: the current row when selected, else the last selected.
    int selectedRow() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void highlightSelectionInClipRect(QPainter& painter, const QRect& clip);
    void drawGridInClipRect(QPainter& painter, const QRect& clip);
};

}  // namespace talvor
