#include "ShellTestSupport.h"
#include "alarms/Event.h"
#include "alarms/EventsWindowController.h"
#include "calendarui/MinnowCalendarController.h"
#include "crash/Wreckord.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "kit/KitKeys.h"
#include "kit/TRLApplication.h"
#include "kit/Trellis.h"
#include "platform/Menu.h"
#include "platform/OpenDialogs.h"
#include "platform/Preferences.h"
#include "services/SystemEventNames.h"
#include "shell/ApplicationsMenu.h"
#include "shell/KitStart.h"
#include "shell/SettingsSaving.h"
#include "shell/SettingsWindowHost.h"
#include "shell/TalvorNSApplication.h"
#include "shell/TimeMenu.h"
#include "sky/SunInfoWindowController.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"
#include "support/TestEnvironment.h"
#include "support/ThreadStates.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/TalvorLocationWinCtrl.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

class shellStartUp : public ::testing::Test {
  protected:
    test::ShellHarness harness{utc(2024, 7, 1, 9, 30, 0)};
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
};

TEST_F(shellStartUp, SettingsThatCannotBeSavedAreSaidInOneNotice) {
    harness.launch();
    noticeSettingsThatCannotBeSaved();
    auto notices = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            n += box != nullptr && box->isVisible() &&
                 box->windowTitle() == QStringLiteral("Talvor cannot save its settings");
        }
        return n;
    };
    harness.store().setValue(QStringLiteral("k"), true);
    harness.store().setFailSynchronize(true);
    EXPECT_FALSE(harness.store().synchronize());
    EXPECT_FALSE(harness.store().synchronize());
    QCoreApplication::processEvents();
    EXPECT_EQ(notices(), 1);
    // Working for a while, then failing again: the notice still open stays the only one.
    harness.store().setFailSynchronize(false);
    EXPECT_TRUE(harness.store().synchronize());
    harness.store().setFailSynchronize(true);
    harness.store().setValue(QStringLiteral("k"), false);
    EXPECT_FALSE(harness.store().synchronize());
    QCoreApplication::processEvents();
    EXPECT_EQ(notices(), 1);
    platform::closeOpenDialogs();
    platform::Preferences::setFailureHandler(nullptr);
}

TEST_F(shellStartUp, TheFirstRunWritesItsKeysOnlyOnce) {
    harness.launch();
    EXPECT_EQ(harness.store().value(QStringLiteral("IsAlreadyLaunched")), QVariant(qint64(1)));
    EXPECT_TRUE(defaults().boolForKey(QStringLiteral("StartAtLogin")));
    EXPECT_TRUE(defaults().boolForKey(QStringLiteral("NSQuitAlwaysKeepsWindows")));
    EXPECT_TRUE(defaults().boolForKey(QStringLiteral("NSApplicationCrashOnExceptions")));
    EXPECT_TRUE(LoginItems::shared().isEnabled());
    EXPECT_NE(harness.delegate->boarding().boardingWindow(), nullptr)
        << "the welcome shows at the first start";
    EXPECT_EQ(harness.store().value(QStringLiteral("IsBoardingScreen")), QVariant(qint64(1)));
    harness.quit();

    // The user turned the login item off; the next start leaves it off.
    LoginItems::shared().setEnabled(false);
    harness.launch();
    EXPECT_FALSE(LoginItems::shared().isEnabled());
    EXPECT_FALSE(defaults().boolForKey(QStringLiteral("StartAtLogin")));
    EXPECT_EQ(harness.delegate->boarding().boardingWindow(), nullptr) << "and only then";
}

TEST_F(shellStartUp, TheMenuItemFlagWordDefaultsTo22745) {
    harness.launch();
    EXPECT_EQ(TalvorMenuItemFlags, 22745u);
    harness.quit();
    harness.store().setValue(QStringLiteral("MenuItemOptBits"), qint64(0x90));
    harness.launch();
    EXPECT_EQ(TalvorMenuItemFlags, 0x90u);
}

TEST_F(shellStartUp, StoredColoursThatWouldVanishAreRepaired) {
    struct Case {
        bool dark;
        QColor time, date;
        QColor expectedTime, expectedDate;
    };
    const Case cases[] = {
        // A light bar: white text becomes black; anything off white stays.
        {false, QColor(255, 255, 255), QColor(255, 255, 255), Qt::black, Qt::black},
        {false, QColor(254, 255, 255), QColor(255, 254, 255), QColor(254, 255, 255),
         QColor(255, 254, 255)},
        // A dark bar: near-black text becomes white.
        {true, QColor(33, 36, 36), QColor(0, 0, 0), Qt::white, Qt::white},
        {true, QColor(34, 0, 0), QColor(0, 37, 0), QColor(34, 0, 0), QColor(0, 37, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time.name().toStdString() + (c.dark ? " dark" : " light"));
        defaults().setGlobalValue(QStringLiteral("AppleInterfaceStyle"),
                                  c.dark ? QVariant(QStringLiteral("Dark")) : QVariant());
        {
            TalvorTimeSettings time;
            TalvorDateSettings date;
            (c.dark ? time.timeColorDMode : time.timeColor) = c.time;
            (c.dark ? date.dateColorDMode : date.dateColor) = c.date;
            time.writePrefs();
            date.writePrefs();
        }
        harness.launch();
        EXPECT_EQ(c.dark ? harness.time->timeColorDMode : harness.time->timeColor, c.expectedTime);
        EXPECT_EQ(c.dark ? harness.date->dateColorDMode : harness.date->dateColor, c.expectedDate);
        harness.quit();
        // Written back, so the next start reads the repaired colours.
        TalvorTimeSettings reread;
        EXPECT_EQ(c.dark ? reread.timeColorDMode : reread.timeColor, c.expectedTime);
    }
}

TEST_F(shellStartUp, AWeekYearInTheDatePatternBecomesTheCalendarYear) {
    {
        TalvorDateSettings date;
        date.dateFormat = QStringLiteral("dd.MM.YYYY");
        date.writePrefs();
    }
    harness.launch();
    EXPECT_EQ(harness.date->dateFormat, QStringLiteral("dd.MM.yyyy"));
    harness.quit();
    TalvorDateSettings reread;
    EXPECT_EQ(reread.dateFormat, QStringLiteral("dd.MM.yyyy"));
}

TEST_F(shellStartUp, WakeSessionAndZoneChangesRedrawAtOnce) {
    {
        TalvorTimeSettings time;
        time.timeFormat = QStringLiteral("HH:mm:ss");
        time.writePrefs();
    }
    AppDelegate& delegate = harness.launch();
    const std::shared_ptr<platform::StatusItem> item = delegate.statusItems().TalvorTime();
    ASSERT_NE(item, nullptr);
    struct Step {
        const char* name;
        std::function<void()> cause;
        const char* expected;
    };
    const Step steps[] = {
        {"wake", [&] { harness.post(NSWorkspaceDidWakeNotification); }, "09:30:05"},
        {"session", [&] { harness.post(NSWorkspaceSessionDidBecomeActiveNotification); },
         "09:30:10"},
        {"zone", [&] { harness.clock_.setZone(QTimeZone("Asia/Kolkata")); }, "15:00:15"},
    };
    for (const Step& step : steps) {
        // The clock moves on without a tick; only the notice can bring the text up to date.
        harness.clock_.advance(5);
        step.cause();
        EXPECT_EQ(item->title(), QString::fromLatin1(step.expected)) << step.name;
        EXPECT_EQ(delegate.lastDay, 1) << step.name;
    }
}

TEST_F(shellStartUp, TheTimeMenuIsBuiltFromTheSettings) {
    {
        TalvorTimeSettings time;
        time.showIP = false;
        time.showAlarm = true;
        time.showLoctionNames = true;
        time.writePrefs();
    }
    AppDelegate& delegate = harness.launch();
    const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
    EXPECT_EQ(menu->itemAtIndex(0)->title(), QStringLiteral("Alarms..."));
    EXPECT_GE(menu->indexOfItemWithTitle(QStringLiteral("Add Location...")), 2);
    EXPECT_GT(menu->indexOfItemWithTag(TimeMenu::kQuitTag),
              menu->indexOfItemWithTag(TimeMenu::kAnchorTag));
}

TEST_F(shellStartUp, FloatingClocksLeftShownComeBackAndTheirItemTogglesThem) {
    harness.store().setValue(QStringLiteral("Floater"), true);
    harness.store().setValue(QStringLiteral("FloaterState"), true);
    AppDelegate& delegate = harness.launch();
    QCoreApplication::processEvents();
    const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
    platform::MenuItem* item = menu->itemWithTag(TimeMenu::kFloatingClocksTag);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->state(), platform::ControlState::On);
    EXPECT_TRUE(delegate.timeMenuItems().IsShowFloatingClock);

    menu->performActionForItemAtIndex(menu->indexOfItem(item));
    QCoreApplication::processEvents();
    EXPECT_EQ(item->state(), platform::ControlState::Off);
    EXPECT_FALSE(delegate.floatingClocks()->isFloating());
    EXPECT_EQ(harness.store().value(QStringLiteral("FloaterState")), QVariant(false));

    // With the feature off the item is gone and the command changes nothing.
    platform::UserDefaults::standard().setBool(false, QStringLiteral("Floater"));
    delegate.timeMenuItems().UpdateMenu(TimeMenu::FloatingClocks);
    EXPECT_EQ(menu->itemWithTag(TimeMenu::kFloatingClocksTag), nullptr);
    delegate.showFloating();
    EXPECT_FALSE(delegate.timeMenuItems().IsShowFloatingClock);
}

TEST_F(shellStartUp, TheOptionalItemsAndTheCalendarAreWired) {
    harness.store().setValue(QStringLiteral("ASMFlag"), qint64(1));
    harness.store().setValue(QStringLiteral("AppDockIconFlag"), qint64(1));
    AppDelegate& delegate = harness.launch();
    EXPECT_EQ(harness.bar_.statusItems().size(), 4u)
        << "time, date, alarms (no room until an alarm is set) and applications";
    EXPECT_FALSE(harness.taskbar.shows);
    // The external-address line is on by default and says what it lacks.
    EXPECT_EQ(
        delegate.timeMenu()->itemAtIndex(0)->title(),
        QStringLiteral("External IP: choose to set an IP-echo address (Preferences, Menu Items)"));

    // A click on the date shows the calendar; the next one hides it.
    MinnowCalendarController& mini = MinnowCalendarController::sharedInstance();
    delegate.showCal();
    EXPECT_TRUE(mini.isWindowVisible());
    delegate.showCal();
    EXPECT_FALSE(mini.isWindowVisible());
}

// The external line without an IP-echo address leads to its control: choosing it opens the
// Menu Items pane at the address field; an address typed there is kept, and the line fetches
// with it at once.
TEST_F(shellStartUp, TheExternalLineLeadsToTheEchoAddressAndUsesWhatIsTyped) {
    AppDelegate& delegate = harness.launch();
    const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
    const int line = menu->indexOfItemWithTag(TimeMenu::kExternalIPTag);
    ASSERT_GE(line, 0);
    menu->performActionForItemAtIndex(line);
    SettingsWindowHost& settings = delegate.settingsWindow();
    EXPECT_TRUE(settings.window()->isVisible());
    EXPECT_EQ(settings.returnViewControllerName(), QStringLiteral("TalvorMenuViewController"));
    auto* field = settings.currentView()->findChild<QLineEdit*>(QStringLiteral("ipEchoURL"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(settings.window()->focusWidget(), field);

    field->setText(QStringLiteral("http://127.0.0.1:9/"));
    emit field->editingFinished();
    EXPECT_EQ(defaults().stringForKey(QStringLiteral("IPEchoURL")),
              QStringLiteral("http://127.0.0.1:9/"));
    EXPECT_FALSE(menu->itemWithTag(TimeMenu::kExternalIPTag)
                     ->title()
                     .contains(QStringLiteral("IP-echo address")))
        << "fetching with the new address";
}

TEST_F(shellStartUp, TheQuitItemAndAShutdownTakeTheOneQuitPath) {
    AppDelegate& delegate = harness.launch();
    const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
    menu->performActionForItemAtIndex(menu->indexOfItemWithTag(TimeMenu::kQuitTag));
    EXPECT_EQ(harness.quitRequests, 1);
    harness.post(NSWorkspaceWillPowerOffNotification);
    EXPECT_EQ(harness.quitRequests, 2);
}

// The move offer's answer may take long: the start-up waits for it, and a quit asked for
// meanwhile (here a shutdown) means nothing more is started when the offer closes.
TEST_F(shellStartUp, TheStartUpGoesOnOnlyAfterTheMoveOfferUnlessAQuitCameFirst) {
    std::function<void()> keepRunning;
    harness.offerMove = [&](std::function<void()> goOn) { keepRunning = std::move(goOn); };
    const auto launched = [&] {
        return harness.store().value(QStringLiteral("IsAlreadyLaunched"));
    };

    harness.launch();
    ASSERT_TRUE(keepRunning);
    EXPECT_FALSE(launched().isValid()) << "nothing after the offer ran yet";
    harness.post(NSWorkspaceWillPowerOffNotification);
    EXPECT_EQ(harness.quitRequests, 1) << "a shutdown is heard while the offer is open";
    std::exchange(keepRunning, nullptr)();
    EXPECT_FALSE(launched().isValid());
    harness.quit();

    AppDelegate& delegate = harness.launch();
    ASSERT_TRUE(keepRunning);
    keepRunning();
    EXPECT_EQ(launched(), QVariant(qint64(1)));
    EXPECT_NE(delegate.boarding().boardingWindow(), nullptr);
}

// The strip is drawn first: the steps it does not need wait for its first frame, in their
// order, and a quit that came meanwhile means they never start.
TEST_F(shellStartUp, TheStepsTheStripDoesNotNeedWaitForItsFirstFrame) {
    std::function<void()> drawn;
    const AppDelegate::Options options{
        .afterFirstFrame = [&](std::function<void()> goOn) { drawn = std::move(goOn); }};
    const auto launched = [&] {
        return harness.store().value(QStringLiteral("IsAlreadyLaunched"));
    };

    harness.store().setValue(QStringLiteral("ASMFlag"), qint64(1));
    AppDelegate& delegate = harness.launch(options);
    ASSERT_TRUE(drawn);
    ASSERT_NE(delegate.statusItems().TalvorTime(), nullptr) << "the strip's items come first";
    ASSERT_NE(delegate.applicationsMenu(), nullptr);
    ASSERT_NE(delegate.applicationsMenu()->TalvorASM(), nullptr);
    EXPECT_EQ(delegate.applicationsMenu()->asmMenu(), nullptr) << "its menu waits";
    ASSERT_NE(delegate.statusItems().TalvorDate(), nullptr);
    EXPECT_NE(delegate.statusItems().TalvorTime()->title(), QStringLiteral("Time"))
        << "drawn with the time";
    EXPECT_EQ(delegate.soundLibrary(), nullptr);
    EXPECT_EQ(delegate.floatingClocks(), nullptr);
    EXPECT_FALSE(launched().isValid());
    EXPECT_EQ(delegate.boarding().boardingWindow(), nullptr);
    const std::size_t timers = harness.scheduler_.activeTimerCount();

    std::exchange(drawn, nullptr)();
    EXPECT_GT(harness.scheduler_.activeTimerCount(), timers) << "the tick is scheduled";
    ASSERT_NE(delegate.applicationsMenu()->asmMenu(), nullptr);
    EXPECT_EQ(delegate.applicationsMenu()->TalvorASM()->menu(),
              delegate.applicationsMenu()->asmMenu());
    EXPECT_NE(delegate.soundLibrary(), nullptr);
    EXPECT_NE(delegate.floatingClocks(), nullptr);
    EXPECT_EQ(launched(), QVariant(qint64(1)));
    EXPECT_NE(delegate.boarding().boardingWindow(), nullptr);
    EXPECT_GE(delegate.timeMenu()->indexOfItemWithTag(TimeMenu::kQuitTag), 0);
    harness.quit();

    // Asked to quit before the first frame: nothing more starts, and the quit is clean.
    harness.store().removeValue(QStringLiteral("IsAlreadyLaunched"));
    AppDelegate& second = harness.launch(options);
    harness.post(NSWorkspaceWillPowerOffNotification);
    EXPECT_EQ(harness.quitRequests, 1);
    std::exchange(drawn, nullptr)();
    EXPECT_EQ(second.floatingClocks(), nullptr);
    EXPECT_FALSE(launched().isValid());
}

TEST_F(shellStartUp, CountDownsDueAtLoginShowWhenTheLoginItemStartedUs) {
    // One event shown at login and at wake, due in two hours.
    {
        EventsDictionary events;
        const Event due(QStringLiteral("e1"), QStringLiteral("Launch"),
                        harness.clock_.now().addingTimeInterval(7200), 3, 0, 0, 0, QString());
        events.insert(due.uid(), due);
        saveEvents(events);
    }
    harness.launch();
    EXPECT_EQ(harness.delegate->dueCountDowns().eventsWindow(), nullptr)
        << "an ordinary start shows nothing";
    harness.quit();

    harness.launch({.startedAtLogin = true});
    ASSERT_NE(harness.delegate->dueCountDowns().eventsWindow(), nullptr);
    EXPECT_EQ(harness.delegate->dueCountDowns().eventsWindow()->eventsArray().size(), 1);

    harness.post(NSWorkspaceDidWakeNotification);
    EXPECT_EQ(harness.delegate->dueCountDowns().currentEventsDisplay(), 2);
}

TEST_F(shellStartUp, TheSunWindowOpensOnceForTheChosenCity) {
    AppDelegate& delegate = harness.launch();
    delegate.worldClocks().setLocationList({QVariant(
        QVariantList{QString(), QStringLiteral("Oslo"), QString(), QStringLiteral("Norway"),
                     QStringLiteral("Europe/Oslo"), QStringLiteral("1"), QString(),
                     QStringLiteral("59.91"), QStringLiteral("10.75"), QString(), true})});
    delegate.actSunriseSunsetMenuItemSelection(QStringLiteral("Oslo"));
    SunInfoWindowController* window = delegate.sunInfoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->cityName(), QStringLiteral("Oslo"));
    EXPECT_TRUE(window->location().has_value());
    delegate.actSunriseSunsetMenuItemSelection(QStringLiteral("Lima"));
    EXPECT_EQ(delegate.sunInfoWindow(), window) << "made once and kept";
    EXPECT_FALSE(window->location().has_value()) << "a city the list does not hold has no times";
}

TEST_F(shellStartUp, TakeFiveStartsAndStopsFromTheTimeMenu) {
    {
        TalvorTimeSettings time;
        time.showTake5 = true;
        time.writePrefs();
    }
    AppDelegate& delegate = harness.launch();
    const std::shared_ptr<platform::Menu> menu = delegate.timeMenu();
    const auto take5 = [&] { return menu->itemWithTag(TimeMenu::kTake5Tag)->submenu(); };
    ASSERT_EQ(take5()->itemAtIndex(0)->title(), QStringLiteral("Start"));
    ASSERT_TRUE(take5()->performActionForItemAtIndex(0));
    EXPECT_FALSE(delegate.breakTimer().isStop());
    EXPECT_EQ(take5()->itemAtIndex(0)->title(), QStringLiteral("Stop"));

    // Chosen while the menu is open, the item changes once the menu has closed.
    menu->notifyWillOpen();
    ASSERT_TRUE(take5()->performActionForItemAtIndex(0));
    EXPECT_TRUE(delegate.breakTimer().isStop());
    EXPECT_EQ(take5()->itemAtIndex(0)->title(), QStringLiteral("Stop"));
    menu->notifyDidClose();
    QCoreApplication::processEvents();
    EXPECT_EQ(take5()->itemAtIndex(0)->title(), QStringLiteral("Start"));
}

// The log of a start speaks of this system: no names of another one's parts.
TEST_F(shellStartUp, TheStartUpLogUsesThisSystemsWords) {
    test::LogCapture log;
    harness.launch();
    const QString version = QCoreApplication::applicationVersion();
    EXPECT_TRUE(log.contains(
        QStringLiteral("starting Talvor %1 (%2)").arg(version, QSysInfo::buildCpuArchitecture())));
    for (const QString& line : log.lines()) {
        for (const char* foreign : {"Intel 64Bit", "NSSpeech", "System Preferences", "iMovie"}) {
            EXPECT_FALSE(line.contains(QLatin1String(foreign))) << line.toStdString();
        }
    }
    harness.quit();
}

TEST_F(shellStartUp, EditLocationsOpensTheLocationsOnTheSettingsWindow) {
    TalvorLocationWinCtrl locations;
    TalvorLocationWinCtrl::setSharedInstance(&locations);
    AppDelegate& delegate = harness.launch();
    delegate.actEditLocationSelection();
    ASSERT_NE(delegate.settingsWindow().window(), nullptr);
    EXPECT_TRUE(delegate.settingsWindow().window()->isVisible());
    EXPECT_TRUE(locations.window()->isVisible());
    EXPECT_TRUE(static_cast<bool>(locations.updateMenu));
    TalvorLocationWinCtrl::setSharedInstance(nullptr);
}

// The kit starts first, as this application, and takes the install identifier an older
// kit kept in the application's defaults into its own store.
TEST_F(shellStartUp, TheKitStartsFirstAndTakesItsIdentifierAlong) {
    QTemporaryDir bundle;
    const QString infoPlist = bundle.filePath(QStringLiteral("Info.plist"));
    QFile file(infoPlist);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
               R"(<key>Trellis</key><dict><key>APIKey</key><string>key</string>)"
               R"(<key>Kits</key><array/></dict></dict></plist>)");
    file.close();
    const test::ScopedEnvVar info("TALVOR_INFO_PLIST", infoPlist);
    const QString olderID = QStringLiteral("0A1B2C3D-0000-4000-8000-000000000001");
    defaults().setObject(olderID, QString::fromLatin1(keys::TRLInstallIDKey));
    test::LogCapture log;

    harness.launch();

    kit::Trellis& sdk = kit::Trellis::sharedSDK();
    EXPECT_EQ(sdk.kitClasses(),
              (std::vector<const kit::KitClass*>{&kit::KitClass::of<crash::Wreckord>()}));
    EXPECT_TRUE(crash::Wreckord::sharedInstance().isWreckordStarted());
    EXPECT_EQ(sdk.installID(), olderID.toStdString());
    EXPECT_FALSE(sdk.isFirstInstall());
    EXPECT_FALSE(defaults().objectForKey(QString::fromLatin1(keys::TRLInstallIDKey)).isValid());
    const QString store = qEnvironmentVariable("XDG_DATA_HOME") +
                          QStringLiteral(
                              "/talvor/com.larkspindle.TalvorPro/com.wreckord/"
                              "WRKUserDefaults.plist");
    EXPECT_TRUE(QFileInfo(store).isFile()) << store.toStdString();
    EXPECT_EQ(kit::TRLApplicationGetBundleIdentifier(), "com.larkspindle.TalvorPro");
    // The kit's own lines are in the application's log.
    EXPECT_TRUE(log.contains(QStringLiteral("[Trellis] No service endpoints are configured")));
}

// Without a kit configuration the application runs on, and says once why the kits are off.
TEST_F(shellStartUp, WithoutAKitConfigurationTheApplicationRunsOn) {
    const test::ScopedEnvVar info("TALVOR_INFO_PLIST", QStringLiteral("/nonexistent/Info.plist"));
    test::LogCapture log;
    harness.launch();
    EXPECT_TRUE(kit::Trellis::sharedSDK().kitClasses().empty());
    EXPECT_EQ(log.lines().filter(QStringLiteral("usage statistics")),
              QStringList{QStringLiteral(
                  "Crash reports and usage statistics are off: no service key is installed "
                  "(share/talvor/Info.plist with a \"Trellis\" entry).")});
    EXPECT_TRUE(log.lines().filter(QStringLiteral("NSDictionary")).isEmpty());
    EXPECT_TRUE(harness.delegate.has_value());
}

TEST(shellKitStart, PreferenceValuesReachTheKitUnchanged) {
    const QDateTime instant(QDate(2001, 1, 1), QTime(0, 1, 0), QTimeZone::utc());
    struct Case {
        const char* name;
        QVariant value;
        std::optional<kit::PlistValue> expected;
    };
    const Case cases[] = {
        {"text", QStringLiteral("äb"), kit::PlistValue("äb")},
        {"flag", true, kit::PlistValue(true)},
        {"integer", qint64(-5), kit::PlistValue(std::int64_t{-5})},
        {"small integer", 7, kit::PlistValue(std::int64_t{7})},
        {"real", 2.5, kit::PlistValue(2.5)},
        {"data", QByteArray("\x01\xff", 2), kit::PlistValue(kit::PlistData{1, 255})},
        {"date", instant, kit::PlistValue(kit::PlistDate{60})},
        {"list", QVariantList{1, QStringLiteral("x")},
         kit::PlistValue(kit::PlistArray{std::int64_t{1}, "x"})},
        {"map", QVariantMap{{QStringLiteral("k"), false}},
         kit::PlistValue(kit::PlistDictionary{{"k", false}})},
        {"no property-list value", QVariant::fromValue(QPoint(1, 2)), std::nullopt},
        {"a list holding one", QVariantList{QVariant::fromValue(QPoint(1, 2))}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toKitValue(c.value), c.expected);
    }
}

// The last run's notifications are cleared behind the strip: the start returns while the
// service manager is still being asked, and a quit waits for that before it mirrors its own.
TEST(shellStartUpHandOver, ClearsOnceInTheBackgroundAndAQuitWaitsForIt) {
    std::atomic<int> runs{0};
    std::atomic<bool> release{false};
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    OnceInTheBackground clearing([&] {
        ranOn = std::this_thread::get_id();
        ++runs;
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    clearing.start();
    clearing.start();  // once only
    EXPECT_FALSE(done.load()) << "start() returned while the job still runs";
    std::atomic<pid_t> quitting{0};
    std::atomic<bool> quitReturned{false};
    std::thread quitter([&] {
        quitting = test::currentThreadId();
        clearing.finish();
        quitReturned = true;
        EXPECT_TRUE(done.load()) << "the quit went on before the clearing ended";
    });
    // The job goes on only once the quit waits for it (or did not wait at all): the check
    // above then always sees a quit that came while the job ran.
    const auto quitWaits = [&] {
        return quitReturned.load() || (quitting.load() != 0 && test::threadIsBlocked(quitting));
    };
    for (int looks = 0; !quitWaits() && looks < 10000; ++looks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(quitWaits()) << "the quit neither waited nor returned";
    release = true;
    quitter.join();
    clearing.finish();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_NE(ranOn, std::this_thread::get_id());

    // A quit before the strip was drawn clears on its own (the quitting) thread, once.
    int direct = 0;
    OnceInTheBackground early([&] { ++direct; });
    early.finish();
    early.finish();
    early.start();
    EXPECT_EQ(direct, 1);
}

}  // namespace
}  // namespace talvor
