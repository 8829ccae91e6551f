#pragma once

#include "calendar/myCalSettings.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPair>
#include <QPointF>
#include <QRectF>
#include <QStringList>

#include <optional>

class QMimeData;
class QPainter;
class QWidget;

namespace talvor {

// What the two month-grid views (the date menu's months and the single month grid) share:
// one month drawn into a rectangle, a picture cell, the day font fitted to the cells, the
// picture fit, and what a drop of a picture or a calendar does to the settings.

struct MonthColors {
    QColor grid, days, weekend, weekNo, background, today, selectedDay, dayOfWeek, month, border;

    // The colours a month view starts with; `border` is left as it is.
    void setFirstDefaults();
    // The colours of the settings ("CalColorGrid", "CalColorDay", ...), with their own
    // defaults; `border` is left as it is.
    void readFromDefaults();
};

// The day font is shrunk to the cells while drawing: `dayInUse` at `daySize` is what is drawn.
struct MonthFonts {
    QFont weekNo, day, dayInUse, dayOfWeek, year, label;
    float daySize = 11;
    float titleSize = 18;
    float dayOfWeekSize = 11;

    void setYear(const QFont& font);
    void setDayOfWeek(const QFont& font);
    // The day font for a grid of `months` months: 0.7 of its size for seven or more, 0.8 for
    // five or six, never below 6 points; the week numbers at 0.75 of that.
    void setDay(const QFont& font, int months);
    // From the settings ("CalYearFont" 18, "CalDayOfWeekFont" 11, "CalLabelFont" 9 points,
    // Helvetica); a font that cannot be made keeps the one there is.
    void loadYear();
    void loadDayOfWeek();
    void loadLabel();
    // "CalDayFont" (Helvetica 11), if it can be made.
    static std::optional<QFont> loadDayFont();
};

// The text of the first tool-tip rectangle holding `point`.
std::optional<QString> toolTipIn(const QList<QPair<QRectF, QString>>& regions,
                                 const QPointF& point);

// The last click and the day found under it by the last draw.
struct MonthSelection {
    QPointF p{-1, -1};
    int day = -1;
    int dayOfYear = -1;
    int month = -1;
    int year = -1;
    int week = -1;
};

// What a draw laid out, for tests and the tool tips.
struct DrawnDay {
    QDate date;
    QRectF cell;
};
struct DrawnMonth {
    QDate first;
    QRectF rect;
    QList<DrawnDay> days;
    QList<int> weekNumbers;       // one per row, top first
    QList<QDate> auxMonthStarts;  // the days a month of the second calendar begins
    QStringList weekdayNames;     // the header, first column first
    QRectF topFreeSpace, bottomFreeSpace;
};

using ToolTipRegions = QList<QPair<QRectF, QString>>;

// The points where the two views draw a month differently.
struct MonthStyle {
    bool longMonthNames = false;
    // The day number's place in its cell (inset 2 at the left and top, 2.5 at the right).
    int dayNumberFlags = Qt::AlignHCenter | Qt::AlignBottom;
    // "Day %d" before "Week %d" in the selected day's tool tip.
    bool tipDayFirst = false;
    // The first row gets a week number of its own (else the week of the 1st, not drawn).
    bool firstRowWeekNumber = true;
    // Week numbers above this are not drawn.
    int highestWeekNumber = 53;
    // "W#" heads the week numbers only over three-letter names (else "W#" or "W").
    bool weekHeaderOnlyOverShortNames = false;
    // The special-day mark sits opposite a left-placed day number (else left unless dayHPos 2).
    bool markOppositeLeftNumber = false;
    // Birthday names and mark go into the special-day mark's place when there is one.
    bool birthdayInMarkPlace = false;
    // Single grid lines (HorGrid 1) and column lines are drawn; the corner month has bands only.
    bool gridLines = true;
    // The fitted day font's size when it would fall below 6 points.
    float fitFloor = 7;
    // The day framed instead of the clicked one (picked by the keyboard).
    std::optional<QDate> navigatedDay;
};

// Draws months for one view; holds references to the view's state for the length of a draw.
class MonthGridPainter {
  public:
    MonthGridPainter(myCalSettings& settings, MonthFonts& fonts, const MonthColors& colors,
                     MonthSelection& selection, ToolTipRegions& regions, QList<DrawnMonth>& drawn,
                     QWidget& view, const MonthStyle& style);

    // Shrinks the working day font so that "00" fits a day cell of a month drawn in `rect`.
    void preCalFontSize(const QRectF& rect);
    // One month (the month of `month`) in `rect`; `toScreen` draws the selection.
    void drawCalRect(QPainter& painter, const QRectF& rect, const QDate& month, bool showTitle,
                     const QImage& image, bool toScreen, const QDate& today);
    // A picture cell, with the month's title at its top when asked.
    void drawImageInRect(QPainter& painter, const QRectF& rect, const QDate& month, bool showTitle,
                         const QImage& image);
    // The picture behind `rect`'s lower `gridHeight` (all of it with scale type 2).
    void drawPicture(QPainter& painter, const QRectF& rect, qreal gridHeight, const QImage& image);

    // Picture fitting for scale types 1 (shrink only), 3 (by width), 4 (by height).
    static QRectF myAdjustRect(const QRectF& src, const QRectF& dst, int type);
    // The small pictures of the day cells, drawn in code.
    static QImage infoBadge(int side);
    static QImage birthdayBadge(int side);
    // Height of "0" in a font: the title and header strips.
    static qreal zeroHeight(const QFont& font);

  private:
    // Where the parts of one month go.
    struct MonthGeometry {
        QRectF rect;
        qreal headerH = 0;
        qreal titleH = 0;
        qreal gridH = 0;
        qreal cw = 0;  // a column's width
        qreal rowH = 0;
        qreal gridTop = 0;
        QDate start;  // the 1st
        int firstDay = 0;
        bool weekNumbers = false;
        int columnShift = 0;  // 1 with the week-number column
        int columnOf(const QDate& d) const;
        QRectF cell(int row, int column) const;
    };
    // What every day's marks share: the people with birthdays and the special-day badge.
    struct DayMarks {
        QList<myCalSettings::Person> people;
        QImage info;
    };
    // The steps of `drawCalRect`, in their order.
    void drawGrid(QPainter& painter, const MonthGeometry& g);
    void drawMonthTitle(QPainter& painter, const MonthGeometry& g);
    void drawWeekdayHeader(QPainter& painter, const MonthGeometry& g, DrawnMonth& drawn);
    // The week shown on the row of `d`.
    int rowWeek(const MonthGeometry& g, const QDate& d) const;
    void drawWeekNumber(QPainter& painter, const MonthGeometry& g, const QDate& d, int row,
                        DrawnMonth& drawn);
    // Frames the clicked (or navigated) day and tells its week and day of the year.
    void drawSelection(QPainter& painter, const MonthGeometry& g, const QDate& day,
                       const QRectF& cell);
    // The special-day badge, the birthday badge and names, and their tool tip.
    void drawDayMarks(QPainter& painter, const MonthGeometry& g, const QDate& day,
                      const QRectF& cell, const DayMarks& marks);
    // The settings' error, in the larger free space of the grid.
    void drawSettingsError(QPainter& painter, const DrawnMonth& drawn);
    void drawShadowedText(QPainter& painter, const QRectF& box, int flags, const QString& text);
    // Marks the days of `drawn` on which a month of the settings' second calendar begins.
    void drawAuxMonthStarts(QPainter& painter, DrawnMonth& drawn, qreal cellWidth);

    myCalSettings& settings_;
    MonthFonts& fonts_;
    const MonthColors& colors_;
    MonthSelection& selection_;
    ToolTipRegions& regions_;
    QList<DrawnMonth>& drawn_;
    QWidget& view_;
    const MonthStyle& style_;
};

// A drop on a month grid: a calendar file or web calendar loads special days (false); a
// picture, a folder of pictures or a picture address becomes the background and is kept under
// "CalBGImagePath" (true); anything else is refused.
bool dropOnMonthGrid(myCalSettings& settings, const QMimeData& mime);

// The tool tip of a click before its day is known.
QString monthGridClickHint();

}  // namespace talvor
