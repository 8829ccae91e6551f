#pragma once

#include "MonthGridParts.h"
#include "calendar/myCalSettings.h"

#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;

namespace talvor {

namespace platform {
class Clock;
}

// The month grids of the date menu's calendar: cntH months across and cntV down, each a titled
// grid of weeks over its picture, with week numbers, today, the weekend, the selected day,
// special days and birthdays marked. Takes clicks (select a day; a double click opens the
// calendar application) and drops of pictures, picture folders, picture addresses, calendar
// files and web calendars. Colours and fonts come from its controller or the preferences.
class myCalProView : public QWidget {
    Q_OBJECT
  public:
    explicit myCalProView(QWidget* parent = nullptr);
    ~myCalProView() override;

    // The clock that says what today is (the shared one unless set; not owned).
    void setClock(const platform::Clock* clock) { clock_ = clock; }

    myCalSettings& calSettings() { return *calSettings_; }
    const myCalSettings& calSettings() const { return *calSettings_; }

    // What a click or a double click sends (the controller's toggleWindow:).
    using Action = std::function<void(myCalProView&)>;
    void setAction(Action action) { action_ = std::move(action); }

    // Navigation.
    void Today();
    void nextMonth();
    void prevMonth();
    void prevDay();
    void nextDay();
    void SetoCurDate(const QDate& date);
    const QDate& oCurDate() const { return oCurDate_; }
    // Noon of the picked day, else of oCurDate.
    QDateTime dateValue() const;

    // Colours.
    using Colors = MonthColors;
    const Colors& colors() const { return colors_; }
    void initColors();
    void ReadCalColors();
    void setCalColorBG(const QColor& c);
    void setCalColorBorder(const QColor& c);
    void setCalColorRow(const QColor& c);
    // Weekdays and weekend in this colour, today red.
    void setCalColorDay(const QColor& c);
    void setCalColorDayOfWeek(const QColor& c);
    void setCalColorMonth(const QColor& c);
    void setCalColorToday(const QColor& c);
    void setCalColorSelectedDay(const QColor& c);
    void setCalColorWeekend(const QColor& c);
    // 1-9: left, centre, right (by threes) at the top, middle, bottom; other: centre bottom.
    void setCalDayNoLocation(int location);
    int dayNoLocation() const { return dayNoLocation_; }
    // Full month names in the titles (else short ones).
    void setLongMonthNames(bool on);
    // A double click opens the desktop's calendar application unless this is off.
    void setDoubleClickOpensCalendar(bool on) { doubleClickOpensCalendar_ = on; }

    // Fonts.
    void setCalDayOfWeekFont(const QFont& font);
    const QFont& getCalDayOfWeekFont() const { return fonts_.dayOfWeek; }
    void setCalLabelFont(const QFont& font) { fonts_.label = font; }
    void setCalYearFont(const QFont& font);
    const QFont& getCalYearFont() const { return fonts_.year; }
    void setCalDayFont(const QFont& font);
    const QFont& getCalDayFont() const { return fonts_.day; }
    void LoadYearMonthFont();
    void LoadDayOfWeekFont();
    void LoadLabelFont();
    // The day font from the preferences, its working size scaled for many months.
    void LoadDayFont();
    // The working size of the day font again from its own size, scaled for many months.
    void scaleDayFontForMonths();
    // The working point size of the day numbers (after scaling and fitting).
    float fontSize() const { return fonts_.daySize; }
    // Shrinks the working day font so that "00" fits a day cell of a month drawn in `rect`.
    void preCalFontSize(const QRectF& rect);
    const QFont& dayFontInUse() const { return fonts_.dayInUse; }

    // The picked day.
    void SetLastClick(const QPointF& point);
    int GetDayClicked() const { return selection_.day; }
    int GetDayOfYearClicked() const { return selection_.dayOfYear; }
    int GetMonthClicked() const { return selection_.month; }
    int GetYearClicked() const { return selection_.year; }
    int GetWeekClicked() const { return selection_.week; }
    void SetWeekClicked(int week) { selection_.week = week; }

    static QString printJobTitle() { return myCalSettings::printJobTitle(); }

    // A drop: true when a picture was taken (its path kept under "CalBGImagePath").
    bool performDragOperation(const QMimeData& mime);
    bool isDragging() const { return dragging_; }

    // Picture fitting for scale types 1 (shrink only), 3 (by width), 4 (by height).
    static QRectF myAdjustRect(const QRectF& src, const QRectF& dst, int type);

    // Draws the months into `target` of the painter's device; `toScreen` draws the selection.
    void drawMonths(QPainter& painter, const QRectF& target, bool toScreen);

    // What the last draw laid out, for tests and the tool tips.
    using DrawnDay = talvor::DrawnDay;
    using DrawnMonth = talvor::DrawnMonth;
    const QList<DrawnMonth>& drawnMonths() const { return drawnMonths_; }
    std::optional<QString> toolTipAt(const QPointF& point) const;

    // The small pictures of the day cells, drawn in code.
    static QImage infoBadge(int side);
    static QImage birthdayBadge(int side);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void drawCalRect(QPainter& painter, const QRectF& rect, bool showTitle, const QImage& image,
                     bool toScreen);
    // The shared month drawing over this view's state.
    MonthGridPainter painter();
    QDate today() const;
    void redrawSelection();

    std::unique_ptr<myCalSettings> calSettings_;
    const platform::Clock* clock_ = nullptr;
    bool dragging_ = false;
    MonthSelection selection_;
    QDate oCurDate_;
    QDate curDayDate_;
    bool dayRectFlag_ = false;
    ToolTipRegions regionList_;
    MonthFonts fonts_;
    MonthStyle style_;
    Colors colors_;
    int dayNoLocation_ = 0;
    bool longMonthNames_ = false;
    bool doubleClickOpensCalendar_ = true;
    Action action_;
    QList<DrawnMonth> drawnMonths_;
};

}  // namespace talvor
