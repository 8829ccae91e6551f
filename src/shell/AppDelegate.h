#pragma once

#include "MoonDisplay.h"
#include "StatusItemsController.h"
#include "TimeDateText.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace talvor {

class HotKey;
namespace platform {
class Clock;
class StatusBarPanel;
}  // namespace platform

// The application delegate: start-up, the one-second tick and shut-down. It owns the
// status items and hands the settings, the clock and the bar to the parts that draw them.
class AppDelegate : public QObject, public StatusItemsDelegate {
    Q_OBJECT
public:
    struct Options {
        bool showPanel = true;  // false in tests: the items are drawn offscreen
    };

    AppDelegate();
    explicit AppDelegate(Options options);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // The one-second tick.
    void updateTimeDate() override;
    void stopTimer();

    // Forces the tick's full update (zone change, wake, session, date settings).
    void TimeZoneChanged();
    void resume();

    void hotKeyDown(HotKey& hotKey);
    void hotKeyUp(HotKey& hotKey);

    // StatusItemsDelegate.
    std::shared_ptr<platform::Menu> timeMenu() override { return timeMenu_; }
    void setLastDay(qint64 day) override { lastDay = day; }
    void setupASMMenu() override {}
    void moonUpdate() override;
    void showCal() override {}
    QString timeItemText(Date now) override;
    QString dateItemText(Date now) override;

    StatusItemsController& statusItems() { return *items_; }
    // The minutes whose chimes the last ticks asked for, latest last.
    const std::vector<Date>& chimedMinutes() const { return chimedMinutes_; }
    qint64 lastDay = -1;
    quint32 TalvorMenuItemFlags = 0;
    double extraHeight = 0;
    // Guards the time menu's lines against the IP-address thread of the time menu.
    std::mutex menuloc;

private:
    void scheduleTick();
    void strikeChimes(Date now);
    void registerObservers();
    void repairColours();
    void repairDatePattern();

    Options options_;
    platform::Clock& clock_;
    std::shared_ptr<platform::Menu> timeMenu_;
    std::unique_ptr<StatusItemsController> items_;
    std::unique_ptr<platform::StatusBarPanel> panel_;
    platform::TimerHandle updateTimer_;
    TimeDateText texts_;
    std::optional<Date> lastTick_;
    std::vector<Date> chimedMinutes_;
    std::vector<platform::Observation> observations_;
    // Made at launch, or at the first refresh when the delegate runs without a launch.
    std::unique_ptr<MoonDisplay> moon_;
};

}  // namespace talvor
