#pragma once

#include "MonthViewBase.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>

#include <functional>

namespace talvor {

// The month grids of the date menu's calendar: cntH months across and cntV down, each a titled
// grid of weeks over its picture, with week numbers, today, the weekend, the selected day,
// special days and birthdays marked. Takes clicks (select a day; a double click opens the
// calendar application) and drops of pictures, picture folders, picture addresses, calendar
// files and web calendars. Colours and fonts come from its controller or the preferences.
class myCalProView : public MonthViewBase {
    Q_OBJECT
  public:
    explicit myCalProView(QWidget* parent = nullptr);
    ~myCalProView() override;

    // What a click or a double click sends (the controller's toggleWindow:).
    using Action = std::function<void(myCalProView&)>;
    void setAction(Action action) { action_ = std::move(action); }

    // Navigation.
    void Today();
    void prevDay();
    void nextDay();

    // Colours.
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
    const QFont& getCalDayOfWeekFont() const { return fonts_.dayOfWeek; }
    const QFont& getCalYearFont() const { return fonts_.year; }
    void setCalDayFont(const QFont& font);
    const QFont& getCalDayFont() const { return fonts_.day; }
    // The day font from the preferences, its working size scaled for many months.
    void LoadDayFont();
    // The working size of the day font again from its own size, scaled for many months.
    void scaleDayFontForMonths();
    const QFont& dayFontInUse() const { return fonts_.dayInUse; }

    // A click also drops the day picked by the keyboard.
    void SetLastClick(const QPointF& point) override;

    // Draws the months into `target` of the painter's device; `toScreen` draws the selection.
    void drawMonths(QPainter& painter, const QRectF& target, bool toScreen) override;

    // The small pictures of the day cells, drawn in code.
    static QImage infoBadge(int side);
    static QImage birthdayBadge(int side);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void initOwnColors() override;
    void updateStyle(MonthStyle& style) override;

  private:
    void drawCalRect(QPainter& painter, const QRectF& rect, bool showTitle, const QImage& image,
                     bool toScreen);

    QDate curDayDate_;
    bool dayRectFlag_ = false;
    int dayNoLocation_ = 0;
    bool longMonthNames_ = false;
    bool doubleClickOpensCalendar_ = true;
    Action action_;
};

}  // namespace talvor
