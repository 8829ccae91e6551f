#pragma once

#include "MonthGrid.h"

#include <QFont>
#include <QRectF>
#include <QWidget>

class QToolButton;

namespace talvor {

// One month grid: the month's title between the previous- and next-month buttons, the
// weekday names, and six weeks of day cells (today ringed, the neighbours' days greyed).
class MonthGridView : public QWidget {
    Q_OBJECT
  public:
    struct Style {
        double cellWidth = 24;
        double cellHeight = 20;
        double headerHeight = 24;  // the title row with the buttons
        QFont dayFont;
        QFont titleFont;
    };
    static Style miniStyle();
    static Style bigStyle();

    explicit MonthGridView(Style style, QWidget* parent = nullptr);

    const MonthGrid& grid() const { return grid_; }
    void setGrid(MonthGrid grid);

    QToolButton* previousButton() const { return previous_; }
    QToolButton* nextButton() const { return next_; }

    // The frame of the day cell in the view.
    QRectF cellFrame(int row, int column) const;
    QSize sizeHint() const override;

  signals:
    void previousMonth();
    void nextMonth();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    static constexpr double kMargin = 6;
    double weekdayRowTop() const { return kMargin + style_.headerHeight; }

    Style style_;
    MonthGrid grid_;
    QToolButton* previous_;
    QToolButton* next_;
};

}  // namespace talvor
