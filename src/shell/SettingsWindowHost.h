#pragma once

#include "prefs/PaneFactory.h"
#include "prefs/PreferencePane.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class QLabel;
class QScrollArea;

namespace talvor {

class AlarmEditor;
class DVButton;

// What the settings window asks of the application delegate.
class SettingsWindowHostDelegate {
  public:
    virtual ~SettingsWindowHostDelegate() = default;
    // The "Create Alarm" pane just loaded becomes the alarm menu's editor.
    virtual void SetAlarmPrefSetControllerDelegate(AlarmEditor* alarmSetController) = 0;
    // The mini calendar's window, when it has one.
    virtual QWidget* minnowCalendarWindow() = 0;
    // Opens a file or a web page with the desktop's application for it.
    virtual void openURL(const QUrl& url) = 0;
};

// The sidebar buttons, by their outlet names.
enum class SidebarButton {
    btnTimeMenu,
    btnMenuItems,
    btnFloatingClocks,
    btnChimesMenu,
    btnDateMenu,
    btnMiniCalendar,
    btnSetTimeZone,
    btnASM,
    btnAlarm,
    btnAbout,
    btnAppMenuItems,
    btnDateDifference,
    btnCountDown,
    btnCreateAlarm,
    btnGlobalScheduler,
    btnMinnowCalendar,
    btnFeedback,
    btnMenuCalendar,
    btnAdvanced,
    btnSwitchLightDark,
    btnTodo,
};
inline constexpr int kSidebarButtonCount = 21;

// The sidebar choices by tag. The number is what "lastUsedPrefTag" stores, so a stored
// tag may be one without a name here (0: nothing chosen yet); such a tag loads nothing.
enum class PaneTag : int {
    none = 0,
    aboutView = -1,
    timeMenu = 1,
    floatingClocks = 2,
    miniCalendar = 3,
    menuItems = 4,
    alarms = 5,
    chimes = 6,
    stocks = 7,
    setTimeZone = 8,
    applicationsMenu = 10,
    take5 = 11,
    about = 12,
    takeABreak = 13,
    minnow = 14,
    todo = 17,
    dateDifference = 20,
    countDown = 21,
    createAlarm = 22,
    globalScheduler = 24,
    feedback = 25,
    menubarCalendar = 26,
    general = 27,
    dateMenu = 28,
    lightDark = 29,
};

// The section labels of the sidebar.
enum class SectionLabel { textTime, textDate, textApplications, textMisc };

// One sidebar choice: the pane a tag loads, and the flag its choice sets.
struct SettingsPaneRow {
    enum class Extra { none, setIsShowDateDiff, setIsShowCreateAlarm, setIsShowGlobalScheduler };
    PaneTag tag;
    const char* className;
    const char* nibName;
    const char* title;
    std::optional<SidebarButton> selected;
    Extra extra = Extra::none;
};

// The settings window: a sidebar of flat buttons under four section labels, and a pane area
// that shows one pane at a time. It remembers the last sidebar choice in "lastUsedPrefTag",
// and other menus open it directly on a pane through the shortcuts. The window resizes;
// the sidebar and the pane scroll when they do not fit. Main thread only.
class SettingsWindowHost : public QObject {
    Q_OBJECT
  public:
    SettingsWindowHost(SettingsWindowHostDelegate& delegate, PaneFactory panes);
    ~SettingsWindowHost() override;

    // The smallest the window gets, and what it opens at when the screen has room.
    static constexpr QSize kMinimumSize{600, 400};
    // Wide enough for the widest pane beside the sidebar, with both scroll bars showing.
    static constexpr QSize kDefaultSize{800, 556};
    // What the window manager's frame and title bar take at most, beyond the window's own
    // size.
    static constexpr QSize kFrameAllowance{16, 40};
    // The size the window opens at on a screen whose free area is `available`.
    static QSize openingSize(const QSize& available);

    // Every sidebar choice that loads something, by tag.
    static std::span<const SettingsPaneRow> paneRows();
    static const SettingsPaneRow* paneRow(PaneTag tag);

    // The window and its parts are built on first use, so that start-up does not wait for
    // them.
    QWidget* window() const;
    // Holds the shown pane's view; it is the scrolling content of `paneArea`.
    QWidget* placeHolderView() const;
    QScrollArea* paneArea() const;
    QScrollArea* sidebarArea() const;
    QWidget* currentView() const { return currentView_; }
    PreferencePane* viewCtrl() const { return viewCtrl_.get(); }
    DVButton* button(SidebarButton which) const;
    QLabel* label(SectionLabel which) const;

    // Opens the window on the remembered pane.
    void showPrefs();
    // The sidebar choice of `tag`: remembered, painted and loaded; the window comes forward.
    void doOnMain(PaneTag tag);
    // `doOnMain` from the event loop.
    void changeSettings(PaneTag tag);
    // Shows the pane of `className` made for `nibName`, the window titled after `title`.
    // Without a nib name, `className` is a URL to open instead.
    void loadPrefsView(const QString& className, const std::optional<QString>& nibName,
                       const QString& title);
    void removeSubview();
    PreferencePane* returnViewController() const;
    QString returnViewControllerName() const;
    void changeItemView() {}
    // Closing the window ends the shortcuts' open state.
    bool windowShouldClose();
    // What the desktop's Quit keys (Ctrl+Q) do in the window: the application's quit.
    void setQuitAction(std::function<void()> quit) { quit_ = std::move(quit); }
    void closeMinnowCalendar();
    // At shut-down: the open pane saves, when it answers to it.
    void saveOpenPane();

    // Shortcuts from the menus; none of them is remembered as the last choice.
    void showFeedbackPrefs();
    void showMenubarCalendarPrefs();
    void showMinnowCalendarPrefs();
    void showAppMenuPreferences();
    void showDateDifferenceCalculator();
    // The Menu Items pane, where the locations are edited, lit in the sidebar.
    void showLocationsPrefs();
    void showCountDownTimer();
    void showGlobalScheduler();
    void showCreateAlarm();
    void showTake5Prefrences();
    void showLightDarkModePrefrences();

    // Set while a pane opened through its shortcut is up; the shortcut then closes the window.
    bool IsShowDateDiff = false;
    bool IsShowCreateAlarm = false;
    bool IsShowGlobalScheduler = false;
    bool IsShowCountDown = false;

  protected:
    // A shown pane that changes what it holds is laid out anew at the size it then asks.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Window;
    class PaneArea;

    // The first sidebar row, top down, whose pane has controls.
    const SettingsPaneRow& firstUsableRow() const;
    void buildWindow();
    // Builds the window unless it is built.
    void ensureWindow() const;
    void paintSidebar(std::optional<SidebarButton> selected, const QColor& selectedColour,
                      const QColor& others);
    void paintForShortcut(SidebarButton selected, const QColor& others);
    void activateAndOrderFront();
    void closeWindow();
    void loadPane(const QString& className, const QString& nibName, const QString& title);
    void loadURL(const QString& url, const QString& title);
    // Lays the shown pane out in the area: as wide as the area or wider, its own height.
    void fitPane();
    void fitToScreen();
    static QSize fittedTo(const QSize& size, const QSize& available);
    void paneShownAgain();
    void paneWillHide();

    SettingsWindowHostDelegate& delegate_;
    PaneFactory panes_;
    std::unique_ptr<Window> window_;
    QWidget* placeHolderView_ = nullptr;
    QScrollArea* paneArea_ = nullptr;
    QScrollArea* sidebarArea_ = nullptr;
    // The size the shown pane asks for; it never gets less.
    QSize paneSize_;
    QPointer<QWidget> currentView_;
    std::unique_ptr<PreferencePane> viewCtrl_;
    std::array<DVButton*, kSidebarButtonCount> buttons_{};
    std::array<QLabel*, 4> labels_{};
    std::function<void()> quit_;
};

}  // namespace talvor
