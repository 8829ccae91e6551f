#pragma once

#include "CalWindow.h"
#include "calendar/CalMonth.h"
#include "foundation/Calendar.h"
#include "platform/NotificationCenter.h"

#include <QObject>
#include <QRectF>
#include <QUrl>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QMessageBox;
class QTimer;

namespace talvor {

namespace platform {
class Clock;
class Screens;
class UserDefaults;
}  // namespace platform
class MinnowStatusView;
class MonthIndex;

// What the mini calendar asks of the application delegate.
class MinnowCalendarDelegate {
  public:
    virtual ~MinnowCalendarDelegate() = default;
    // `dateStatusItemRect`: the date item's frame on the screen, empty until known.
    virtual QRectF dateStatusItemRect() const = 0;
    virtual void closeMinnowCalendar() = 0;
    // The settings of the menu-bar calendar (also where calendar access is given).
    virtual void showMenubarCalendarPrefs() {}
};

// The mini calendar: a borderless window under the date item with rows x columns of months
// ("TtNumRows", "TtNumCols", placed by "MonthCenters"), the events of the user's calendars
// on them, and the day view of a clicked day. It keeps its months in step with the clock
// (a check each minute), the settings and the calendar back end, whose loads it redraws
// without closing the day view.
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
    CalWindow* calWindow() const { return window_.get(); }
    bool isWindowVisible() const;

    // Puts the window in its place under the date item (at the delegate's
    // `dateStatusItemRect`), on the screen that holds it.
    void calculateWindowFrame();
    void closeWindow();
    void releaseWindow();

    // Not owned; may be null.
    void setStatusView(MinnowStatusView* view) { statusView_ = view; }
    MinnowStatusView* statusView() const { return statusView_; }
    // What the quick-add and new-event buttons open; without one they are hidden.
    void setQuickAddHandler(std::function<void()> handler);
    void setCreateEventHandler(std::function<void(Date)> handler);

    // Months stepped away from the default position, and the one the today/back button
    // returns to.
    int32_t currOffset() const { return currOffset_; }
    int32_t lastOffset() const { return lastOffset_; }
    int32_t currStart() const { return currStart_; }
    int32_t currEnd() const { return currEnd_; }
    void nextMonth();
    void prevMonth();
    void currMonth();
    void updateCurrMonthButton();
    void updateQuickAddButton();
    // The reload button: "Cancel" while Google loads, "Reload" when a Google calendar is
    // shown, hidden when none is; with the system's calendars always "Reload".
    void updateReloadButton();
    // The reload button's action: reloads, or cancels the Google loads under way.
    void reloadOrCancel();

    // The months of `calendar` (null: the current one) for `num` months from `offset`
    // (or from January of this year with `yearAlign`).
    std::vector<CalMonthPtr> monthsForCalendar(const Calendar& calendar, int32_t num,
                                               int32_t offset, bool yearAlign);
    // Rebuilds the month grid (or, for an event change, only the events).
    void updateMonths(const std::optional<platform::Notification>& notification = std::nullopt);
    void refreshEvents();
    // Queued: loads the events of the months shown from the selected back end.
    void reloadCalendarEvents();
    // The minute tick: today's mark and, on a new month, the grid.
    void checkDate();
    void updateCurrentCalendar();
    void updateStatusDay();
    void timeZoneChanged();
    void rebuildMonths();
    int monthIndexCount() const { return static_cast<int>(monthIndexes_.size()); }

    // The calendar application (the desktop's handler of text/calendar).
    void showApple();
    void showPrefs();
    // The Google Calendar page in the browser: the hosted page of the account's domain for a
    // hosted account ("AccountType" 2, "Username" user@domain), else the consumer page.
    void showGoogle();
    static QUrl googleCalendarUrl(const platform::UserDefaults& defaults);
    void quickAdd();
    // The text of the last alert shown on the window, and the alert while open (tests).
    QString lastAlertText() const { return lastAlertText_; }
    QMessageBox* accessAlert() const { return alert_; }

  protected:
    // Escape in another of our windows, used by none of its controls, closes the open
    // calendar first, as it would an open menu.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void awakeFromNib();
    void windowDidLoad();
    // Access to the calendars, then their first load (or the refusal's alert).
    void startBackEnd();
    void eventsLoaded();
    void showAccessAlert(const QString& text);
    // Restores a kept Google sign-in and lists its calendars (later, never during start-up).
    void startGoogle();
    // A critical alert with "OK" and, when given, a button that opens the settings.
    void showAlert(const QString& text, const QString& informative = QString(),
                   bool offerSettings = false);
    // Google chosen and no sign-in restored.
    bool googleSignedOut() const;
    MonthIndex& indexFor(const Calendar& calendar);
    Calendar userCalendar() const;
    // Rows x columns and the grid's start, from the settings.
    std::pair<int32_t, int32_t> gridShape() const;
    std::pair<int32_t, bool> gridStart(int32_t count) const;
    bool googleSelected() const;

    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    platform::Screens& screens_;
    MinnowCalendarDelegate* delegate_ = nullptr;
    std::unique_ptr<CalWindow> window_;
    MinnowStatusView* statusView_ = nullptr;
    std::function<void()> quickAddHandler_;
    Date updatedDate_;
    std::vector<std::pair<Calendar, std::unique_ptr<MonthIndex>>> monthIndexes_;
    int32_t currOffset_ = 0;
    int32_t lastOffset_ = 0;
    int32_t currStart_ = 0;
    int32_t currEnd_ = 0;
    QVariantMap sourcePrefs_;
    QTimer* minuteTimer_ = nullptr;
    QTimer* loadedTimer_ = nullptr;  // coalesces the back end's "EventsLoaded"
    QString lastAlertText_;
    QMessageBox* alert_ = nullptr;
    std::vector<platform::Observation> observations_;
    bool reloadQueued_ = false;  // a reload of the months is posted and has not run yet
};

}  // namespace talvor
