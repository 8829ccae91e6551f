#pragma once

#include "calendar/CalMonth.h"
#include "widgets/CalFieldCell.h"
#include "widgets/ColoredView.h"

#include <QRectF>
#include <QString>

#include <vector>

namespace talvor {

// One month of the mini calendar: the month's name and year, a row of weekday initials and
// the day cells, with an optional week-number column on the left. Neighbouring months' days
// are greyed and take no clicks; days with events carry them (drawn as bands and dots) and
// a tool tip of their titles; today is ringed. A click on a day posts
// "DaySelectedNotitifcation" (object: the month, user info "SelectedDay").
class CalMonthView : public ColoredView {
    Q_OBJECT
  public:
    explicit CalMonthView(QWidget* parent = nullptr);

    const CalMonthPtr& currMonth() const { return currMonth_; }
    void setMonth(CalMonthPtr month);

    void updateEvents();
    void updateToday();
    bool hasDate(Date date) const;
    void highlightEvents();
    void unhighlightAllEvents();
    // Marks where the months of another calendar system begin (a stepped line).
    void setAuxCalendar(const Calendar& calendar);

    float titleFontSize() const { return titleFontSize_; }
    float numberFontSize() const { return numberFontSize_; }
    bool showsWeekNum() const { return showsWeekNum_; }
    // Take effect at the next rebuild.
    void setTitleFontSize(float size) { titleFontSize_ = size; }
    void setNumberFontSize(float size) { numberFontSize_ = size; }
    void setShowsWeekNum(bool on) { showsWeekNum_ = on; }
    void rebuildMatrix();

    // What a day shows: its tool tip, its frame in the view (none for a day not in the
    // month), its events.
    QString toolTipForDay(int32_t day) const;
    std::optional<QRectF> frameOfDay(int32_t day) const;
    const CalFieldCell* cellOfDay(int32_t day) const;
    QString titleText() const { return title_; }
    // The week numbers shown, row by row (empty without the column).
    std::vector<int32_t> weekNumbers() const;
    // The column of week numbers (0 without it).
    double leftMarginWidth() const { return margin_; }

    // The day of the cell under `point`, or none (header, title, neighbours' days).
    std::optional<int32_t> dayAt(QPointF point) const;

    QSize sizeHint() const override { return size_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Cell {
        int32_t day = 0;
        bool inMonth = false;
        CalFieldCell cell;
        QString toolTip;
    };
    QRectF cellRect(int row, int col) const;  // row 0: the weekday header
    Cell* cellForDay(int32_t day);
    const Cell* cellForDay(int32_t day) const;
    void editDate(int row, int col);

    CalMonthPtr currMonth_;
    float titleFontSize_ = 12.0f;
    float numberFontSize_ = 11.0f;
    bool showsWeekNum_ = false;
    QStringList header_;
    std::vector<Cell> cells_;  // month rows x 7
    std::vector<int32_t> weekNums_;
    QString title_;
    QSizeF cellSize_;
    double margin_ = 0;
    double titleHeight_ = 0;
    QSize size_;
};

}  // namespace talvor
