#include "foundation/NetworkMonitor.h"
#include "foundation/TimedEvent.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "services/IXSCNotificationCenter.h"
#include "services/NetInfo.h"
#include "services/NetworkButton.h"
#include "services/SystemEventMonitor.h"
#include "services/SystemEventNames.h"
#include "services/TalvorNotifySleepNetwork.h"
#include "support/FakeClock.h"
#include "support/FakeReachabilityProbe.h"
#include "support/FakeSystemEvents.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace talvor {
namespace {

using test::FakeInterfaceChangeSource;
using test::FakeSessionEventSource;

const QString kEn0v4 = QStringLiteral("State:/Network/Interface/en0/IPv4");
const QString kEn0v6 = QStringLiteral("State:/Network/Interface/en0/IPv6");
const QString kWlanV4 = QStringLiteral("State:/Network/Interface/wlan0/IPv4");
const QString kEn0Link = QStringLiteral("State:/Network/Interface/en0/Link");

// Counts deliveries per observer label, and remembers the names delivered.
struct Calls {
    std::map<QString, int> count;
    QStringList names;
    IXSCNotificationObserver::Selector selector(const QString& label) {
        return [this, label](const platform::Notification& note) {
            ++count[label];
            names.append(note.name);
            EXPECT_FALSE(note.object.isValid());
        };
    }
};

class syseventsIXSC : public ::testing::Test {
  protected:
    IXSCNotificationCenter& make(const QString& pattern) {
        auto src = std::make_unique<FakeInterfaceChangeSource>(QStringList{kEn0v4, kEn0v6});
        source = src.get();
        center = std::make_unique<IXSCNotificationCenter>(pattern, std::move(src), local);
        return *center;
    }
    platform::NotificationCenter local;
    FakeInterfaceChangeSource* source = nullptr;
    std::unique_ptr<IXSCNotificationCenter> center;
    Calls calls;
    int a = 0, b = 0;  // observer identities
};

// Each registration is called once: the same object registered for every key and for one key
// hears that key twice; registrations for other keys hear nothing.
using servicesSyseventsIXSC = syseventsIXSC;

TEST_F(servicesSyseventsIXSC, DeliversByKeyNameAndToEveryKeyObservers) {
    IXSCNotificationCenter& c = make(kIXSCShellPattern);
    c.addObserver(&a, calls.selector("a-any"), QString());
    c.addObserver(&a, calls.selector("a-en0"), kEn0v4);
    c.addObserver(&b, calls.selector("b-wlan"), kWlanV4);

    struct Case {
        QString key;
        int aAny, aEn0, bWlan;
    };
    const Case cases[] = {
        {kEn0v4, 1, 1, 0},
        {kWlanV4, 2, 1, 1},
        {kEn0v6, 3, 1, 1},
    };
    for (const Case& k : cases) {
        c.postNotification(k.key);
        EXPECT_EQ(calls.count["a-any"], k.aAny) << k.key.toStdString();
        EXPECT_EQ(calls.count["a-en0"], k.aEn0) << k.key.toStdString();
        EXPECT_EQ(calls.count["b-wlan"], k.bWlan) << k.key.toStdString();
    }
    c.removeObserver(&a);
    c.postNotification(kEn0v4);
    EXPECT_EQ(calls.count["a-any"], 3);
    EXPECT_EQ(calls.count["a-en0"], 1);
}

TEST_F(servicesSyseventsIXSC, NilObserverAndNilNameAreRefused) {
    IXSCNotificationCenter& c = make(kIXSCDefaultPattern);
    EXPECT_THROW(c.addObserver(nullptr, calls.selector("x"), kEn0v4), std::invalid_argument);
    EXPECT_THROW(c.postNotification(QString()), std::invalid_argument);
    // A key nobody observes is simply dropped.
    EXPECT_NO_THROW(c.postNotification(kEn0v4));
    EXPECT_TRUE(calls.names.isEmpty());
}

// The source's changes reach observers only for the keys the pattern watches, whole-key
// matched, each key in turn.
TEST_F(servicesSyseventsIXSC, KernelChangesFilteredByThePattern) {
    struct Case {
        QString pattern;
        QStringList delivered;
    };
    const Case cases[] = {
        {kIXSCDefaultPattern, {kEn0v4, kWlanV4}},
        {kIXSCShellPattern, {kEn0v4, kEn0v6, kWlanV4}},
    };
    for (const Case& k : cases) {
        calls = {};
        IXSCNotificationCenter& c = make(k.pattern);
        c.addObserver(&a, calls.selector("any"), QString());
        source->change({kEn0v4, kEn0v6, kEn0Link, kWlanV4,
                        QStringLiteral("Setup:/Network/Interface/en0/IPv4")});
        EXPECT_EQ(calls.names, k.delivered) << k.pattern.toStdString();
    }
}

// A change of reachability announces again every watched key that exists now.
TEST_F(servicesSyseventsIXSC, ReachabilityChangeReannouncesExistingKeys) {
    IXSCNotificationCenter& c = make(kIXSCDefaultPattern);
    c.addObserver(&a, calls.selector("any"), QString());
    local.post(NetworkMonitorStatusChanged);
    EXPECT_EQ(calls.names, QStringList{kEn0v4});
    center.reset();
    local.post(NetworkMonitorStatusChanged);  // a gone centre hears nothing
    EXPECT_EQ(calls.names.size(), 1);
}

TEST(servicesSyseventsNetworkButton, EnabledOnlyWhileAskedAndOnline) {
    platform::NotificationCenter local;
    auto probe = std::make_unique<test::FakeReachabilityProbe>(0u);
    test::FakeReachabilityProbe* fake = probe.get();
    NetworkMonitor monitor(std::move(probe), local);
    NetworkButton button(QStringLiteral("Fetch"), nullptr, &monitor, local);
    EXPECT_TRUE(button.otherEnabled());
    EXPECT_FALSE(button.isEnabled());

    button.setEnabled(true);
    EXPECT_FALSE(button.isEnabled());
    fake->change(platform::kReachabilityReachable);
    EXPECT_TRUE(button.isEnabled()) << "follows the monitor without another request";

    button.setEnabled(false);
    EXPECT_FALSE(button.isEnabled());
    fake->change(0);
    fake->change(platform::kReachabilityReachable);
    EXPECT_FALSE(button.isEnabled()) << "stays off while its owner wants it off";
}

TEST(servicesSyseventsWarnMe, TitlesFollowTheFilesAndCancelDeletesOnce) {
    QTemporaryDir folder;
    auto write = [&](const char* name) {
        QFile f(folder.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>k</key><string>v</string></dict></plist>\n");
    };
    write("NetworkAlertDict.plist");
    write("SleepAlertDict.plist");

    auto menu = platform::Menu::create();
    menu->addItemWithTitle(QStringLiteral("x"))
        ->setTag(TalvorNotifySleepNetwork::kNetworkChangeTag);
    menu->addItemWithTitle(QStringLiteral("x"))->setTag(TalvorNotifySleepNetwork::kNetworkLostTag);
    auto warn = TalvorNotifySleepNetwork::create(menu, folder.path());
    warn->makeMenuItems();

    ASSERT_EQ(menu->numberOfItems(), 4);
    EXPECT_TRUE(menu->itemAtIndex(2)->isSeparatorItem());
    EXPECT_EQ(menu->itemWithTag(-3)->title(), QStringLiteral("Cancel Wake from Sleep"));
    EXPECT_EQ(menu->itemWithTag(-4)->title(), QStringLiteral("Cancel Network Change"));
    EXPECT_EQ(menu->itemWithTag(-5)->title(), QStringLiteral("Notify on Network Lost Change"));
    EXPECT_TRUE(warn->NetworkAlertDict().has_value());

    platform::MenuItem& network = *menu->itemWithTag(-4);
    warn->menuNetworkWarnMeCancel(network);
    EXPECT_EQ(network.title(), QStringLiteral("Notify on Network Change"));
    EXPECT_FALSE(QFile::exists(folder.path() + QStringLiteral("/NetworkAlertDict.plist")));
    EXPECT_FALSE(warn->NetworkAlertDict().has_value());
    network.setTitle(QStringLiteral("untouched"));
    warn->menuNetworkWarnMeCancel(network);
    EXPECT_EQ(network.title(), QStringLiteral("untouched")) << "a second cancel changes nothing";

    // The item made here carries the wake action.
    menu->performActionForItemAtIndex(menu->indexOfItemWithTag(-3));
    EXPECT_EQ(menu->itemWithTag(-3)->title(), QStringLiteral("Notify on Wake from Sleep"));
    EXPECT_FALSE(QFile::exists(folder.path() + QStringLiteral("/SleepAlertDict.plist")));
}

TEST(servicesSyseventsNetInfo, NamesTheThreeFields) {
    test::LogCapture log;
    NetInfo();
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("Computer Name: ")));
    EXPECT_TRUE(log.contains(QStringLiteral("\nLocal Host Name: ")));
    EXPECT_TRUE(log.contains(QStringLiteral("\nCurrent Location: Automatic\n")));
}

// Sleep, wake and session changes become the workspace notifications; a wake first lets the
// minute scheduler run what fell due while asleep.
TEST(servicesSyseventsSessionMonitor, WakeRunsDueTimersThenTellsObservers) {
    test::FakeClock clock(Date::fromReference(1000.0 * 86400 + 30));
    test::ManualScheduler scheduler(clock);
    auto list = TimedEventList::create(scheduler);
    TimedEventList::setShared(list);

    platform::NotificationCenter local;
    QStringList order;
    struct Target {
        QStringList* order;
        void hit() { order->append(QStringLiteral("timer")); }
    };
    auto target = std::make_shared<Target>(Target{&order});
    list->newTimedEvent(ObjectExtras::buildInvocation(target, &Target::hit),
                        clock.now().addingTimeInterval(3600), 0);

    auto source = std::make_unique<FakeSessionEventSource>();
    FakeSessionEventSource* fake = source.get();
    SystemEventMonitor monitor(std::move(source), local);
    auto observation = local.addObserver(
        QString(), QVariant(), [&](const platform::Notification& n) { order.append(n.name); });

    fake->sleep();
    clock.set(clock.now().addingTimeInterval(7200));  // asleep past the timer, no tick
    fake->wake();
    scheduler.runPosted();
    fake->setActive(false);
    fake->setActive(true);
    fake->setLocked(true);
    fake->setLocked(false);

    const QStringList expected = {NSWorkspaceWillSleepNotification,
                                  QStringLiteral("timer"),
                                  NSWorkspaceDidWakeNotification,
                                  NSWorkspaceSessionDidResignActiveNotification,
                                  NSWorkspaceSessionDidBecomeActiveNotification,
                                  kScreenIsLockedNotification,
                                  kScreenIsUnlockedNotification};
    EXPECT_EQ(order, expected);
    TimedEventList::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
