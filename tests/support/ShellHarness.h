#pragma once

// The application delegate's world in tests: an in-memory preference domain, a fake clock
// and scheduler, a status bar of its own and fakes of the platform services. For the
// shell's tests only: it needs the shell library.

#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "foundation/TimedEvent.h"
#include "kit/MainBundle.h"
#include "kit/Trellis.h"
#include "kit/WRKUserDefaults.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Scheduler.h"
#include "platform/SharedInstance.h"
#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"
#include "services/AppStartup.h"
#include "services/HotKeyManager.h"
#include "shell/AppDelegate.h"
#include "shell/SettingsSaving.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/FakeHotKeyBackend.h"
#include "support/FakeWorkspace.h"
#include "support/ManualScheduler.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <optional>

namespace talvor::test {

// Where the preference domains of a shell test live.
enum class Storage {
    Memory,  // in-memory stores
    Files,   // the real property-list files under the temporary XDG_CONFIG_HOME
};

// What a shell test runs in: a temporary home (start-up writes the login item and other
// files), the preference domains, known fonts, a fake clock and scheduler, and a status bar
// of its own in place of the system one.
class ShellEnvironment {
  public:
    explicit ShellEnvironment(Date start, const QTimeZone& zone = QTimeZone::utc(),
                              Storage storage = Storage::Memory)
        : clock_(start, zone), scheduler_(clock_) {
        if (storage == Storage::Memory) {
            domain_.emplace(appTalvor4Prefs);
        }
        platform::Clock::setShared(&clock_);
        platform::Scheduler::setShared(&scheduler_);
        // A minute scheduler made during the test runs on this test's scheduler, and goes
        // with it.
        TimedEventList::setShared(nullptr);
        platform::StatusBar::setSystemStatusBar(&bar_);
        resetKit();
    }
    ~ShellEnvironment() {
        resetKit();
        platform::StatusBar::setSystemStatusBar(nullptr);
        TimedEventList::setShared(nullptr);
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
    ShellEnvironment(const ShellEnvironment&) = delete;
    ShellEnvironment& operator=(const ShellEnvironment&) = delete;

    // The kit as a new process finds it: made again at the next start, over this sandbox.
    static void resetKit() {
        kit::Trellis::setSharedSDK(nullptr);
        kit::WRKUserDefaults::setStandardUserDefaults(nullptr);
        kit::MainBundle::setMain(nullptr);
    }

    // Off the session bus: tests running beside this one post the same names there, and a
    // notice's trip through the bus would make start-up's own notices arrive late.
    ScopedEnvVar noBus_{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    XdgSandbox sandbox_;
    std::optional<ScopedMemoryDomain> domain_;
    FakeFontResolver fonts_{{}, QStringLiteral("Title Sans")};
    ScopedFontResolver scopedFonts_{fonts_};
    FakeClock clock_;
    ManualScheduler scheduler_;
    platform::StatusBar bar_;
};

// Start-up and shut-down of the application delegate in a ShellEnvironment.
class ShellHarness : public ShellEnvironment {
  public:
    explicit ShellHarness(Date start, const QTimeZone& zone = QTimeZone::utc(),
                          Storage storage = Storage::Memory)
        : ShellEnvironment(start, zone, storage) {
        LoginItems::setShared(&loginItems_);
        HotKeyManager::setSharedManager(&hotKeys_);
        platform::Workspace::setShared(&workspace);
        platform::TaskbarPresence::setShared(&taskbar);
    }
    ~ShellHarness() {
        if (delegate) {
            quit();
        }
        platform::TaskbarPresence::setShared(nullptr);
        platform::Workspace::setShared(nullptr);
        HotKeyManager::setSharedManager(nullptr);
        LoginItems::setShared(nullptr);
    }

    // What the stored settings say before the first start (in-memory storage only).
    platform::MemoryPreferenceStore& store() { return domain_->store(); }

    // A start of the application: the settings models read the store and become the shared
    // ones, then the delegate runs its start-up. The panel is never shown; a quit request is
    // counted unless the options say otherwise.
    AppDelegate& launch(AppDelegate::Options options = {}) {
        make(std::move(options)).applicationDidFinishLaunching();
        return *delegate;
    }
    // The start without its start-up: the settings models and the delegate, made as the
    // application makes them. The models are the harness's, so that none outlives the test
    // as the process-wide one.
    AppDelegate& make(AppDelegate::Options options = {}) {
        delegate.reset();
        sharedDate_.reset();
        sharedTime_.reset();
        time.emplace();
        date.emplace();
        sharedTime_.emplace(*time);
        sharedDate_.emplace(*date);
        options.showPanel = false;
        if (!options.terminate) {
            options.terminate = [this] { ++quitRequests; };
        }
        if (!options.offerMove) {
            options.offerMove = offerMove;
        }
        delegate.emplace(std::move(options));
        return *delegate;
    }
    // The application's quit: the delegate's shut-down, then the saving every quit ends
    // with.
    void quit() {
        delegate->applicationWillTerminate();
        saveSettingsForQuit();
        delegate.reset();
        sharedDate_.reset();
        sharedTime_.reset();
        date.reset();
        time.reset();
    }
    // A notice of the platform, delivered as the event loop would.
    void post(const QString& name) {
        platform::NotificationCenter::defaultCenter().post(name);
        QCoreApplication::processEvents();
    }

    std::optional<TalvorTimeSettings> time;
    std::optional<TalvorDateSettings> date;
    std::optional<AppDelegate> delegate;
    FakeWorkspace workspace;
    FakeTaskbarPresence taskbar;
    // How often the application was asked to quit (the Quit item, a shutdown).
    int quitRequests = 0;
    // The move offer of the next launches; empty: the real one (offscreen: nothing asked).
    std::function<void(std::function<void()> keepRunning)> offerMove;

  private:
    std::optional<SharedInstance<TalvorTimeSettings>::Override> sharedTime_;
    std::optional<SharedInstance<TalvorDateSettings>::Override> sharedDate_;
    LoginItems loginItems_{QStringLiteral("/usr/bin/talvor")};
    FakeHotKeyBackend hotKeyBackend_;
    platform::UserDefaults hotKeyDefaults_{appTalvor4Prefs};
    HotKeyManager hotKeys_{&hotKeyBackend_, &clock_, &hotKeyDefaults_};
};

}  // namespace talvor::test
