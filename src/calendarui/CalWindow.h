#pragma once

#include "CalMonthView.h"
#include "CalendarWindow.h"
#include "calendar/CalMonth.h"
#include "widgets/Grid.h"

#include <QPointer>
#include <QRectF>

#include <functional>
#include <optional>
#include <vector>

class QToolButton;

namespace talvor {

class EditEventController;
class StringsBundle;
namespace platform {
struct Notification;
class Observation;
class UserDefaults;
}  // namespace platform

// The signed count of days from today as a phrase ("tomorrow", "in 3 days", "2 days ago"),
// from the "Future" and "Past" tables: under the count, under "ends in" its last digit, or
// under "default".
QString relativeString(int32_t days);
QString relativeString(int32_t days, const StringsBundle& bundle);
// The table's format under the key made from `keyFormat` and `n`, filled with `n`; none when
// the table lacks the key.
std::optional<QString> rnumLoc(const StringsBundle& bundle, const QString& keyFormat,
                               const QString& table, int32_t n, int32_t fill);

// A window that takes the keyboard only when allowed.
class KeylessWindow : public CalendarWindow {
    Q_OBJECT
  public:
    explicit KeylessWindow(QWidget* parent = nullptr);
    bool canMakeKey() const { return canMakeKey_; }
    void setCanMakeKey(bool on);

  private:
    bool canMakeKey_ = false;
};

// A window that hangs under the date item: its top edge at the item's bottom, growing to
// the right of the item when there is room, else ending at the item's right edge. Dragged
// with the mouse (after 15 points) it follows only while the button is down.
class AnchoredWindow : public KeylessWindow {
    Q_OBJECT
  public:
    explicit AnchoredWindow(QWidget* parent = nullptr);

    // The item's frame on the screen and the screen's usable area.
    void setAnchor(const QRectF& item, const QRectF& area, bool animate);
    void reframeToNewSize(QSize size, bool animate);
    // Where the window is or is going (the end of an animation).
    QRect targetFrame() const { return target_; }
    bool isDragging() const { return isDragging_; }

  signals:
    void windowWillDrag();
    void windowDidDrag();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QRectF anchor_;
    QRectF area_;
    QRect target_;
    QPointF mouseDownPoint_;
    QPointF dragOffset_;
    bool isDragging_ = false;
    bool pressed_ = false;
};

// The mini calendar's window: a strip of buttons, the month views in rows, and the day view
// of the clicked day under them.
class CalWindow : public AnchoredWindow {
    Q_OBJECT
  public:
    static constexpr int kControlsHeight = 26;

    // The defaults must outlive the window.
    explicit CalWindow(platform::UserDefaults& defaults, QWidget* parent = nullptr);
    ~CalWindow() override;

    QWidget* controlsView() const { return controlsView_; }
    EditEventController* editEventController() const { return editEventController_; }
    const std::vector<CalMonthView*>& monthViews() const { return monthViews_; }

    QToolButton* prevButton() const { return prevButton_; }
    QToolButton* nextButton() const { return nextButton_; }
    QToolButton* currMonthButton() const { return currMonthButton_; }
    QToolButton* cancelButton() const { return cancelButton_; }
    QToolButton* quickAddButton() const { return quickAddButton_; }
    QToolButton* prefsButton() const { return prefsButton_; }
    QToolButton* closeButton() const { return closeButton_; }

    void setNumFontSize(float number, float title, float text);
    void setShowsWeekNum(bool on) { showsWeekNum_ = on; }
    void setShowsDateCalc(bool on) { showsDateCalc_ = on; }
    bool showsWeekNum() const { return showsWeekNum_; }

    void setMonthGrid(const Grid<CalMonthPtr>& grid);
    // Redraws the events of every month and of the day shown.
    void updateEvents();
    void updateToday();
    void updateTodayHighlight();
    // The month view the current-month shadow sits under (three months or more).
    CalMonthView* shadowedMonthView() const { return shadowed_; }

    // A day clicked: shows it; a second click within the double-click time asks for a new
    // event on it.
    void editEvent(const platform::Notification& notification);
    void editEventsIn(const CalMonthPtr& month, int32_t day, bool isRedisplay);
    std::optional<QString> daysFromNowCalc(const CalMonth& month, int32_t day) const;
    void hideMessage();
    const CalMonthPtr& viewedMonth() const { return viewedMonth_; }
    std::optional<int32_t> viewedDay() const { return viewedDay_; }
    bool isDayViewShown() const;

    // What a double click on a day or the new-event button asks for (the date).
    void setCreateEventHandler(std::function<void(Date)> handler) {
        createEventHandler_ = std::move(handler);
    }
    void createEvent();

  protected:
    void paintEvent(QPaintEvent* event) override;
    // A gadget window hanging on the day view goes with the window.
    void hideEvent(QHideEvent* event) override;

  public:
    // Places the tool-bar buttons again (after one was shown or hidden).
    void layoutControls();

  private:
    QSize contentSizeWithoutDayView() const;

    platform::UserDefaults& defaults_;
    QWidget* controlsView_;
    EditEventController* editEventController_;
    QToolButton* prevButton_;
    QToolButton* nextButton_;
    QToolButton* currMonthButton_;
    QToolButton* cancelButton_;
    QToolButton* quickAddButton_;
    QToolButton* prefsButton_;
    QToolButton* closeButton_;
    std::vector<CalMonthView*> monthViews_;
    CalMonthView* shadowed_ = nullptr;
    bool showsWeekNum_ = false;
    bool showsDateCalc_ = false;
    float numFontSize_ = 11.0f;
    float titleFontSize_ = 12.0f;
    double clickTime_ = -1e9;
    CalMonthPtr viewedMonth_;
    std::optional<int32_t> viewedDay_;
    int monthsHeight_ = 0;
    int monthsWidth_ = 0;
    std::function<void(Date)> createEventHandler_;
    std::unique_ptr<platform::Observation> daySelected_;
};

}  // namespace talvor
