#include "AppDelegate.h"

#include "ApplicationsMenu.h"
#include "MenuBarDrawing.h"
#include "TalvorNSApplication.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/ztCalendarController.h"
#include "crash/CrashKeys.h"
#include "crash/Wreckord.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/StringsBundle.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "kit/Trellis.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/InterfaceWatcher.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/StatusBarPanel.h"
#include "platform/UserDefaults.h"
#include "prefs/PaneFactory.h"
#include "prefs/PrefsKeys.h"
#include "services/AppStartup.h"
#include "services/AppleInterfaceStyle.h"
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/PFMoveApplication.h"
#include "services/SwitchLightDarkVC.h"
#include "services/SystemEventMonitor.h"
#include "services/SystemEventNames.h"
#include "services/TimedAppearanceSwitching.h"
#include "sky/SunInfoWindow.h"
#include "sky/SunInfoWindowController.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/TalvorLocationWinCtrl.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include <cmath>
#include <exception>
#include <utility>

namespace talvor {
namespace {

// A tick later than this after the last one (asleep, clock set) strikes no missed chimes.
constexpr double kChimeCatchUpSeconds = 120.0;

qint64 dayOfMonth(Date now, const QTimeZone& zone) {
    return now.toQDateTime().toTimeZone(zone).date().day();
}

}  // namespace

AppDelegate::AppDelegate() : AppDelegate(Options{}) {}

AppDelegate::AppDelegate(Options options)
    : options_(std::move(options)),
      clock_(platform::Clock::shared()),
      timeMenu_(platform::Menu::create()) {
    items_ = std::make_unique<StatusItemsController>(*this, TalvorTimeSettings::sharedInstance(),
                                                     TalvorDateSettings::sharedInstance());
    calendars_ = std::make_unique<CalendarWindows>(*items_, *this);
    dueCountDowns_ = std::make_unique<DueCountDowns>(clock_);
    SwitchLightDarkDelegate lightDark;
    lightDark.UpdateMenu = [this](int code) { UpdateMenu(code); };
    lightDark.openURL = [this](const QUrl& url) { openURL(url); };
    TalvorMenuDelegate menuItems;
    menuItems.UpdateMenu = [this](qint32 code) { UpdateMenu(code); };
    menuItems.locationTimeZoneSetup = [](QWidget* window) {
        TalvorLocationWinCtrl::sharedInstance().showTZLocationSheet(window);
    };
    menuItems.openURL = [this](const QUrl& url) { openURL(url); };
    PaneDelegate panes;
    panes.updatedCalendar = [this] { calendars_->updatedCalendar(); };
    panes.setupASMMenu = [this] { setupASMMenu(); };
    panes.applicationChange = [this] {
        if (asm_) {
            asm_->applicationChange();
        }
    };
    panes.appDockIcon = [this] { UpdateAppDockIcon(); };
    panes.openURL = [this](const QUrl& url) { openURL(url); };
    panes.LoadTimerOptions = [] {
        if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
            if (TalvorChimeSettings* chimes = app->theChimeSettings()) {
                chimes->LoadTimerOptions();
            }
        }
    };
    settings_ = std::make_unique<SettingsWindowHost>(
        *this, PaneFactory::standard(lightDark, menuItems, panes));

    TimeMenu::addFixedItems(*timeMenu_, {.preferences = [this] { showPrefs(); },
                                         .help = [this] { showHelp(); },
                                         .quit = [this] { quit(); }});
    WorldClockItems::Actions worldActions;
    worldActions.openURL = [this](const QUrl& url) {
        openURL(url);
        return true;
    };
    worldActions.showSunInfo = [this](const QString& city) {
        actSunriseSunsetMenuItemSelection(city);
    };
    worldActions.editLocations = [this] { actEditLocationSelection(); };
    worldClocks_ = std::make_unique<WorldClockItems>(
        *timeMenu_, TalvorTimeSettings::sharedInstance(), clock_, menuloc,
        [] { return TalvorMenuItemFlags; }, worldActions);
    TimeMenu::Actions actions;
    actions.switchLighDarkMode = [this] { switchLighDarkMode(); };
    actions.showFloating = [this] { showFloating(); };
    actions.reloadLocations = [this] { reloadLocListNow(); };
    actions.showCountDownTimer = [this] { settings_->showCountDownTimer(); };
    actions.showDateDifferenceCalculator = [this] { settings_->showDateDifferenceCalculator(); };
    actions.showGlobalScheduler = [this] { settings_->showGlobalScheduler(); };
    actions.showTake5Prefrences = [this] { settings_->showTake5Prefrences(); };
    actions.enableTake5 = [this] { breakTimer_->enableTake5(); };
    actions.disableTake5 = [this] { breakTimer_->disableTake5(); };
    actions.showLightDarkModePrefrences = [this] { settings_->showLightDarkModePrefrences(); };
    ip_ =
        std::make_unique<IpAddressItems>(*timeMenu_, TalvorTimeSettings::sharedInstance(), menuloc);
    timeMenuItems_ = std::make_unique<TimeMenu>(*timeMenu_, TalvorTimeSettings::sharedInstance(),
                                                *worldClocks_, ip_.get(), std::move(actions));
    AlarmMenuController::mainMenuController().awakeFromNib(this);

    BreakTimer::Hooks breakHooks;
    breakHooks.take5StateChanged = [this](bool isStop) {
        timeMenuItems_->isStop = isStop;
        // Rebuilding the item under the open menu would close its submenu.
        if (timeMenu_->isOpen()) {
            take5ItemStale_ = true;
        } else {
            UpdateMenu(TimeMenu::Take5);
        }
    };
    breakHooks.showTake5Prefrences = [this] { settings_->showTake5Prefrences(); };
    breakHooks.sheetParent = [this]() -> QWidget* {
        QWidget* window = settings_->window();
        return window != nullptr && window->isVisible() ? window : nullptr;
    };
    breakTimer_ = std::make_unique<BreakTimer>(
        platform::Scheduler::shared(), TalvorTakeABreakSettings::sharedInstance(),
        TalvorTimeSettings::sharedInstance(), std::move(breakHooks));
    connect(timeMenu_.get(), &platform::Menu::didClose, this, [this] {
        if (std::exchange(take5ItemStale_, false)) {
            QMetaObject::invokeMethod(
                this, [this] { UpdateMenu(TimeMenu::Take5); }, Qt::QueuedConnection);
        }
    });
    connect(&clock_, &platform::Clock::zoneChanged, this, &AppDelegate::TimeZoneChanged);
    connect(&clock_, &platform::Clock::timeJumped, this, &AppDelegate::resume);
}

AppDelegate::~AppDelegate() {
    // First: its sheet may still report to the menu and settings window as it goes.
    breakTimer_.reset();
    // The alarm menu's controller lives for the process.
    AlarmMenuController::mainMenuController().awakeFromNib(nullptr);
}

void AppDelegate::applicationDidFinishLaunching() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // Registered first, so that the crash-reporting kit reads YES when it starts.
    defaults.registerDefaults({{QString::fromLatin1(keys::NSApplicationCrashOnExceptions), true}});
    try {
        kit::Trellis::with({&kit::KitClass::of<crash::Wreckord>()});
    } catch (const std::exception& e) {
        platform::log(
            QStringLiteral("The kits did not start: %1").arg(QString::fromUtf8(e.what())));
    }
    defaults.setBool(true, QStringLiteral("NSQuitAlwaysKeepsWindows"));
    platform::log(QStringLiteral("starting Talvor for Intel 64Bit %1")
                      .arg(QCoreApplication::applicationVersion()));

    PFMoveToApplicationsFolderIfNecessary();
    AppearanceService::shared();

    if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        if (app->theChimeSettings() == nullptr) {
            app->setTheChimeSettings(std::make_unique<TalvorChimeSettings>());
        }
        app->theChimeSettings()->LoadTimerOptions();
    }
    loadTalvorMenuItemFlags();
    reloadLocListNow();
    TalvorMenuBarFlags =
        static_cast<quint32>(PreferenceDomain::readInteger(keys::MenuBarOptBits, 0));

    extraHeight = platform::StatusBar::systemStatusBar().thickness();
    moon();
    HotKeyManager::sharedManager().loadFromPrefs(keys::HotKeys);
    items_->updateMenuBarItems();
    UpdateAppDockIcon();
    if (options_.showPanel) {
        panel_ = std::make_unique<platform::StatusBarPanel>(platform::StatusBar::systemStatusBar());
        panel_->show();
    }
    scheduleTick();
    TalvorTakeABreakSettings::sharedInstance().loadPrefs();
    // The break timer starts stopped: its menu offers "Start".
    timeMenuItems_->isStop = true;
    floatingClockCtrl_ = std::make_unique<TalvorFloatingClockCtrl>();
    floatingClockCtrl_->LoadFloatingOptions();
    registerObservers();
    DrawTimeMenuItems();

    LoginItems::shared().synchronizeStartAtLogin();
    timeMenu_->setAutoenablesItems(true);
    boarding_.showAtFirstLaunch();
    if (PreferenceDomain::readInteger(QStringLiteral("IsAlreadyLaunched"), 0) == 0) {
        PreferenceDomain::writeInteger(QStringLiteral("IsAlreadyLaunched"), 1);
        PreferenceDomain::store().synchronize();
        defaults.setBool(true, QStringLiteral("StartAtLogin"));
        defaults.synchronize();
        LoginItems::shared().setEnabled(true);
    }
    HotKeyManager::sharedManager().addObserver(this, &AppDelegate::hotKeyDown,
                                               &AppDelegate::hotKeyUp, keys::ToggleHotKey);
    HotKeyManager::sharedManager().addObserver(this, &AppDelegate::hotKeyDown,
                                               &AppDelegate::hotKeyUp, keys::CenterHotKey);
    repairColours();
    if (defaults.boolForKey(keys::Floater) && defaults.boolForKey(keys::FloaterState)) {
        if (platform::MenuItem* item = timeMenu_->itemWithTag(TimeMenu::kFloatingClocksTag)) {
            item->setState(platform::ControlState::On);
        }
        timeMenuItems_->IsShowFloatingClock = true;
        platform::DistributedNotificationCenter::defaultCenter().post(
            keys::TalvorFloatingClockPrefsChangeNotification);
    }
    repairDatePattern();
    // A login brings no session notice of its own: the login item says it started us.
    if (options_.startedAtLogin) {
        dueCountDowns_->receiveLoginNotification();
    }
}

void AppDelegate::registerObservers() {
    platform::NotificationCenter& local = platform::NotificationCenter::defaultCenter();
    SystemEventMonitor::sharedMonitor();
    for (const QString& name :
         {NSWorkspaceDidWakeNotification, NSWorkspaceSessionDidBecomeActiveNotification}) {
        const bool wake = name == NSWorkspaceDidWakeNotification;
        observations_.push_back(
            local.addObserver(name, QVariant(), [this, wake](const platform::Notification&) {
                // Queued on this object, so a notice arriving at shut-down finds nobody.
                QMetaObject::invokeMethod(
                    this,
                    [this, wake] {
                        if (wake) {
                            dueCountDowns_->receiveWakeNotification();
                        } else {
                            dueCountDowns_->receiveLoginNotification();
                        }
                        resume();
                    },
                    Qt::QueuedConnection);
            }));
    }
    ip_->setLinesChanged([this] { addMenuSeperator(); });
    ip_->startObservingNetwork();
    // A shutdown of the machine quits as the Quit command does: alarms and settings saved.
    observations_.push_back(local.addObserver(
        NSWorkspaceWillPowerOffNotification, QVariant(), [this](const platform::Notification&) {
            QMetaObject::invokeMethod(
                this, [this] { quit(); }, Qt::QueuedConnection);
        }));
    platform::DistributedNotificationCenter& distributed =
        platform::DistributedNotificationCenter::defaultCenter();
    observations_.push_back(
        distributed.addObserver(keys::TalvorMenuBarDatePrefsChangeNotification, QVariant(),
                                [this](const platform::Notification&) {
                                    TalvorTimeSettings::sharedInstance().loadPrefs();
                                    TalvorDateSettings::sharedInstance().loadPrefs();
                                    items_->dateSettingUpdate(true);
                                }));
    observations_.push_back(
        distributed.addObserver(keys::TalvorFloatingClockPrefsChangeNotification, QVariant(),
                                [this](const platform::Notification& notification) {
                                    LoadFloatingOptions(&notification);
                                }));
    observations_.push_back(
        distributed.addObserver(keys::TalvorCalendarPrefsChangeNotification, QVariant(),
                                [this](const platform::Notification& notification) {
                                    calendars_->CalendarPrefsUpdates(notification);
                                }));
    observations_.push_back(distributed.addObserver(
        AppleInterfaceThemeChangedNotification, QVariant(), [this](const platform::Notification&) {
            items_->UpdateFontColorMenuBar();
            moonUpdate();
        }));
}

// The workspace is only watched once a setting asks for the applications item or the
// taskbar switch; until then every window keeps its taskbar presence, as windows start.
ApplicationsMenu* AppDelegate::applicationsMenuFor(const QString& key) {
    if (!asm_ && PreferenceDomain::readInteger(key, 0) != 0) {
        asm_ = std::make_unique<ApplicationsMenu>([this] { settings_->showAppMenuPreferences(); });
    }
    return asm_.get();
}

void AppDelegate::setupASMMenu() {
    if (ApplicationsMenu* menu = applicationsMenuFor(keys::ASMFlag)) {
        menu->setupASMMenu();
    }
}

void AppDelegate::UpdateAppDockIcon() {
    if (ApplicationsMenu* menu = applicationsMenuFor(keys::AppDockIconFlag)) {
        menu->UpdateAppDockIcon();
    }
}

void AppDelegate::scheduleTick() {
    // On the grid of whole seconds, so that the seconds shown change with the wall clock.
    const double now = clock_.now().timeIntervalSinceReferenceDate();
    updateTimer_ = platform::Scheduler::shared().scheduleRepeating(
        Date::fromReference(std::floor(now) + 1.0), 1.0, [this] { updateTimeDate(); });
}

void AppDelegate::stopTimer() {
    updateTimer_.cancel();
}

void AppDelegate::TimeZoneChanged() {
    texts_.reset();
    platform::debugLog(
        QStringLiteral("Changed: TimeZone: %1").arg(QString::fromUtf8(clock_.currentZone().id())));
    resume();
}

void AppDelegate::resume() {
    lastDay = -1;
    // Everything shown is recomputed at once, not at the next tick.
    if (updateTimer_.isActive()) {
        updateTimeDate();
    }
}

QString AppDelegate::timeItemText(Date now) {
    const TalvorTimeSettings& time = TalvorTimeSettings::sharedInstance();
    return texts_.timeText(time.timeFormat, now, clock_.currentZone(), time.flashSeparator);
}

QString AppDelegate::dateItemText(Date now) {
    return texts_.dateText(TalvorDateSettings::sharedInstance().dateFormat, now,
                           clock_.currentZone());
}

void AppDelegate::updateTimeDate() {
    const Date now = clock_.now();
    const QTimeZone zone = clock_.currentZone();
    TimedAppearanceSwitching::tick(now, zone);
    items_->UpdateFontColorMenuBar();
    if (TalvorTimeSettings::sharedInstance().showLoctionNames) {
        worldClocks_->refreshForTick();
    }

    if (dayOfMonth(now, zone) != lastDay) {
        lastDay = -1;
    }
    strikeChimes(now);
    lastTick_ = now;
    if (floatingClockCtrl_) {
        floatingClockCtrl_->updateFoatingClockTime();
    }

    if (items_->TalvorDate()) {
        lastDay = -1;
        if (!TalvorDateSettings::sharedInstance().showDateInMenu) {
            items_->customDateStatusItem()->setText(platform::AttributedString(), 0.0f,
                                                    items_->TalvorDate()->buttonFrame());
        } else {
            items_->updateDateItem(dateItemText(now));
        }
    }
    if (items_->TalvorTime()) {
        items_->updateTimeItem(timeItemText(now));
    }
    items_->updateAnalogIcon(now);
    if (lastDay == -1) {
        moonUpdate();
    }
    lastDay = dayOfMonth(now, zone);
}

// Each minute that began since the last tick gets its chime, so a late tick loses none;
// after a long gap only the current minute counts, and a clock set back strikes nothing.
void AppDelegate::strikeChimes(Date now) {
    TalvorNSApplication* app = TalvorNSApplication::instance();
    TalvorChimeSettings* chimes = app != nullptr ? app->theChimeSettings() : nullptr;
    const auto minuteOf = [](Date d) {
        return std::floor(d.timeIntervalSinceReferenceDate() / 60.0);
    };
    const double current = minuteOf(now);
    double first = current;
    if (!lastTick_) {
        // The first tick chimes only when it falls on second 0, as every tick did before.
        if (now.timeIntervalSinceReferenceDate() - current * 60.0 >= 1.0) {
            return;
        }
    } else {
        const double gap = now.timeIntervalSince(*lastTick_);
        // A clock set back repeats minutes already struck.
        if (gap <= 0 || !minuteChanged(*lastTick_, now)) {
            return;
        }
        if (gap <= kChimeCatchUpSeconds) {
            first = minuteOf(*lastTick_) + 1;
        }
    }
    for (auto minute = static_cast<qint64>(first); minute <= current; ++minute) {
        const Date start = Date::fromReference(minute * 60.0);
        chimedMinutes_.push_back(start);
        if (chimes != nullptr) {
            chimes->doChimesIfNeeded(start, StringsBundle::mainBundle());
        }
    }
    // The record is for tests; keep it short.
    if (chimedMinutes_.size() > 16) {
        chimedMinutes_.erase(chimedMinutes_.begin(), chimedMinutes_.end() - 16);
    }
}

void AppDelegate::moonUpdate() {
    if (!items_) {
        return;  // asked while the status items are still being made
    }
    const double height =
        extraHeight > 0 ? extraHeight : platform::StatusBar::systemStatusBar().thickness();
    moon().moonUpdate(*items_, height);
}

void AppDelegate::LocationChangeNotification() {
    platform::debugLog(QStringLiteral("Talvor changed location..."));
    // The world-clock group reloads the list; the floating clocks then take the fresh one.
    for (qint32 code : std::initializer_list<qint32>{TimeMenu::ExternalIP, 111, TimeMenu::Alarms,
                                                     TimeMenu::Take5, TimeMenu::WorldClocks}) {
        UpdateMenu(code);
    }
    if (floatingClockCtrl_) {
        floatingClockCtrl_->reorderFloatingClocks(worldClocks_->LocationList());
    }
}

void AppDelegate::LoadFloatingOptions(const platform::Notification* notification) {
    if (!floatingClockCtrl_) {
        return;
    }
    floatingClockCtrl_->LoadFloatingOptions(notification);
    if (notification != nullptr) {
        reloadLocListNow();
        floatingClockCtrl_->TimeZoneFloating(worldClocks_->LocationList());
    }
}

void AppDelegate::actEditLocationSelection() {
    settings_->showPrefs();
    settings_->loadPrefsView(QStringLiteral("TalvorMenuViewController"),
                             QStringLiteral("PrefsMenu"), QStringLiteral("Menu Items"));
    // What the Menu Items pane's locationTimeZoneSetup does: the locations as a sheet on it.
    TalvorLocationWinCtrl& locations = TalvorLocationWinCtrl::sharedInstance();
    locations.updateMenu = [this] { UpdateMenu(TimeMenu::WorldClocks); };
    locations.showTZLocationSheet(settings_->window());
}

void AppDelegate::actSunriseSunsetMenuItemSelection(const QString& city) {
    if (!sunInfo_) {
        // The list the menu shows, not a fresh read of the file.
        sunInfo_ = std::make_unique<SunInfoWindowController>(
            clock_, [this] { return std::optional<LocationTable>(worldClocks_->LocationList()); });
    }
    sunInfo_->setCityName(city);
    sunInfo_->showInfoForSelectedCity();
    sunInfo_->window()->center();
    sunInfo_->showWindow();
}

void AppDelegate::showFloating() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (!defaults.boolForKey(keys::Floater)) {
        return;
    }
    TimeMenu& menu = *timeMenuItems_;
    platform::MenuItem* item = timeMenu_->itemWithTag(TimeMenu::kFloatingClocksTag);
    menu.IsShowFloatingClock = !menu.IsShowFloatingClock;
    if (item != nullptr) {
        item->setState(menu.IsShowFloatingClock ? platform::ControlState::On
                                                : platform::ControlState::Off);
    }
    defaults.setBool(menu.IsShowFloatingClock, keys::FloaterState);
    if (!menu.IsShowFloatingClock) {
        if (floatingClockCtrl_) {
            floatingClockCtrl_->hideClocks();
        }
    } else {
        platform::DistributedNotificationCenter::defaultCenter().post(
            keys::TalvorFloatingClockPrefsChangeNotification);
    }
    if (defaults.synchronize()) {
        platform::debugLog(QStringLiteral("FC saved success"));
    }
}

void AppDelegate::switchLighDarkMode() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(QStringLiteral("Manual"), QStringLiteral("AppearanceSwitch"));
    defaults.synchronize();
    if (isDarkAppearance(defaults)) {
        ChangeAppearance::makeLight();
    } else {
        ChangeAppearance::makeDark();
    }
}

void AppDelegate::showHelp() {
    openURL(QUrl(QString::fromLatin1(SwitchLightDarkVC::kHelpHost) +
                 QStringLiteral("/talvor-manual/")));
}

void AppDelegate::openURL(const QUrl& url) {
    if (!QDesktopServices::openUrl(url)) {
        platform::log(QStringLiteral("Could not open %1").arg(url.toString()));
    }
}

void AppDelegate::SetAlarmPrefSetControllerDelegate(QObject* alarmSetController) {
    if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        app->SetAlarmPrefSetControllerDelegate(alarmSetController);
    }
}

void AppDelegate::quit() {
    if (options_.terminate) {
        options_.terminate();
    } else if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        app->terminate();
    } else {
        QCoreApplication::quit();
    }
}

void AppDelegate::hotKeyDown(HotKey& hotKey) {
    calendars_->hotKeyDown(hotKey);
}

void AppDelegate::hotKeyUp(HotKey& hotKey) {
    calendars_->hotKeyUp(hotKey);
}

QWidget* AppDelegate::minnowCalendarWindow() {
    return MinnowCalendarController::sharedInstance().window();
}

MoonDisplay& AppDelegate::moon() {
    if (!moon_) {
        moon_ = std::make_unique<MoonDisplay>(TalvorDateSettings::sharedInstance(), clock_);
        moon_->loadMoonStringsFromBundle(StringsBundle::mainBundle());
    }
    return *moon_;
}

QImage AppDelegate::mooonImage(Date date) {
    return moon().mooonImage(date);
}

QString AppDelegate::addNextMoons(const std::optional<QString>& prefix, Date onDate) {
    return moon().addNextMoons(onDate, prefix);
}

void AppDelegate::repairColours() {
    TalvorTimeSettings& time = TalvorTimeSettings::sharedInstance();
    TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    const bool dark = platform::UserDefaults::standard().stringForKey(keys::AppleInterfaceStyle) ==
                      QLatin1String("Dark");
    if (!dark) {
        if (isWhite(date.dateColor)) {
            date.dateColor = Qt::black;
            date.writePrefsAndSync();
        }
        if (isWhite(time.timeColor)) {
            time.timeColor = Qt::black;
            time.writePrefsAndSync();
        }
    } else {
        if (isNearBlack(date.dateColorDMode)) {
            date.dateColorDMode = Qt::white;
            date.writePrefsAndSync();
        }
        if (isNearBlack(time.timeColorDMode)) {
            time.timeColorDMode = Qt::white;
            time.writePrefsAndSync();
        }
    }
}

void AppDelegate::repairDatePattern() {
    TalvorDateSettings& date = TalvorDateSettings::sharedInstance();
    if (date.dateFormat.contains(QLatin1Char('Y'))) {
        date.dateFormat.replace(QLatin1Char('Y'), QLatin1Char('y'));
        date.writePrefsAndSync();
    }
}

void AppDelegate::applicationWillTerminate() {
    observations_.clear();
    breakTimer_->stopBreakTimer();
    ip_->stopObservingNetwork();
    settings_->saveOpenPane();
    stopTimer();
}

}  // namespace talvor
