#pragma once

#include "BigCalendarButtons.h"
#include "BigCalendarLayout.h"
#include "BigCalendarLists.h"
#include "BigCalendarMenu.h"
#include "BigCalendarMoon.h"
#include "BigCalendarPicture.h"
#include "BigCalendarPlacement.h"
#include "MAAttachedWindow.h"
#include "MonthGridFeed.h"
#include "calendar/CalMonth.h"
#include "myCalProView.h"
#include "platform/CalendarStore.h"
#include "platform/Date.h"
#include "platform/NotificationCenter.h"
#include "ztCalendarMenuExtra.h"

#include <QDate>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QDialog;
class QHBoxLayout;
class QLabel;
class QMenu;
class QPrinter;
class QPropertyAnimation;
class QScrollArea;
class QSplitter;
class QToolButton;
class QUrl;

namespace talvor {

namespace platform {
class Clock;
class Screens;
class UserDefaults;
}  // namespace platform
class CalendarWindow;
class DragView;
class TalvorCustomWindow;

// The date menu's big calendar: a heads-up window hung below the date item with a picture
// above a printable multi-month calendar, navigation buttons, the moon of the day and a
// settings button. Resizing the window lays out as many months as fit the chosen count.
// Each part is a BigCalendar class of its own; this builds the window from them, hands the
// settings and notifications on, and keeps the calls the panes and the shell make.
class ztCalendarController : public QObject {
    Q_OBJECT
  public:
    // None is owned; all must outlive the controller.
    ztCalendarController(platform::Clock& clock, platform::UserDefaults& defaults,
                         platform::Screens& screens);
    ztCalendarController();
    ~ztCalendarController() override;

    static ztCalendarController& sharedInstance();
    // Replaces the shared controller (tests); nullptr restores the real one.
    static void setSharedInstance(ztCalendarController* controller);

    // `setMenuExtra:`; not owned. Without one the window shows no moon.
    void setMenuExtra(ztCalendarMenuExtra* menuExtra);
    ztCalendarMenuExtra* menuExtra() const { return menuExtra_; }

    // Null once the application has quit.
    QWidget* window() const;
    bool isWindowVisible() const;

    // Hangs the window below `anchor` (a frame on the screen), on the screen holding it;
    // once the user has placed it, it stays where it was put (kept on the screen).
    void belowView(const QRectF& anchor);
    // The window's placement: snapping to the screen's edges, named positions, saved frame.
    TalvorCustomWindow* placement() const { return placement_ ? &placement_->frame() : nullptr; }
    // The same below a widget.
    void belowView(const QWidget& view);
    // Paints the panel and shows the calendar picture: the user's, else our own.
    void showCalBGImg();
    // Reads the calendar-window and date settings again and redraws.
    void updateCalendarPrefs();
    // The first weekday and week numbers again ("FirstDayOfWeek", "iShowWeek"), and a redraw: on
    // "TalvorUpdateCalNotification" and "TalvorMenuBarDatePrefsChangeNotification".
    void updateCalPrefs();
    // The settings button: the "Menubar Calendar" pane.
    void settingsBtnAction();
    // The picture behind the months ("CalBGImagePath"), the special days ("bSpecialDays",
    // "CalSpecialDaysPath") and the birthdays ("showAddressBDays") as stored; only what
    // changed since the last call is read again, and a picture address with date fields on a
    // new day. Called at start, on showing and with every change of the calendar-window
    // settings.
    void applyMonthGridSettings();

    myCalProView* monthView() const { return calView_; }
    QLabel* moonPicture() const { return moon_ ? moon_->picture() : nullptr; }
    QLabel* moonText() const { return moon_ ? moon_->text() : nullptr; }
    QToolButton* settingsButton() const { return buttons_ ? buttons_->settingsButton() : nullptr; }
    DragView* pictureWell() const { return picture_ ? &picture_->well() : nullptr; }
    // A window style other than 0: the panel moves by its background and shows its grip.
    bool isMovableByBackground() const { return placement_ && placement_->isMovableByBackground(); }
    QWidget* sizeGrip() const { return buttons_ ? buttons_->sizeGrip() : nullptr; }
    void releaseWindow();

    // Navigation (the buttons and keys).
    void today();
    void prevMonth();
    void nextMonth();
    void prevDay();
    void nextDay();
    // A key while the window is open: arrows step days (with Ctrl months), C and Home go to
    // today. True when taken.
    bool handleCalendarKey(int key, Qt::KeyboardModifiers modifiers);

    // The month layout's rules (BigCalendarMonthCounts).
    using Counts = BigCalendarMonthCounts;
    static int monthsOfChoice(int showNoOfCalendar) {
        return Counts::monthsOfChoice(showNoOfCalendar);
    }
    int NoOfCal() const { return layout_.months(); }
    static Counts monthsForResize(int noOfCal, Counts current, Counts fits) {
        return Counts::forResize(noOfCal, current, fits);
    }
    static Counts countsForMonths(int months) { return Counts::forMonths(months); }
    static Counts countsToFit(const QSizeF& area) { return Counts::toFit(area); }
    static QSize monthCell() { return Counts::cell(); }
    // Lays the months out for the calendar's present size.
    void relayout();

    // Window level (-1 below others, 0 normal, 1 above others) and style (true: framed) of
    // the stored choices.
    static int getWindowLayer(int choice) { return BigCalendarPlacement::windowLayer(choice); }
    static bool getWindowType(int choice) { return BigCalendarPlacement::windowType(choice); }

    // Zoom on: the window fills the usable area of its screen; off: it goes back to its
    // frame and months from before.
    void zoomCalendar(bool on);
    bool isZoomed() const { return placement_ && placement_->isZoomed(); }
    // Closes the window (the title bar's close button).
    void actClose();

    // The moon of `day` in a window pointing at `globalPoint`; a second call closes it.
    void toggleMoonWindow(const QDate& day, const QPointF& globalPoint);
    MAAttachedWindow* attachedWindow() const { return moon_ ? moon_->window() : nullptr; }
    void closeAttachedWindow();

    // The calendar's picture: a dropped one, a chosen file ("CalImgURL"), or none.
    void setCalendarPicture(const QImage& picture);
    bool addPhoto(const QString& path);
    void deletePhoto();
    // Our own picture, shown until the user picks one.
    static QImage defaultPicture(const QSize& size) {
        return BigCalendarPicture::defaultPicture(size);
    }

    // The three fonts of the calendar: the month titles, the weekday names, the day numbers.
    using FontOption = CalendarFontOption;
    QFont calendarFont(FontOption option) const;
    // Applies the font and keeps it in the calendar-window settings.
    void applyCalendarFont(FontOption option, const QFont& font);

    // The settings menu: printing, a photo, the fonts.
    QMenu* settingsMenu() const { return menu_ ? menu_->menu() : nullptr; }
    // Opens the print dialog; the months (1, 3, 6 or 12) are printed when it is accepted.
    void printWithDialog(int months);
    // Opens a file chooser for a photo.
    void choosePhoto();
    // Opens a font chooser for one of the three fonts.
    void chooseFont(FontOption option);

    // Printing: the page size in points for a number of months (0: as shown now), with or
    // without the picture; the months drawn onto the printer's page, fitted and centred.
    static QSizeF printSize(int months, bool withPicture);
    bool printCalendar(QPrinter& printer, int months);
    // Draws what a print of `months` holds into `target` of the painter.
    void drawPrintout(QPainter& painter, const QRectF& target, int months);

    // --- What the calendar panes ask of the window (ztCalendarControllerActions.cpp) ---
    // The photo chooser (opened, never run); the choice goes to addPhoto.
    void actAddPhoto();
    // Stores a local picture's address under "CalImgURL" and shows it; false, with a log
    // line, for a picture that is not a readable local file.
    bool addPhoto(const QUrl& url);
    // deletePhoto: the picture and its size forgotten, no picture shown.
    void actDeletePhoto();
    // A font dialog on the month, day-number or weekday font; the chosen font is stored in
    // the calendar-window settings and announced.
    void actSetCalMonthFontSize();
    void actSetCalDayNumberFontSize();
    void actSetCalWeekDayFontSize();
    // A print dialog; the calendar prints as shown when it is accepted.
    void actPrintCal();
    // Prints the calendar as shown on `printer` (a printer or a PDF file), fitted to the
    // page; false when the printer cannot be drawn on.
    bool printCal(QPrinter& printer);
    // The built-in picture is shown as on the first day ("isBGImageShownBefore" cleared).
    void resetPreferences();
    // The dialog the window opened last, while it is open; null otherwise.
    QDialog* openDialog() const;
    // The user's stored picture ("CalImgURL", a local file); with a size, drawn into that size
    // as the picture well draws it. Null when none is stored or it cannot be read.
    QImage storedPhoto(const QSize& size = QSize()) const;
    // The months shown, across and down.
    QSize monthLayout() const;
    // The first day of each month shown, in reading order.
    QList<QDate> shownMonths() const;

    // --- The events / to-do part under the months (BigCalendarLists) ---
    // Hides or shows the part, the window shrinking or growing by it (animated while the
    // window is shown); the menu item says what it would do next.
    void hideShowTaskEvents();
    // Shows the part when it is hidden, then hides or shows the months (and picture).
    void hideShowMiniCalendar();
    bool isBottomHidden() const { return lists_ && lists_->isHidden(); }
    bool isAnimatingSize() const { return lists_ && lists_->isAnimatingSize(); }
    QWidget* bottomPart() const { return lists_ ? lists_->part() : nullptr; }
    QSplitter* topPart() const { return splitter_; }
    // In the ≡ menu; hides or shows the part and keeps the choice in the date settings.
    QAction* hideShowMenuItem() const { return lists_ ? lists_->hideShowMenuItem() : nullptr; }
    enum class ListMode { Events, Todos };
    void setListMode(ListMode mode);
    ListMode listMode() const {
        return lists_ && lists_->showsTodos() ? ListMode::Todos : ListMode::Events;
    }
    QToolButton* eventsButton() const { return lists_ ? lists_->eventsButton() : nullptr; }
    QToolButton* todoButton() const { return lists_ ? lists_->todoButton() : nullptr; }
    // The day whose events are listed: the one picked in the months, else today.
    QDate selectedDay() const;
    void selectDay(const QDate& day);
    // Asks the calendars again for the list shown.
    void reloadList();
    // The rows of the list as their text, top first.
    QStringList listedItems() const;
    // The to-do pane's menu icon on the To Do switch and on the hide/show item.
    void applyTodoSettings();
    // Writes the finished to-do items into the archive, when the to-do pane keeps one and
    // a run is due; each item once.
    void archiveFinishedTodos();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The steps of building the window.
    void buildMonths();
    // The rows of the window: the title row's buttons, the picture over the months, the
    // events part, the moon with the settings button.
    void layOut();
    void observeNotifications();
    void updateMoon();
    void paintPanel();
    void applyFirstWeekdayAndWeeks();
    // Room in the window for the picture growing from `before` to `height`.
    void makePictureRoom(int before, int height);
    // Lays out the months of the choice and sizes the window to hold them.
    void showMonthsOfChoice();
    // The height the events part takes in the window; 0 while it is hidden.
    int bottomPartRoom() const;

    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    platform::Screens& screens_;
    ztCalendarMenuExtra* menuExtra_ = nullptr;
    std::unique_ptr<CalendarWindow> window_;
    std::optional<BigCalendarPlacement> placement_;
    myCalProView* calView_ = nullptr;
    std::optional<BigCalendarPicture> picture_;
    QSplitter* splitter_ = nullptr;
    std::unique_ptr<BigCalendarMoon> moon_;
    std::unique_ptr<BigCalendarMenu> menu_;
    std::optional<BigCalendarButtons> buttons_;
    std::vector<platform::Observation> observations_;
    BigCalendarLayout layout_{1};
    MonthGridFeed monthGridFeed_;
    std::unique_ptr<BigCalendarLists> lists_;
};

}  // namespace talvor
