#include "ShellParts.h"

#include "AppDelegate.h"
#include "ApplicationsMenu.h"
#include "TalvorNSApplication.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/Scheduler.h"
#include "prefs/PaneDelegate.h"
#include "prefs/PaneFactory.h"
#include "prefs/TalvorMenuViewController.h"
#include "services/SwitchLightDarkVC.h"
#include "world/TalvorLocationWinCtrl.h"

#include <QScrollArea>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace talvor {

ShellParts::ShellParts(AppDelegate& app, platform::Clock& clock)
    : timeMenu(platform::Menu::create()) {
    items = std::make_unique<StatusItemsController>(app, TalvorTimeSettings::sharedInstance(),
                                                    TalvorDateSettings::sharedInstance());
    calendars = std::make_unique<CalendarWindows>(*items, app);
    dueCountDowns = std::make_unique<DueCountDowns>(clock);
    makeSettingsWindow(app);
    makeTimeMenu(app, clock);
    makeBreakTimer();
}

ShellParts::~ShellParts() {
    // First: its sheet may still report to the menu and settings window as it goes.
    breakTimer.reset();
}

void ShellParts::makeSettingsWindow(AppDelegate& app) {
    SwitchLightDarkDelegate lightDark;
    lightDark.UpdateMenu = [this](int code) { timeMenuItems->UpdateMenu(code); };
    lightDark.openURL = [&app](const QUrl& url) { app.openURL(url); };
    lightDark.openLocationSystemPrefrences = [&app] { app.openLocationSystemPrefrences(); };
    TalvorMenuDelegate menuItems;
    menuItems.UpdateMenu = [this](qint32 code) {
        // The line is made again, so that it fetches: the IP-echo address may be new.
        if (code == TimeMenu::ExternalIP && ip) {
            ip->UpdateIP();
        }
        timeMenuItems->UpdateMenu(code);
    };
    menuItems.locationTimeZoneSetup = [](QWidget* window) {
        TalvorLocationWinCtrl::sharedInstance().showTZLocationSheet(window);
    };
    menuItems.openURL = [&app](const QUrl& url) { app.openURL(url); };
    PaneDelegate panes;
    panes.updatedCalendar = [this] { calendars->updatedCalendar(); };
    panes.setupASMMenu = [&app] { app.setupASMMenu(); };
    panes.applicationChange = [this] {
        if (applications) {
            applications->applicationChange();
        }
    };
    panes.appDockIcon = [&app] { app.UpdateAppDockIcon(); };
    panes.openURL = [&app](const QUrl& url) { app.openURL(url); };
    panes.UpdateMenu = [this](qint32 code) { timeMenuItems->UpdateMenu(code); };
    panes.UpdateTake5 = [this] {
        if (breakTimer) {
            breakTimer->UpdateTake5();
        }
    };
    panes.enableTake5 = [this] {
        if (breakTimer) {
            breakTimer->enableTake5();
        }
    };
    panes.disableTake5 = [this] {
        if (breakTimer) {
            breakTimer->disableTake5();
        }
    };
    panes.LoadTimerOptions = [] {
        if (TalvorNSApplication* application = TalvorNSApplication::instance()) {
            if (TalvorChimeSettings* chimes = application->theChimeSettings()) {
                chimes->LoadTimerOptions();
            }
        }
    };
    panes.updateMenuBarItems = [this] { items->updateMenuBarItems(); };
    panes.setShowFloating = [&app](bool show) { app.setShowFloating(show); };
    panes.setStatusItemsPlace = [&app](platform::StatusItemsPlace place) {
        app.setStatusItemsPlace(place);
    };
    panes.showBoardingScreen = [&app] { app.boarding().showBoardingScreen(); };
    panes.UpdateMenu = [this](qint32 code) { timeMenuItems->UpdateMenu(code); };
    panes.locationTimeZoneSetup = [](QWidget* window) {
        TalvorLocationWinCtrl::sharedInstance().showTZLocationSheet(window);
    };
    settings = std::make_unique<SettingsWindowHost>(
        app, PaneFactory::standard(lightDark, menuItems, panes));
    settings->setQuitAction([&app] { app.quit(); });
}

void ShellParts::makeTimeMenu(AppDelegate& app, platform::Clock& clock) {
    TimeMenu::addFixedItems(*timeMenu, {.preferences = [&app] { app.showPrefs(); },
                                        .help = [&app] { app.showHelp(); },
                                        .quit = [&app] { app.quit(); },
                                        .stopwatch = [&app] { app.orderStopWatch(); }});
    WorldClockItems::Actions worldActions;
    worldActions.openURL = [&app](const QUrl& url) {
        app.openURL(url);
        return true;
    };
    worldActions.showSunInfo = [&app](const QString& city) {
        app.actSunriseSunsetMenuItemSelection(city);
    };
    worldActions.editLocations = [&app] { app.actEditLocationSelection(); };
    worldClocks = std::make_unique<WorldClockItems>(
        *timeMenu, TalvorTimeSettings::sharedInstance(), clock, [] { return TalvorMenuItemFlags; },
        worldActions);
    TimeMenu::Actions actions;
    actions.switchLighDarkMode = [&app] { app.switchLighDarkMode(); };
    actions.showFloating = [&app] { app.showFloating(); };
    actions.reloadLocations = [this] { worldClocks->reloadLocListNow(); };
    actions.showCountDownTimer = [this] { settings->showCountDownTimer(); };
    actions.showDateDifferenceCalculator = [this] { settings->showDateDifferenceCalculator(); };
    actions.showGlobalScheduler = [this] { settings->showGlobalScheduler(); };
    actions.showTake5Prefrences = [this] { settings->showTake5Prefrences(); };
    actions.enableTake5 = [this] { breakTimer->enableTake5(); };
    actions.disableTake5 = [this] { breakTimer->disableTake5(); };
    actions.showLightDarkModePrefrences = [this] { settings->showLightDarkModePrefrences(); };
    ip = std::make_unique<IpAddressItems>(*timeMenu, TalvorTimeSettings::sharedInstance());
    ip->setOpenEchoAddressSetting([this] {
        settings->showLocationsPrefs();
        QWidget* pane = settings->currentView();
        if (auto* field = pane != nullptr ? pane->findChild<QWidget*>(QStringLiteral("ipEchoURL"))
                                          : nullptr) {
            settings->paneArea()->ensureWidgetVisible(field);
            field->setFocus(Qt::OtherFocusReason);
        }
    });
    timeMenuItems = std::make_unique<TimeMenu>(*timeMenu, TalvorTimeSettings::sharedInstance(),
                                               *worldClocks, ip.get(), std::move(actions));
}

void ShellParts::makeBreakTimer() {
    BreakTimer::Hooks breakHooks;
    breakHooks.take5StateChanged = [this](bool isStop) {
        timeMenuItems->isStop = isStop;
        // Rebuilding the item under the open menu would close its submenu.
        if (timeMenu->isOpen()) {
            take5ItemStale_ = true;
        } else {
            timeMenuItems->UpdateMenu(TimeMenu::Take5);
        }
    };
    breakHooks.showTake5Prefrences = [this] { settings->showTake5Prefrences(); };
    breakHooks.sheetParent = [this]() -> QWidget* {
        QWidget* window = settings->window();
        return window != nullptr && window->isVisible() ? window : nullptr;
    };
    breakTimer = std::make_unique<BreakTimer>(
        platform::Scheduler::shared(), TalvorTakeABreakSettings::sharedInstance(),
        TalvorTimeSettings::sharedInstance(), std::move(breakHooks));
    connect(timeMenu.get(), &platform::Menu::didClose, this, [this] {
        if (std::exchange(take5ItemStale_, false)) {
            QMetaObject::invokeMethod(
                this, [this] { timeMenuItems->UpdateMenu(TimeMenu::Take5); }, Qt::QueuedConnection);
        }
    });
}

// The workspace is only watched once a setting asks for the applications item or the
// taskbar switch; until then every window keeps its taskbar presence, as windows start.
ApplicationsMenu* ShellParts::applicationsMenuFor(const QString& key) {
    if (!applications && PreferenceDomain::readInteger(key, 0) != 0) {
        applications =
            std::make_unique<ApplicationsMenu>([this] { settings->showAppMenuPreferences(); });
    }
    return applications.get();
}

}  // namespace talvor
