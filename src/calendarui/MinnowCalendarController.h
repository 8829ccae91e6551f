#pragma once

#include "MonthGridView.h"

#include <QObject>
#include <QRectF>

#include <cstdint>
#include <memory>

namespace talvor {

namespace platform {
class Clock;
class Screens;
class UserDefaults;
}  // namespace platform
class CalendarWindow;
class MonthPager;

// What the mini calendar asks of the application delegate.
class MinnowCalendarDelegate {
  public:
    virtual ~MinnowCalendarDelegate() = default;
    // `dateStatusItemRect`: the date item's frame on the screen, empty until known.
    virtual QRectF dateStatusItemRect() const = 0;
    virtual void closeMinnowCalendar() = 0;
};

// The mini calendar: a borderless window under the date item with one month grid, which
// the user steps through month by month. Each time the window shows, the grid opens on
// today's month and follows the clock and the user's first weekday.
class MinnowCalendarController : public QObject {
    Q_OBJECT
  public:
    // None is owned; all must outlive the controller.
    explicit MinnowCalendarController(platform::Clock& clock, platform::UserDefaults& defaults,
                                      platform::Screens& screens);
    MinnowCalendarController();
    ~MinnowCalendarController() override;

    static MinnowCalendarController& sharedInstance();
    // Replaces the shared controller (tests); nullptr restores the real one.
    static void setSharedInstance(MinnowCalendarController* controller);

    // Not owned; nullptr: Escape and closeWindow only hide the window.
    void setDelegate(MinnowCalendarDelegate* delegate) { delegate_ = delegate; }
    MinnowCalendarDelegate* delegate() const { return delegate_; }

    // Null once the application has quit.
    QWidget* window() const;
    bool isWindowVisible() const;

    // Puts the window in its place under the date item (at the delegate's
    // `dateStatusItemRect`), on the screen that holds it.
    void calculateWindowFrame();
    // `closeWindow:`: asks the delegate to close the calendar.
    void closeWindow();

    // Steps the grid through the months.
    MonthPager* pager() const { return pager_; }

    MonthGridView* monthView() const { return monthView_; }
    void releaseWindow();

  private:
    platform::Screens& screens_;
    MinnowCalendarDelegate* delegate_ = nullptr;
    std::unique_ptr<CalendarWindow> window_;
    MonthGridView* monthView_ = nullptr;
    MonthPager* pager_ = nullptr;
};

}  // namespace talvor
