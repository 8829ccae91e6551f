#include "AppDelegate.h"

#include "ApplicationsMenu.h"
#include "KitStart.h"
#include "MenuBarDrawing.h"
#include "TalvorNSApplication.h"
#include "alarms/PlatformChimeSounds.h"
#include "alarms/StopWatch.h"
#include "alarms/TalvorChimeSettings.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "calendar/Reminder.h"
#include "calendarui/CalendarUiKeys.h"
#include "calendarui/MinnowCalendarController.h"
#include "calendarui/ztCalendarController.h"
#include "crash/CrashKeys.h"
#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/StringsBundle.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FirstFrame.h"
#include "platform/InterfaceWatcher.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "platform/Preferences.h"
#include "platform/ProcessLauncher.h"
#include "platform/StatusBarPanel.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "prefs/PrefsKeys.h"
#include "services/AppStartup.h"
#include "services/AppleInterfaceStyle.h"
#include "services/AudioStorageController.h"
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/Manual.h"
#include "services/PFMoveApplication.h"
#include "services/SwitchLightDarkVC.h"
#include "services/SystemEventMonitor.h"
#include "services/SystemEventNames.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"
#include "services/TimedAppearanceSwitching.h"
#include "sky/SunInfoWindow.h"
#include "sky/SunInfoWindowController.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/TalvorLocationWinCtrl.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <exception>
#include <utility>

namespace talvor {
namespace {

const QString kNoPanelHost = QStringLiteral(
    "Desktop panel: no panel of this desktop shows status items, so they stay on the strip "
    "(on GNOME: install the AppIndicator extension)");
// Where the strip cannot dock either, the user learns what puts the items in the top bar.
const QString kNoPanelHostOnWayland = QStringLiteral(
    "Desktop panel: no panel of this Wayland desktop shows status items, so they show on "
    "Talvor's own strip, a plain window the desktop places. To have them in the top bar on "
    "GNOME, install the AppIndicator extension (sudo apt install "
    "gnome-shell-extension-appindicator) and log in again; on other desktops, run a panel "
    "with a tray (system tray, StatusNotifierItem)");

bool waylandSession() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

qint64 dayOfMonth(Date now, const QTimeZone& zone) {
    return now.toQDateTime().toTimeZone(zone).date().day();
}

}  // namespace

AppDelegate::AppDelegate() : AppDelegate(Options{}) {}

AppDelegate::AppDelegate(Options options)
    : options_(std::move(options)), clock_(platform::Clock::shared()), parts_(*this, clock_) {
    AlarmMenuController::mainMenuController().awakeFromNib(this);
    connect(&clock_, &platform::Clock::zoneChanged, this, &AppDelegate::TimeZoneChanged);
    connect(&clock_, &platform::Clock::timeJumped, this, &AppDelegate::resume);
}

AppDelegate::~AppDelegate() {
    // First: its sheet may still report to the menu and settings window as it goes.
    parts_.breakTimer.reset();
    // The alarm menu's controller lives for the process.
    AlarmMenuController::mainMenuController().awakeFromNib(nullptr);
    // The stopwatch too; it stops hearing other programs with the application.
    MyStopWatchObj::sharedPanel().stopListening();
}

void AppDelegate::applicationDidFinishLaunching() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // Registered first, so that the crash-reporting kit reads YES when it starts.
    defaults.registerDefaults({{QString::fromLatin1(keys::NSApplicationCrashOnExceptions), true}});
    startKits();
    defaults.setBool(true, QStringLiteral("NSQuitAlwaysKeepsWindows"));
    platform::log(
        QStringLiteral("starting Talvor %1 (%2)")
            .arg(QCoreApplication::applicationVersion(), QSysInfo::buildCpuArchitecture()));

    // Heard from the start: a shutdown may come while the move offer is still open.
    observeShutdown();
    // The offer's answer may take a while; the start-up goes on once the application stays.
    std::function<void()> goOn = [self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->continueLaunching();
        }
    };
    if (options_.offerMove) {
        options_.offerMove(std::move(goOn));
    } else {
        PFMoveToApplicationsFolderIfNecessary({}, std::move(goOn));
    }
}

void AppDelegate::continueLaunching() {
    if (quitRequested()) {
        return;  // asked to quit while the offer was open: nothing more is started
    }
    AppearanceService::shared();

    if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        if (app->theChimeSettings() == nullptr) {
            app->setTheChimeSettings(
                std::make_unique<TalvorChimeSettings>(&PlatformChimeSounds::shared()));
        }
        app->theChimeSettings()->LoadTimerOptions();
    }
    loadTalvorMenuItemFlags();
    TalvorMenuBarFlags =
        static_cast<quint32>(PreferenceDomain::readInteger(keys::MenuBarOptBits, kMenuBarShowTime));

    extraHeight = platform::StatusBar::systemStatusBar().thickness();
    moon();
    HotKeyManager::sharedManager().loadFromPrefs(keys::HotKeys);
    parts_.items->updateMenuBarItems();
    const std::optional<platform::StatusItemsPlace> chosen = platform::storedStatusItemsPlace();
    if (!options_.showPanel || chosen == platform::StatusItemsPlace::Strip) {
        showStatusItems(false);
        return;
    }
    // The watcher answers within moments; nothing is drawn before it has.
    platform::DesktopPanel::shared().findHost(this, [this, chosen](bool host) {
        if (!host && waylandSession()) {
            platform::log(kNoPanelHostOnWayland);
        } else if (!host && chosen) {
            platform::log(kNoPanelHost);
        }
        showStatusItems(platform::effectiveStatusItemsPlace(chosen, host) ==
                        platform::StatusItemsPlace::DesktopPanel);
    });
}

bool AppDelegate::presentInPanel() {
    panelItems_ = platform::DesktopPanel::shared().present(platform::StatusBar::systemStatusBar());
    return panelItems_ != nullptr;
}

void AppDelegate::showStatusItems(bool inPanel) {
    if (quitRequested()) {
        return;
    }
    // The strip shows now; what nothing on it needs follows once its first frame is drawn.
    if ((!inPanel || !presentInPanel()) && options_.showPanel) {
        panel_ = std::make_unique<platform::StatusBarPanel>(platform::StatusBar::systemStatusBar());
    }
    afterFirstFrame([self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->launchBehindTheStrip();
        }
    });
    if (panel_) {
        panel_->show();
    }
}

void AppDelegate::setStatusItemsPlace(platform::StatusItemsPlace place) {
    if (!stripDrawn_) {
        return;  // start-up reads the stored choice
    }
    const auto toStrip = [this] {
        panelItems_.reset();
        if (!panel_ && options_.showPanel) {
            panel_ =
                std::make_unique<platform::StatusBarPanel>(platform::StatusBar::systemStatusBar());
            panel_->show();
        }
    };
    if (place == platform::StatusItemsPlace::Strip) {
        toStrip();
        return;
    }
    platform::DesktopPanel::shared().findHost(this, [this](bool host) {
        if (!host) {
            platform::log(kNoPanelHost);
            return;
        }
        if (!panelItems_ && presentInPanel()) {
            panel_.reset();
        }
    });
}

void AppDelegate::afterFirstFrame(std::function<void()> goOn) {
    if (options_.afterFirstFrame) {
        options_.afterFirstFrame(std::move(goOn));
        return;
    }
    if (!panel_) {
        goOn();
        return;
    }
    // Once: at the first frame, or later if the window is never exposed (a display that
    // does not draw hidden windows).
    auto once = std::make_shared<std::function<void()>>(std::move(goOn));
    const auto run = [once] {
        if (const std::function<void()> f = std::exchange(*once, nullptr)) {
            f();
        }
    };
    new platform::FirstFrameWatch(*panel_, [run] {
        platform::recordFirstFrameTime();
        run();
    });
    QTimer::singleShot(kFirstFramePatienceMs, this, run);
}

void AppDelegate::launchBehindTheStrip() {
    if (quitRequested()) {
        return;  // the quit came while the strip was being drawn: nothing more is started
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    stripDrawn_ = true;
    // The settings written before the strip was drawn reach the disk now.
    platform::Preferences::releaseWrites();
    // Read on a thread of its own; nothing on the strip shows it, and its reading would
    // take processor time from the first frame on a busy machine.
    parts_.worldClocks->reloadLocListNow();
    if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        app->handOverScheduledNotifications();
    }
    if (parts_.applications) {
        parts_.applications->buildMenu();
    }
    UpdateAppDockIcon();
    // Its folders now, its copying on a thread of its own: the sound menus list the bundled
    // and the user's sounds, and are rebuilt when the copying is done.
    soundLibrary_ = std::make_unique<AudioStorageController>();
    AudioStorageController::setSharedController(soundLibrary_.get());
    reminderFeed_ = ReminderFeed::start(defaults);
    scheduleTick();
    TalvorTakeABreakSettings::sharedInstance().loadPrefs();
    // The break timer starts stopped: its menu offers "Start".
    parts_.timeMenuItems->isStop = true;
    floatingClockCtrl_ = std::make_unique<TalvorFloatingClockCtrl>();
    // Escape puts the clocks away as their menu item does, check mark and all.
    floatingClockCtrl_->setEscapeAction([this] {
        setShowFloating(false);
        platform::UserDefaults::standard().synchronize();
    });
    floatingClockCtrl_->LoadFloatingOptions();
    registerObservers();
    parts_.timeMenuItems->DrawTimeMenuItems();

    LoginItems::shared().synchronizeStartAtLogin();
    parts_.timeMenu->setAutoenablesItems(true);
    boarding_.showAtFirstLaunch();
    if (PreferenceDomain::readInteger(QStringLiteral("IsAlreadyLaunched"), 0) == 0) {
        PreferenceDomain::writeInteger(QStringLiteral("IsAlreadyLaunched"), 1);
        PreferenceDomain::store().synchronize();
        defaults.setBool(true, kStartAtLoginKey);
        defaults.synchronize();
        LoginItems::shared().setEnabled(true);
    }
    HotKeyManager::sharedManager().addObserver(this, &AppDelegate::hotKeyDown,
                                               &AppDelegate::hotKeyUp, keys::ToggleHotKey);
    HotKeyManager::sharedManager().addObserver(this, &AppDelegate::hotKeyDown,
                                               &AppDelegate::hotKeyUp, keys::CenterHotKey);
    bindStopWatchHotKey();
    MyStopWatchObj::sharedPanel().listen();
    repairColours();
    if (defaults.boolForKey(keys::Floater) && defaults.boolForKey(keys::FloaterState)) {
        if (platform::MenuItem* item = parts_.timeMenu->itemWithTag(TimeMenu::kFloatingClocksTag)) {
            item->setState(platform::ControlState::On);
        }
        parts_.timeMenuItems->IsShowFloatingClock = true;
        platform::DistributedNotificationCenter::defaultCenter().post(
            keys::TalvorFloatingClockPrefsChangeNotification);
    }
    repairDatePattern();
    // A login brings no session notice of its own: the login item says it started us.
    if (options_.startedAtLogin) {
        parts_.dueCountDowns->receiveLoginNotification();
    }
    launchFinished_ = true;
    emit launchFinished();
}

// A shutdown of the machine quits as the Quit command does: alarms and settings saved.
void AppDelegate::observeShutdown() {
    SystemEventMonitor::sharedMonitor();
    observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        NSWorkspaceWillPowerOffNotification, QVariant(), [this](const platform::Notification&) {
            QMetaObject::invokeMethod(
                this, [this] { quit(); }, Qt::QueuedConnection);
        }));
}

void AppDelegate::registerObservers() {
    platform::NotificationCenter& local = platform::NotificationCenter::defaultCenter();
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
                            parts_.dueCountDowns->receiveWakeNotification();
                        } else {
                            parts_.dueCountDowns->receiveLoginNotification();
                        }
                        resume();
                    },
                    Qt::QueuedConnection);
            }));
    }
    parts_.ip->setLinesChanged([this] { parts_.timeMenuItems->addMenuSeperator(); });
    parts_.ip->startObservingNetwork();
    platform::DistributedNotificationCenter& distributed =
        platform::DistributedNotificationCenter::defaultCenter();
    observations_.push_back(
        distributed.addObserver(keys::TalvorMenuBarDatePrefsChangeNotification, QVariant(),
                                [this](const platform::Notification&) {
                                    TalvorTimeSettings::sharedInstance().loadPrefs();
                                    TalvorDateSettings::sharedInstance().loadPrefs();
                                    parts_.items->dateSettingUpdate(true);
                                    // Drawn now: a changed format or font must not wait
                                    // for the next tick, up to a minute away.
                                    updateTimeDate();
                                }));
    observations_.push_back(
        distributed.addObserver(keys::TalvorFloatingClockPrefsChangeNotification, QVariant(),
                                [this](const platform::Notification& notification) {
                                    LoadFloatingOptions(&notification);
                                }));
    observations_.push_back(
        distributed.addObserver(keys::TalvorCalendarPrefsChangeNotification, QVariant(),
                                [this](const platform::Notification& notification) {
                                    parts_.calendars->CalendarPrefsUpdates(notification);
                                }));
    // The first weekday changed (to-do pane): the calendars redraw with it.
    observations_.push_back(
        distributed.addObserver(keys::TalvorUpdateCalNotification, QVariant(),
                                [this](const platform::Notification& notification) {
                                    parts_.calendars->CalendarPrefsUpdates(notification);
                                }));
    observations_.push_back(distributed.addObserver(
        AppleInterfaceThemeChangedNotification, QVariant(), [this](const platform::Notification&) {
            parts_.items->UpdateFontColorMenuBar();
            moonUpdate();
        }));
}

void AppDelegate::setupASMMenu() {
    if (ApplicationsMenu* menu = parts_.applicationsMenuFor(keys::ASMFlag)) {
        // Before the strip's first frame the item shows; its menu follows the frame.
        menu->setupASMMenu(stripDrawn_);
    }
}

void AppDelegate::UpdateAppDockIcon() {
    if (ApplicationsMenu* menu = parts_.applicationsMenuFor(keys::AppDockIconFlag)) {
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
    // Without its text the item still shows the analog clock; with neither it would vanish.
    if ((TalvorMenuBarFlags & kMenuBarShowTime) == 0 && time.showAnalogClockInMenu) {
        return QString();
    }
    return texts_.timeText(time.timeFormat, now, clock_.currentZone(), time.flashSeparator,
                           time.timeSeparator);
}

QString AppDelegate::dateItemText(Date now) {
    return texts_.dateText(TalvorDateSettings::sharedInstance().dateFormat, now,
                           clock_.currentZone());
}

void AppDelegate::updateTimeDate() {
    const Date now = clock_.now();
    const QTimeZone zone = clock_.currentZone();
    TimedAppearanceSwitching::tick(now, zone);
    parts_.items->UpdateFontColorMenuBar();
    if (TalvorTimeSettings::sharedInstance().showLoctionNames) {
        parts_.worldClocks->refreshForTick();
    }

    if (dayOfMonth(now, zone) != lastDay) {
        lastDay = -1;
    }
    strikeChimes(now);
    if (floatingClockCtrl_) {
        floatingClockCtrl_->updateFoatingClockTime();
    }

    if (parts_.items->TalvorDate()) {
        lastDay = -1;
        if (!TalvorDateSettings::sharedInstance().showDateInMenu) {
            parts_.items->customDateStatusItem()->setText(
                platform::AttributedString(), 0.0f, parts_.items->TalvorDate()->buttonFrame());
        } else {
            parts_.items->updateDateItem(dateItemText(now));
        }
    }
    if (parts_.items->TalvorTime()) {
        parts_.items->updateTimeItem(timeItemText(now));
    }
    parts_.items->updateAnalogIcon(now);
    if (lastDay == -1) {
        moonUpdate();
    }
    lastDay = dayOfMonth(now, zone);
}

void AppDelegate::strikeChimes(Date now) {
    TalvorNSApplication* app = TalvorNSApplication::instance();
    TalvorChimeSettings* chimes = app != nullptr ? app->theChimeSettings() : nullptr;
    for (Date start : chimeCatchUp_.tick(now)) {
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
    if (!parts_.items) {
        return;  // asked while the status items are still being made
    }
    const double height =
        extraHeight > 0 ? extraHeight : platform::StatusBar::systemStatusBar().thickness();
    moon().moonUpdate(*parts_.items, height);
}

void AppDelegate::LocationChangeNotification() {
    platform::debugLog(QStringLiteral("Talvor changed location..."));
    // The world-clock group reloads the list; the floating clocks then take the fresh one.
    for (qint32 code : std::initializer_list<qint32>{TimeMenu::ExternalIP, 111, TimeMenu::Alarms,
                                                     TimeMenu::Take5, TimeMenu::WorldClocks}) {
        parts_.timeMenuItems->UpdateMenu(code);
    }
    if (floatingClockCtrl_) {
        floatingClockCtrl_->reorderFloatingClocks(parts_.worldClocks->LocationList());
    }
}

void AppDelegate::LoadFloatingOptions(const platform::Notification* notification) {
    if (!floatingClockCtrl_) {
        return;
    }
    floatingClockCtrl_->LoadFloatingOptions(notification);
    if (notification != nullptr) {
        parts_.worldClocks->reloadLocListNow();
        floatingClockCtrl_->TimeZoneFloating(parts_.worldClocks->LocationList());
    }
}

void AppDelegate::actEditLocationSelection() {
    parts_.settings->showLocationsPrefs();
    // What the Menu Items pane's locationTimeZoneSetup does: the locations as a sheet on it.
    TalvorLocationWinCtrl& locations = TalvorLocationWinCtrl::sharedInstance();
    locations.updateMenu = [this] { parts_.timeMenuItems->UpdateMenu(TimeMenu::WorldClocks); };
    locations.showTZLocationSheet(parts_.settings->window());
}

void AppDelegate::actSunriseSunsetMenuItemSelection(const QString& city) {
    if (!sunInfo_) {
        // The list the menu shows, not a fresh read of the file.
        sunInfo_ = std::make_unique<SunInfoWindowController>(clock_, [this] {
            return std::optional<LocationTable>(parts_.worldClocks->LocationList());
        });
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
    TimeMenu& menu = *parts_.timeMenuItems;
    platform::MenuItem* item = parts_.timeMenu->itemWithTag(TimeMenu::kFloatingClocksTag);
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

void AppDelegate::setShowFloating(bool show) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    TimeMenu& menu = *parts_.timeMenuItems;
    menu.IsShowFloatingClock = show;
    if (platform::MenuItem* item = parts_.timeMenu->itemWithTag(TimeMenu::kFloatingClocksTag)) {
        item->setState(show ? platform::ControlState::On : platform::ControlState::Off);
    }
    defaults.setBool(show, keys::FloaterState);
    if (!show && floatingClockCtrl_) {
        floatingClockCtrl_->hideClocks();
    }
}

void AppDelegate::switchLighDarkMode() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.setObject(kAppearanceSwitchManual, kAppearanceSwitchKey);
    defaults.synchronize();
    if (isDarkAppearance(defaults)) {
        ChangeAppearance::makeLight();
    } else {
        ChangeAppearance::makeDark();
    }
}

void AppDelegate::showHelp() {
    Manual::open(Manual::Section::Contents, [this](const QUrl& url) { openURL(url); });
}

void AppDelegate::openURL(const QUrl& url) {
    if (!platform::Workspace::shared().openURL(url)) {
        platform::log(QStringLiteral("Could not open %1").arg(url.toString()));
    }
}

void AppDelegate::SetAlarmPrefSetControllerDelegate(AlarmEditor* alarmSetController) {
    // The shared alarm menu controller, with or without the application object around it.
    AlarmMenuController::mainMenuController().setAlarmSetController(alarmSetController);
}

bool AppDelegate::quitRequested() const {
    const TalvorNSApplication* app = TalvorNSApplication::instance();
    return quitRequested_ || (app != nullptr && app->terminationRequested());
}

void AppDelegate::quit() {
    quitRequested_ = true;
    if (options_.terminate) {
        options_.terminate();
    } else if (TalvorNSApplication* app = TalvorNSApplication::instance()) {
        app->terminate();
    } else {
        QCoreApplication::quit();
    }
}

void AppDelegate::hotKeyDown(HotKey& hotKey) {
    parts_.calendars->hotKeyDown(hotKey);
}

void AppDelegate::hotKeyUp(HotKey& hotKey) {
    parts_.calendars->hotKeyUp(hotKey);
}

// The stopwatch's shortcut from the stored shortcut values; one the desktop refuses (or no
// X11 at all) leaves the stopwatch without one, quietly.
void AppDelegate::bindStopWatchHotKey() {
    HotKeyManager& manager = HotKeyManager::sharedManager();
    manager.addObserver(this, &AppDelegate::stopWatchHotKeyDown, nullptr, keys::StopWatchHotKey);
    const QVariantMap& values = TalvorHotKeys::sharedInstance().hotKeyValues();
    manager.bindHotKeyCode(values.value(keys::hotKeyCodeStopWatch).toInt(),
                           TalvorKeyCombo::NSModifierForModifiers(
                               values.value(keys::hotKeyModifiersStopWatch).toLongLong()),
                           keys::StopWatchHotKey);
}

void AppDelegate::stopWatchHotKeyDown(HotKey&) {
    orderStopWatch();
}

bool AppDelegate::stopwatchShown() const {
    return MyStopWatchObj::sharedPanel().stopwatchShown();
}

void AppDelegate::orderStopWatch() {
    MyStopWatchObj::sharedPanel().orderStopWatch();
}

void AppDelegate::openLocationSystemPrefrences() {
    platform::openSystemSettings(SwitchLightDarkVC::locationSettings());
}

void AppDelegate::PrefsStopWatch() {
    MyStopWatchObj::sharedPanel().PrefsStopWatch();
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
    parts_.breakTimer->stopBreakTimer();
    parts_.ip->stopObservingNetwork();
    parts_.settings->saveOpenPane();
    stopTimer();
    kitsApplicationWillTerminate();
}

}  // namespace talvor
