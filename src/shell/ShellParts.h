#pragma once

#include "BreakTimer.h"
#include "CalendarWindows.h"
#include "DueCountDowns.h"
#include "IpAddressItems.h"
#include "SettingsWindowHost.h"
#include "StatusItemsController.h"
#include "TimeMenu.h"
#include "WorldClockItems.h"

#include <QObject>
#include <QString>

#include <memory>

namespace talvor {

class AppDelegate;
class ApplicationsMenu;
namespace platform {
class Clock;
class Menu;
}  // namespace platform

// The parts of the application and how they call one another: the status items, the time
// menu and its groups, the settings window, the calendars, the count-downs and the break
// timer. Made once by the delegate, which the menus and panes call back for the
// application's commands; the delegate must outlive the parts.
class ShellParts : public QObject {
  public:
    ShellParts(AppDelegate& app, platform::Clock& clock);
    ~ShellParts() override;
    ShellParts(const ShellParts&) = delete;
    ShellParts& operator=(const ShellParts&) = delete;

    // The applications item, made when `key` is set or it exists already; else nullptr.
    ApplicationsMenu* applicationsMenuFor(const QString& key);

    std::shared_ptr<platform::Menu> timeMenu;
    std::unique_ptr<StatusItemsController> items;
    std::unique_ptr<SettingsWindowHost> settings;
    std::unique_ptr<IpAddressItems> ip;
    // Made when a setting first asks for it.
    std::unique_ptr<ApplicationsMenu> applications;
    std::unique_ptr<CalendarWindows> calendars;
    std::unique_ptr<DueCountDowns> dueCountDowns;
    std::unique_ptr<BreakTimer> breakTimer;
    std::unique_ptr<WorldClockItems> worldClocks;
    std::unique_ptr<TimeMenu> timeMenuItems;

  private:
    void makeSettingsWindow(AppDelegate& app);
    void makeTimeMenu(AppDelegate& app, platform::Clock& clock);
    void makeBreakTimer();

    // The "Take 5..." item waits for the time menu to close before it is rebuilt.
    bool take5ItemStale_ = false;
};

}  // namespace talvor
