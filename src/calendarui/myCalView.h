#pragma once

#include "MonthViewBase.h"

#include <QDate>
#include <QList>
#include <QRectF>

#include <functional>

namespace talvor {

// A grid of months (cntH across, cntV down) in one of nine layouts of months and pictures:
// 0 a month in the upper of two rows, 1 months over their pictures, 2-5 a picture row above
// each row of months (per month or one wide picture, the title above or in the month), 6 one
// picture behind all months, 7 one picture above all months, 8 one picture filling the view
// with a small month in its corner. A click picks a day, the arrows step months, Home returns
// to today; a dropped picture, picture folder, picture address or calendar is taken.
class myCalView : public MonthViewBase {
    Q_OBJECT
  public:
    explicit myCalView(QWidget* parent = nullptr);
    ~myCalView() override;

    // Told after each drop whether it was taken (a picture kept under "CalBGImagePath").
    void setDropDone(std::function<void(bool taken)> done) { dropDone_ = std::move(done); }

    // Sent on a double click and on every click's release.
    using Action = std::function<void(myCalView&)>;
    void setAction(Action action) { action_ = std::move(action); }
    const Action& action() const { return action_; }

    // Navigation.
    void Today();

    // Colours.
    void setColors(const MonthColors& colors);

    // Fonts.
    // The day font as given, its working size scaled for the number of months.
    void setCalDayFont(const QFont& font);
    void LoadDayFont();
    const MonthFonts& fonts() const { return fonts_; }
    float fontTitleSize() const { return fonts_.titleSize; }
    float fontDoWSize() const { return fonts_.dayOfWeekSize; }

    // Draws the months in the settings' layout into `target`; `toScreen` draws the selection.
    void drawMonths(QPainter& painter, const QRectF& target, bool toScreen) override;
    // The same in a given layout (the settings only hold 0-8; others draw no month).
    void drawLayout(QPainter& painter, const QRectF& target, int layout, bool toScreen);

    // The pictures the last draw laid out (with the title or not).
    struct DrawnPicture {
        QRectF rect;
        bool title = false;
        bool picture = false;
    };
    const QList<DrawnPicture>& drawnPictures() const { return drawnPictures_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void updateStyle(MonthStyle& style) override;
    void afterDrop(bool taken) override;

  private:
    void sendAction();
    void drawMonth(QPainter& painter, const QRectF& rect, bool title, bool withPicture,
                   bool toScreen);
    void drawPictureCell(QPainter& painter, const QRectF& rect, bool title, bool withPicture);
    void frame(QPainter& painter, const QRectF& inner);
    // The steps of drawLayout.
    struct Grid;
    Grid gridFor(const QRectF& target, int layout) const;
    bool ensureDayFont();
    // Starts a draw at the first month shown, which it returns; no day picked yet.
    QDate startLayout(int layout);
    void drawCornerMonth(QPainter& painter, const QRectF& target, int month, bool toScreen);
    void drawSharedPicture(QPainter& painter, const QRectF& target, int layout, const Grid& grid,
                           int month);
    void drawMonthRows(QPainter& painter, const QRectF& target, int layout, const Grid& grid,
                       bool toScreen);
    // Draws the month of a slot in a row and returns its cell.
    QRectF drawMonthCell(QPainter& painter, const QRectF& slot, int layout, bool toScreen);
    QRectF drawBelowPicture(QPainter& painter, const QRectF& upper, int layout, bool hasPicture,
                            bool toScreen);

    std::function<void(bool taken)> dropDone_;
    float loadedDaySize_ = 11;  // the day size before fitting to the cells
    bool haveDayFont_ = false;
    Action action_;
    QList<DrawnPicture> drawnPictures_;
};

}  // namespace talvor
