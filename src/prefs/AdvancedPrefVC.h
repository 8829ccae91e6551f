#pragma once

#include "BoardingWinController.h"
#include "PaneDelegate.h"
#include "PaneTable.h"
#include "PreferencePane.h"
#include "StatusItemsPlaceChoice.h"
#include "services/UpdateCheck.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <functional>

namespace talvor {

// What "Reset all settings" resets, one member per group, run in this order. An empty member
// is skipped: its group has no reset yet.
struct ResetAllSteps {
    std::function<void()> floatingClocks;
    // Time item, menu items and Take 5, then written.
    std::function<void()> timeSettings;
    std::function<void()> breakSettings;
    std::function<void()> calendarWindowSettings;
    std::function<void()> calendarWindowController;
    // The calendar window's picture settings in the standard user defaults.
    std::function<void()> calendarPictureDefaults;
    // Redraws the calendar window's picture when the window is visible.
    std::function<void()> calendarPictureRedisplay;
    std::function<void()> dateSettings;
    // Forgets where the floating time window was.
    std::function<void()> floatingWindowFrame;

    // The program's own resets.
    static ResetAllSteps standard(const PaneDelegate& delegate);
};

// The "General" pane: the taskbar box, start at login, reset of all settings, the update
// check, the welcome window, and links to the manual and the change log.
class AdvancedPrefVC : public PreferencePane {
    Q_OBJECT
  public:
    // The store build has no update check, and its reset leaves the calendar windows, the
    // date item and the floating window's place alone.
    enum class Variant { WithUpdates, Store };
    static Variant builtVariant();

    explicit AdvancedPrefVC(QString nibName, const PaneDelegate& delegate = {},
                            Variant variant = builtVariant());
    AdvancedPrefVC(QString nibName, PaneDelegate delegate, Variant variant, ResetAllSteps steps);

    static Manual::Section helpPage() { return Manual::Section::General; }

    PaneTable* table() override { return &table_; }

    Variant variant() const { return variant_; }
    void readPrefs();
    void writePrefs();
    void actHideShowDockIcon();
    // Asks first; resets only on "Reset".
    void actResetAllPreferences();
    // The reset itself, without asking.
    void resetAllPreferences();
    // Follows the box: the autostart entry is made or removed.
    void starAtLoginBtnClicked();
    // Stores the sharing box at once.
    void actShareData();
    void checkForUpdates();
    void helpBtnClicked();
    void OnVersionNoClicked();
    void actOpenOnboardingScreen();
    // Opens the tutorial (a new one in place of the last).
    void actOpenTutorial();
    TutorialWindowController* tutorial() const { return tutorial_.get(); }

    // Shows the answer of an update check; a newer version is offered with its notes.
    void showUpdateResult(const UpdateCheck::Result& result);
    UpdateCheck& updater() { return updater_; }

    // Offers a newer version: its notes, and its page opened on request. Tests record it.
    std::function<void(QWidget* window, const AppcastItem& offer)> offerUpdate;
    // Asks whether to reset; tests answer at once. The default opens an alert on `window`.
    std::function<void(QWidget* window, std::function<void(bool reset)> answer)> confirmReset;

    QCheckBox* dockIconCheckbox() const;
    QCheckBox* startAtLoginCheckbox() const;
    QCheckBox* shareDataCheckbox() const;
    StatusItemsPlaceChoice* placeChoice() const { return placeChoice_; }
    QPushButton* resetButton() const;
    QPushButton* updateButton() const { return bCheckForUpdates_; }
    QLabel* updateStatus() const { return updateStatus_; }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    std::vector<PaneRow> makeRows();
    void perform(const PaneCall& call);
    void storeDockIcon(bool hidden);
    void storeStartAtLogin(bool start);
    void showStartAtLogin();

    PaneDelegate delegate_;
    Variant variant_;
    ResetAllSteps steps_;
    UpdateCheck updater_;
    std::unique_ptr<TutorialWindowController> tutorial_;
    PaneTable table_;
    QPointer<StatusItemsPlaceChoice> placeChoice_;
    QPointer<QPushButton> bCheckForUpdates_;
    QPointer<QLabel> updateStatus_;
    QPointer<QPushButton> btnHelpVersionNo_;
};

}  // namespace talvor
