#pragma once

#include "MonthGridParts.h"
#include "calendar/myCalSettings.h"

#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <optional>

class QMimeData;
class QPainter;

namespace talvor {

namespace platform {
class Clock;
}

// The widget side both month-grid views have alike: their settings, the shown month, colours,
// fonts, the picked day, drops, tool tips and focus. Each view draws its months its own way.
class MonthViewBase : public QWidget {
    Q_OBJECT
  public:
    ~MonthViewBase() override;

    // The clock that says what today is (the shared one unless set; not owned).
    void setClock(const platform::Clock* clock) { clock_ = clock; }

    myCalSettings& calSettings() { return *calSettings_; }
    const myCalSettings& calSettings() const { return *calSettings_; }

    // Navigation.
    void nextMonth();
    void prevMonth();
    void SetoCurDate(const QDate& date);
    const QDate& oCurDate() const { return oCurDate_; }
    // Noon of the picked day, else of oCurDate.
    QDateTime dateValue() const;

    // Colours: initColors at creation, the preferences only when one is found missing.
    using Colors = MonthColors;
    const Colors& colors() const { return colors_; }
    void initColors();
    void ReadCalColors();

    // Fonts.
    void setCalDayOfWeekFont(const QFont& font);
    void setCalYearFont(const QFont& font);
    void setCalLabelFont(const QFont& font) { fonts_.label = font; }
    void LoadYearMonthFont();
    void LoadDayOfWeekFont();
    void LoadLabelFont();
    // The working point size of the day numbers (after scaling and fitting).
    float fontSize() const { return fonts_.daySize; }
    // Shrinks the working day font so that "00" fits a day cell of a month drawn in `rect`.
    void preCalFontSize(const QRectF& rect);

    // The picked day: a click at `point`, its day found at once by a draw off screen.
    virtual void SetLastClick(const QPointF& point);
    int GetDayClicked() const { return selection_.day; }
    int GetDayOfYearClicked() const { return selection_.dayOfYear; }
    int GetMonthClicked() const { return selection_.month; }
    int GetYearClicked() const { return selection_.year; }
    int GetWeekClicked() const { return selection_.week; }
    void SetWeekClicked(int week) { selection_.week = week; }

    static QString printJobTitle() { return myCalSettings::printJobTitle(); }

    // A drop: false for a calendar (its days are loaded) and for what is no picture; true when
    // a picture, folder or address was taken (kept under "CalBGImagePath").
    bool performDragOperation(const QMimeData& mime);
    void setDragging(bool on);
    bool isDragging() const { return dragging_; }

    // Picture fitting for scale types 1 (shrink only), 3 (by width), 4 (by height).
    static QRectF myAdjustRect(const QRectF& src, const QRectF& dst, int type) {
        return MonthGridPainter::myAdjustRect(src, dst, type);
    }

    // Draws the months into `target` of the painter's device; `toScreen` draws the selection.
    virtual void drawMonths(QPainter& painter, const QRectF& target, bool toScreen) = 0;

    // What the last draw laid out, for tests and the tool tips.
    using DrawnDay = talvor::DrawnDay;
    using DrawnMonth = talvor::DrawnMonth;
    const QList<DrawnMonth>& drawnMonths() const { return drawnMonths_; }
    std::optional<QString> toolTipAt(const QPointF& point) const;

  protected:
    // Loads every font but the day font, whose rules are the view's own.
    MonthViewBase(Qt::FocusPolicy focus, QWidget* parent);

    // What else the view sets when its colours start over.
    virtual void initOwnColors() {}
    // The view's own points of the month style, set before each use of the painter.
    virtual void updateStyle(MonthStyle& style) = 0;
    // Told after each drop whether it was taken.
    virtual void afterDrop(bool /*taken*/) {}

    // The shared month drawing over this view's state.
    MonthGridPainter painter();
    QDate today() const;
    // A colour the months cannot do without is missing: the preferences' colours instead.
    void ensureColors();

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    std::unique_ptr<myCalSettings> calSettings_;
    const platform::Clock* clock_ = nullptr;
    bool dragging_ = false;
    MonthSelection selection_;
    QDate oCurDate_;
    ToolTipRegions regionList_;
    MonthFonts fonts_;
    MonthStyle style_;
    Colors colors_;
    QList<DrawnMonth> drawnMonths_;
};

}  // namespace talvor
