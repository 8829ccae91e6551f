#pragma once

#include "MonthGridParts.h"
#include "calendar/myCalSettings.h"

#include <QDate>
#include <QDateTime>
#include <QWidget>

#include <functional>
#include <memory>

class QMimeData;

namespace talvor {

namespace platform {
class Clock;
}

// A grid of months (cntH across, cntV down) in one of nine layouts of months and pictures:
// 0 a month in the upper of two rows, 1 months over their pictures, 2-5 a picture row above
// each row of months (per month or one wide picture, the title above or in the month), 6 one
// picture behind all months, 7 one picture above all months, 8 one picture filling the view
// with a small month in its corner. A click picks a day, the arrows step months, Home returns
// to today; a dropped picture, picture folder, picture address or calendar is taken.
class myCalView : public QWidget {
    Q_OBJECT
  public:
    explicit myCalView(QWidget* parent = nullptr);
    ~myCalView() override;

    // The clock that says what today is (the shared one unless set; not owned).
    void setClock(const platform::Clock* clock) { clock_ = clock; }

    myCalSettings& calSettings() { return *calSettings_; }
    const myCalSettings& calSettings() const { return *calSettings_; }

    // Sent on a double click and on every click's release.
    // Told after each drop whether it was taken (a picture kept under "CalBGImagePath").
    void setDropDone(std::function<void(bool taken)> done) { dropDone_ = std::move(done); }

    using Action = std::function<void(myCalView&)>;
    void setAction(Action action) { action_ = std::move(action); }
    const Action& action() const { return action_; }

    // Navigation.
    void Today();
    void nextMonth();
    void prevMonth();
    void SetoCurDate(const QDate& date);
    const QDate& oCurDate() const { return oCurDate_; }
    // Noon of the picked day, else oCurDate (at noon).
    QDateTime dateValue() const;

    // Colours: initColors at creation, the preferences only when one is found missing.
    const MonthColors& colors() const { return colors_; }
    void initColors();
    void ReadCalColors();
    void setColors(const MonthColors& colors);

    // Fonts.
    void setCalDayOfWeekFont(const QFont& font);
    void setCalYearFont(const QFont& font);
    void setCalLabelFont(const QFont& font) { fonts_.label = font; }
    // The day font as given, its working size scaled for the number of months.
    void setCalDayFont(const QFont& font);
    void LoadYearMonthFont();
    void LoadDayOfWeekFont();
    void LoadLabelFont();
    void LoadDayFont();
    const MonthFonts& fonts() const { return fonts_; }
    float fontSize() const { return fonts_.daySize; }
    float fontTitleSize() const { return fonts_.titleSize; }
    float fontDoWSize() const { return fonts_.dayOfWeekSize; }
    void preCalFontSize(const QRectF& rect);

    // The picked day.
    void SetLastClick(const QPointF& point);
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

    static QRectF myAdjustRect(const QRectF& src, const QRectF& dst, int type) {
        return MonthGridPainter::myAdjustRect(src, dst, type);
    }

    // Draws the months in the settings' layout into `target`; `toScreen` draws the selection.
    void drawMonths(QPainter& painter, const QRectF& target, bool toScreen);
    // The same in a given layout (the settings only hold 0-8; others draw no month).
    void drawLayout(QPainter& painter, const QRectF& target, int layout, bool toScreen);

    // What the last draw laid out: the months and the pictures (with the title or not).
    const QList<DrawnMonth>& drawnMonths() const { return drawnMonths_; }
    struct DrawnPicture {
        QRectF rect;
        bool title = false;
        bool picture = false;
    };
    const QList<DrawnPicture>& drawnPictures() const { return drawnPictures_; }
    std::optional<QString> toolTipAt(const QPointF& point) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
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
    MonthGridPainter painter();
    QDate today() const;
    void sendAction();
    void drawMonth(QPainter& painter, const QRectF& rect, bool title, bool withPicture,
                   bool toScreen);
    void drawPictureCell(QPainter& painter, const QRectF& rect, bool title, bool withPicture);
    void frame(QPainter& painter, const QRectF& inner);

    std::unique_ptr<myCalSettings> calSettings_;
    std::function<void(bool taken)> dropDone_;
    const platform::Clock* clock_ = nullptr;
    bool dragging_ = false;
    MonthSelection selection_;
    QDate oCurDate_;
    ToolTipRegions regionList_;
    MonthFonts fonts_;
    float loadedDaySize_ = 11;  // the day size before fitting to the cells
    bool haveDayFont_ = false;
    MonthStyle style_;
    MonthColors colors_;
    Action action_;
    QList<DrawnMonth> drawnMonths_;
    QList<DrawnPicture> drawnPictures_;
};

}  // namespace talvor
