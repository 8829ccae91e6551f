#pragma once

#include "platform/Date.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"
#include "platform/StatusBar.h"
#include "platform/TaskbarPresence.h"
#include "platform/Workspace.h"

#include <QHash>

#include <functional>
#include <memory>
#include <vector>

namespace talvor {

// The applications item: an optional status item showing the frontmost application, whose
// menu lists the running applications, the recently used ones and the desktop's settings
// panels, and ends with this program's own settings. Also the switch that keeps the
// program out of the taskbar. Owned by the application delegate; main thread only.
class ApplicationsMenu {
  public:
    static constexpr qint64 kTalvorPreferencesTag = 8001;

    // `showAppMenuPreferences` opens the applications-menu settings. None of the references
    // is owned; all must outlive the menu.
    explicit ApplicationsMenu(
        std::function<void()> showAppMenuPreferences,
        platform::Workspace& workspace = platform::Workspace::shared(),
        platform::StatusBar& statusBar = platform::StatusBar::systemStatusBar(),
        platform::TaskbarPresence& presence = platform::TaskbarPresence::shared());
    ~ApplicationsMenu();
    ApplicationsMenu(const ApplicationsMenu&) = delete;
    ApplicationsMenu& operator=(const ApplicationsMenu&) = delete;

    // Creates the item (and once for good the workspace observers) when "ASMFlag" is on,
    // removes it when off; a second call with the flag on keeps the one item. Without
    // `withMenu` the item shows the frontmost application at once and gets its menu from
    // buildMenu() (start-up: the menu's scan of the desktop waits for the strip's first frame).
    void setupASMMenu(bool withMenu = true);
    // Builds the item's menu if the item exists and has none yet.
    void buildMenu();
    // Shows the frontmost application's icon on the item, and its name when "ASMIconFlag" is 0.
    void applicationActived();
    // Rebuilds `asmMenu`; while it is open, once it closes.
    void applicationChange();
    void addRecentOpenedAppItemsSubMenu();
    void addSystemPrefsSubMenu();
    void openASMItem(platform::MenuItem& sender);
    void openASMPrefs(platform::MenuItem& sender);
    // A "Recent Items" submenu of the running applications; kept for callers to come.
    void addRunningAppsItemsSubMenu();
    // In the taskbar unless "AppDockIconFlag" is non-zero.
    void UpdateAppDockIcon();

    // The item, or nullptr while "ASMFlag" is off.
    const std::shared_ptr<platform::StatusItem>& TalvorASM() const { return TalvorASM_; }
    // Made by the first rebuild.
    const std::shared_ptr<platform::Menu>& asmMenu() const { return asmMenu_; }

  private:
    void registerObservers();
    // "Alpha (1 h 5 min)": how long the application has been running, while the timing
    // option is on and it has run a minute or more.
    QString runningTitle(const platform::RunningApplication& app) const;
    void retitleRunning();
    std::shared_ptr<platform::Menu> appendSubmenu(const QString& title);

    std::function<void()> showAppMenuPreferences_;
    platform::Workspace& workspace_;
    platform::StatusBar& TalvorBar_;
    platform::TaskbarPresence& presence_;
    std::shared_ptr<platform::StatusItem> TalvorASM_;
    std::shared_ptr<platform::Menu> asmMenu_;
    std::vector<platform::Observation> observations_;
    bool rebuildWhenClosed_ = false;
    // When each running application was first seen running, by its URL.
    QHash<QString, Date> firstSeen_;
};

}  // namespace talvor
