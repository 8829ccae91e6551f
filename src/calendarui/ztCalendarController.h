#pragma once

#include "MonthGridView.h"
#include "platform/Date.h"

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

class QDialog;
class QLabel;
class QPrinter;
class QToolButton;
class QUrl;

namespace talvor {

namespace platform {
class Clock;
class Screens;
class UserDefaults;
}  // namespace platform
class CalendarWindow;
class MonthPager;
class TalvorCalPrefsSettings;

// What the date menu's calendar asks of the application delegate (`setMenuExtra:`).
class ztCalendarMenuExtra {
  public:
    virtual ~ztCalendarMenuExtra() = default;
    // The moon's picture on `date`.
    virtual QImage mooonImage(Date date) = 0;
    // The moon's text ("Current Moon: ...") as of `onDate`, after `prefix` when given.
    virtual QString addNextMoons(const std::optional<QString>& prefix, Date onDate) = 0;
    // Opens the settings window at the "Menubar Calendar" pane.
    virtual void showMenubarCalendarPrefs() = 0;
};

// The date menu's big calendar: a borderless window hung below the date item with a large
// month grid, the moon of the day and a settings button.
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

    // Hangs the window below `anchor` (a frame on the screen), on the screen holding it.
    void belowView(const QRectF& anchor);
    // The same below a widget.
    void belowView(const QWidget& view);
    // Shows the window's background picture.
    void showCalBGImg();
    // Reads the calendar-window settings again and redraws.
    void updateCalendarPrefs();
    // The settings button: the "Menubar Calendar" pane.
    void settingsBtnAction();

    // Steps the grid through the months.
    MonthPager* pager() const { return pager_; }

    MonthGridView* monthView() const { return monthView_; }
    QLabel* moonPicture() const { return moonPicture_; }
    QLabel* moonText() const { return moonText_; }
    QToolButton* settingsButton() const { return settingsButton_; }
    void releaseWindow();

    // The picture drawn behind the calendar: a soft wash of the window colour.
    static QImage backgroundPicture(const QSize& size, const QColor& base);

    // --- What the calendar panes ask of the window (ztCalendarControllerActions.cpp) ---
    // A file dialog for one picture (opened, never run); the choice goes to addPhoto.
    void actAddPhoto();
    // Stores the picture's address under "CalImgURL" and shows it.
    void addPhoto(const QUrl& url);
    // Forgets the picture and its size and shows the plain background.
    void actDeletePhoto();
    // A font dialog on the month, day-number or weekday font; the chosen font is stored in
    // the calendar-window settings and announced.
    void actSetCalMonthFontSize();
    void actSetCalDayNumberFontSize();
    void actSetCalWeekDayFontSize();
    // A print dialog; the calendar prints when it is accepted.
    void actPrintCal();
    // Prints the calendar panel on `printer` (a printer or a PDF file), scaled to the page;
    // false when the printer cannot be drawn on.
    bool printCal(QPrinter& printer);
    // The picture is shown as on the first day ("isBGImageShownBefore" off).
    void resetPreferences();
    // The dialog a hook opened last, while it is open; null otherwise.
    QDialog* openDialog() const;
    // The stored picture for a window of `size`, scaled as the settings say; null when none
    // is stored or it cannot be read.
    QImage storedPhoto(const QSize& size) const;
    // The months shown ("NoOfCalendarToShow": 1, 6 or 12; anything else as many as fit the
    // screen) as columns and rows.
    QSize monthLayout() const;
    // The month grids in reading order, the pager's first; each shows the month after the
    // one before it.
    std::vector<MonthGridView*> monthViews() const;

  private:
    void updateMoon();
    void openFontDialog(QFont TalvorCalPrefsSettings::*font);
    void showMonthCount();
    void showFollowingMonths();

    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    platform::Screens& screens_;
    ztCalendarMenuExtra* menuExtra_ = nullptr;
    std::unique_ptr<CalendarWindow> window_;
    MonthGridView* monthView_ = nullptr;
    QLabel* moonPicture_ = nullptr;
    QLabel* moonText_ = nullptr;
    QToolButton* settingsButton_ = nullptr;
    MonthPager* pager_ = nullptr;
    QPointer<QDialog> dialog_;
    QWidget* months_ = nullptr;
    std::vector<MonthGridView*> followingMonths_;
};

}  // namespace talvor
