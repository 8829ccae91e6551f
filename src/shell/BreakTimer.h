#pragma once

#include "alarms/CustomModalWindowController.h"
#include "platform/Scheduler.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace talvor {

namespace platform {
class SoundPlayer;
}  // namespace platform
class TalvorTakeABreakSettings;
class TalvorTimeSettings;

// "Take 5" break reminders: a work period of the set minutes, then a break sheet counting
// the break down second by second, then the next work period, until the set number of breaks
// has run. Starts stopped. Every timer runs on the given scheduler. Main thread only.
class BreakTimer : public CustomModalWindowDelegate {
  public:
    struct Hooks {
        // Reminders were started (false) or stopped (true): the "Take 5..." item now offers
        // "Stop" or "Start". The menu's owner rebuilds that group.
        std::function<void(bool isStop)> take5StateChanged;
        // Opens the settings window on the break pane.
        std::function<void()> showTake5Prefrences;
        // The window the break sheet is shown on; none gives the sheet a window of its own.
        std::function<QWidget*()> sheetParent;
    };

    // None is owned; all must outlive the object.
    BreakTimer(platform::Scheduler& scheduler, TalvorTakeABreakSettings& breakSettings,
               TalvorTimeSettings& timeSettings, Hooks hooks);
    ~BreakTimer() override;
    BreakTimer(const BreakTimer&) = delete;
    BreakTimer& operator=(const BreakTimer&) = delete;

    // The menu's "Start": a new run of reminders, from the first work period.
    void enableTake5();
    // The menu's "Stop" and the sheet's Stop: no work period, no break.
    void disableTake5() override;
    void showTake5Prefrences() override;
    // Tells the menu's owner the current state again (the feature was shown or hidden).
    void UpdateTake5();

    // Starts a work period of `minutes` (at least one), replacing the one under way.
    void startBreakTimer(int32_t minutes);
    // Ends the work period under way, if any; a break on screen goes on.
    void stopBreakTimer();
    // A work period has ended: a break begins, unless the feature is hidden.
    void takeABreakUpdate();
    // One second of the break's count-down.
    void manageTakeABreakAlertAppearance();

    bool isStop() const { return isStop_; }
    bool isWorkPeriodRunning() const { return takeABreakTimer_.isActive(); }
    // The break sheet on screen, if any.
    CustomModalWindowController* sheet() const { return myCustomModalWindowController_.get(); }
    // Breaks that ran their full length since reminders were started.
    int32_t repeatCounter() const { return repeatCounter_; }

    // The count-down text for `remaining` seconds.
    static QString breakTimeText(int64_t remaining);

  private:
    void sheetDidEnd(int returnCode);
    void dropSheet();
    void playBreakSound(const QString& path);
    void notifyState();

    platform::Scheduler& scheduler_;
    TalvorTakeABreakSettings& breakSettings_;
    TalvorTimeSettings& timeSettings_;
    Hooks hooks_;

    platform::TimerHandle takeABreakTimer_;
    platform::TimerHandle countDownTimer_;
    std::unique_ptr<CustomModalWindowController> myCustomModalWindowController_;
    // Kept playing until the next one starts.
    std::shared_ptr<platform::SoundPlayer> breakSound_;
    bool isStop_ = true;
    bool bTakerABreakAlertDisplayed_ = false;
    int32_t counter_ = 0;
    int32_t repeatCounter_ = 0;
};

}  // namespace talvor
