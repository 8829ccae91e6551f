#pragma once

#include "calendarui/MinnowCalendarController.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <memory>

class QObject;

namespace talvor {

namespace platform {
class Screens;
class StatusItem;
class UserDefaults;
struct Notification;
}  // namespace platform
class HotKey;
class MinnowStatusView;
class StatusItemsController;
class ztCalendarController;
class ztCalendarMenuExtra;

// The user's calendars for the whole process: the calendar folders (configured roots, a
// "Personal" calendar made in an empty default root), the back end of this computer's
// calendars on them, the question that asks the user for access, and the Google Calendar
// back end (made on first use).
void installUserCalendars(platform::UserDefaults& defaults);

// Where the mini calendar shows while the centre hot key is held: its top-left corner at the
// mouse, moved back onto the screen's usable `area` where it would leave it.
QRectF centerHotKeyFrame(const QPointF& mouse, const QSizeF& size, const QRectF& area);

// The application delegate's calendar commands: the calendar the date item and the hot keys
// open (mini or big, after "SelectedMenuCalendar"), their closing, and their reloads.
// Owned by the application delegate; main thread only.
class CalendarWindows : public MinnowCalendarDelegate {
  public:
    // None is owned; all must outlive this object. `menuExtra` is what the big calendar asks
    // for the moon and the settings pane.
    CalendarWindows(StatusItemsController& items, ztCalendarMenuExtra& menuExtra,
                    platform::UserDefaults& defaults, platform::Screens& screens);
    CalendarWindows(StatusItemsController& items, ztCalendarMenuExtra& menuExtra);
    ~CalendarWindows() override;
    CalendarWindows(const CalendarWindows&) = delete;
    CalendarWindows& operator=(const CalendarWindows&) = delete;

    // Shows the chosen calendar under the date item, or hides it when it is showing.
    void showCal();
    void showCal(QObject* sender);
    // After the calendar choice changed: a visible calendar gives way to the chosen one.
    void updatedCalendar();
    // "TalvorCalendarPrefsChangeNotification": the big calendar reloads its settings.
    void CalendarPrefsUpdates(const platform::Notification& notification);
    void closeMinnowCalendar() override;
    void showMenubarCalendarPrefs() override;

    // "ToggleHotKey" shows or hides the mini calendar; "CenterHotKey" shows it under the
    // mouse while held. Neither does anything while the big calendar is chosen.
    void hotKeyDown(const HotKey& hotKey);
    void hotKeyUp(const HotKey& hotKey);

    // The date item's frame on the screen, recorded each time a calendar shows; all zero
    // until then.
    QRectF dateStatusItemRect() const override { return dateStatusItemRect_; }
    void setDateStatusItemRect(const QRectF& rect) { dateStatusItemRect_ = rect; }

    // The mini calendar's own item in the strip, made again or taken away as "showMinnowCal"
    // says (after the date and time items, which are made again too, so that it stays left
    // of them): today's day number; a click opens the mini calendar under it.
    void updateMinnowItem();
    const std::shared_ptr<platform::StatusItem>& minnowItem() const { return minnowItem_; }

    // The big calendar, once chosen.
    ztCalendarController* calCtrlWindow() const { return calCtrlWindow_; }
    // Whether the mini calendar was showing when the centre hot key went down.
    bool wasVisible() const { return wasVisible_; }
    QPointF oldOrigin() const { return oldOrigin_; }

  private:
    bool bigCalendarChosen() const;
    MinnowCalendarController& minnow();
    // The frame of the date item's window; empty while the item has none.
    QRectF dateItemWindowFrame() const;
    void centerHotKeyDown();
    void centerHotKeyUp();
    void removeMinnowItem();

    StatusItemsController& items_;
    ztCalendarMenuExtra& menuExtra_;
    platform::UserDefaults& defaults_;
    platform::Screens& screens_;
    QRectF dateStatusItemRect_;
    ztCalendarController* calCtrlWindow_ = nullptr;
    MinnowCalendarController* boundMinnow_ = nullptr;
    bool wasVisible_ = false;
    bool centerHeld_ = false;
    QPointF oldOrigin_;
    std::shared_ptr<MinnowStatusView> minnowView_;
    std::shared_ptr<platform::StatusItem> minnowItem_;
};

}  // namespace talvor
