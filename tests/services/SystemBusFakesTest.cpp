// The portal and logind back ends against fake services on a private session bus (run under
// dbus-run-session). The fakes answer from a thread of their own, as a real service would
// from its own process, so that the back ends' blocking calls get their replies.
#include "foundation/FoundationKeys.h"
#include "platform/DesktopAppearance.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/linux/LogindSessionEvents.h"
#include "platform/linux/PortalAppearance.h"
#include "services/AppleInterfaceStyle.h"
#include "services/SystemEventNames.h"
#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMutex>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace talvor {
namespace {

const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/c1");

class FakePortalSettings : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
  public:
    void set(const QString& key, const QVariant& value) {
        QMutexLocker lock(&mutex_);
        values_[key] = value;
    }

  public slots:
    // Read answers a variant holding a variant, as the real portal does.
    QDBusVariant Read(const QString& nameSpace, const QString& key) {
        QMutexLocker lock(&mutex_);
        const QVariant v = values_.value(nameSpace + QLatin1Char('/') + key);
        if (!v.isValid()) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                           QStringLiteral("no such key"));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(v)));
    }

  private:
    QMutex mutex_;
    QVariantMap values_;
};

class FakeLogindManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
  public slots:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

class FakeLogindSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active READ active)
    Q_PROPERTY(bool LockedHint READ lockedHint)
  public:
    bool active() const { return true; }
    bool lockedHint() const { return false; }
};

// A bus connection of its own serving objects from a thread of its own.
class FakeService {
  public:
    explicit FakeService(const QString& serviceName)
        : name_(QStringLiteral("fake-") + serviceName) {
        thread_.start();
        run([this, serviceName] {
            bus_ = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_));
            registered_ = bus_->isConnected() && bus_->registerService(serviceName);
        });
    }
    ~FakeService() {
        run([this] {
            for (QObject* o : objects_) {
                delete o;
            }
            bus_.reset();
            QDBusConnection::disconnectFromBus(name_);
        });
        thread_.quit();
        thread_.wait();
    }
    bool registered() const { return registered_; }

    template <typename T>
    T* add(const QString& path, QDBusConnection::RegisterOptions options) {
        T* object = nullptr;
        run([&] {
            object = new T;
            objects_.push_back(object);
            bus_->registerObject(path, object, options);
        });
        return object;
    }
    void emitSignal(const QString& path, const QString& iface, const QString& name,
                    const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createSignal(path, iface, name);
        m.setArguments(args);
        bus_->send(m);
    }

  private:
    void run(const std::function<void()>& work) {
        QObject context;
        context.moveToThread(&thread_);
        QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection);
    }
    QString name_;
    QThread thread_;
    std::unique_ptr<QDBusConnection> bus_;
    std::vector<QObject*> objects_;
    bool registered_ = false;
};

bool haveSessionBus() {
    return QDBusConnection::sessionBus().isConnected();
}

class syseventsPortal : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveSessionBus()) {
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
        }
        portal = std::make_unique<FakeService>(QStringLiteral("org.freedesktop.portal.Desktop"));
        ASSERT_TRUE(portal->registered());
        settings = portal->add<FakePortalSettings>(
            QStringLiteral("/org/freedesktop/portal/desktop"), QDBusConnection::ExportAllSlots);
    }
    void changeScheme(uint scheme) {
        settings->set(QStringLiteral("org.freedesktop.appearance/color-scheme"), scheme);
        portal->emitSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"),
            {QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
             QVariant::fromValue(QDBusVariant(scheme))});
    }
    test::XdgSandbox sandbox;
    std::unique_ptr<FakeService> portal;
    FakePortalSettings* settings = nullptr;
};

using servicesSyseventsPortal = syseventsPortal;

TEST_F(servicesSyseventsPortal, ReadsTheColorScheme) {
    struct Case {
        uint scheme;
        const char* gtkTheme;
        bool dark;
    };
    const Case cases[] = {
        {1, nullptr, true},         {2, nullptr, false},
        {2, "Adwaita-dark", false},  // an explicit choice wins over the theme's name
        {0, "Adwaita-dark", true},  {0, "Adwaita", false},
        {0, nullptr, false},
    };
    platform::PortalAppearanceSource source(QDBusConnection::sessionBus());
    for (const Case& c : cases) {
        settings->set(QStringLiteral("org.freedesktop.appearance/color-scheme"), c.scheme);
        settings->set(QStringLiteral("org.gnome.desktop.interface/gtk-theme"),
                      c.gtkTheme ? QVariant(QString::fromLatin1(c.gtkTheme)) : QVariant());
        EXPECT_EQ(source.isDark(), std::optional<bool>(c.dark))
            << c.scheme << " " << (c.gtkTheme ? c.gtkTheme : "-");
        // The same answer without waiting for it: never inside the call, once on the loop.
        std::vector<std::optional<bool>> answers;
        source.readIsDark([&](std::optional<bool> dark) { answers.push_back(dark); });
        EXPECT_TRUE(answers.empty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.empty(); }, 5000));
        QTest::qWait(20);
        EXPECT_EQ(answers, std::vector<std::optional<bool>>{c.dark})
            << c.scheme << " " << (c.gtkTheme ? c.gtkTheme : "-");
    }
}

// The portal's change signal reaches the service, the global value, the reactors and the
// distributed centre; a switch asks the desktop only when it shows something else.
TEST_F(servicesSyseventsPortal, ChangeSignalAndSwitchOnlyOnChange) {
    settings->set(QStringLiteral("org.freedesktop.appearance/color-scheme"), 2u);
    platform::DistributedNotificationCenter distributed;
    int themeChanges = 0;
    auto heard = distributed.addObserver(AppleInterfaceThemeChangedNotification, QVariant(),
                                         [&](const platform::Notification&) { ++themeChanges; });
    auto setter = std::make_unique<test::FakeAppearanceSetter>();
    test::FakeAppearanceSetter* requests = setter.get();
    AppearanceService service(
        std::make_unique<platform::PortalAppearanceSource>(QDBusConnection::sessionBus()),
        std::move(setter), &distributed);
    AppearanceService::setShared(&service);
    EXPECT_FALSE(service.isDark());
    std::vector<AppleInterfaceStyle::Value> reactions;
    AppearanceObservation reactor =
        AppleInterfaceStyle::listenForChanges(false, [&](AppleInterfaceStyle s) {
            reactions.push_back(s);
            return ChangeReactorResponse::continueListeningForChanges;
        });

    changeScheme(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return service.isDark(); }, 5000));
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey(keys::AppleInterfaceStyle),
              QStringLiteral("Dark"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return themeChanges == 1; }, 5000));
    EXPECT_EQ(reactions, std::vector<AppleInterfaceStyle::Value>{AppleInterfaceStyle::dark});

    platform::UserDefaults::standard().setObject(kAppearanceSwitchManual, kAppearanceSwitchKey);
    ChangeAppearance::makeDark();
    EXPECT_TRUE(requests->requests.empty()) << "already dark";
    ChangeAppearance::makeLight();
    EXPECT_EQ(requests->requests, std::vector<bool>{false});
    // The desktop confirms what was asked: nothing more is asked.
    changeScheme(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reactions.size() == 2; }, 5000));
    ChangeAppearance::makeLight();
    EXPECT_EQ(requests->requests, std::vector<bool>{false});
    // The next change is the next thing heard: the confirmation was heard once.
    changeScheme(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reactions.size() >= 3; }, 5000));
    EXPECT_EQ(reactions, (std::vector<AppleInterfaceStyle::Value>{AppleInterfaceStyle::dark,
                                                                  AppleInterfaceStyle::light,
                                                                  AppleInterfaceStyle::dark}));
    reactor.reset();
    AppearanceService::setShared(nullptr);
}

TEST(servicesSyseventsPortalMissing, NoPortalReadsNothingAndSaysSoOnce) {
    if (!haveSessionBus()) {
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    }
    test::LogCapture log;
    platform::PortalAppearanceSource source(QDBusConnection::sessionBus());
    EXPECT_EQ(source.isDark(), std::nullopt);
    EXPECT_EQ(source.isDark(), std::nullopt);
    std::optional<std::optional<bool>> answer;
    source.readIsDark([&](std::optional<bool> dark) { answer = dark; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    EXPECT_EQ(*answer, std::nullopt);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(servicesSyseventsLogind, SleepWakeAndSessionChangesReachTheHandlers) {
    if (!haveSessionBus()) {
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    }
    FakeService logind(QStringLiteral("org.freedesktop.login1"));
    ASSERT_TRUE(logind.registered());
    logind.add<FakeLogindManager>(QStringLiteral("/org/freedesktop/login1"),
                                  QDBusConnection::ExportAllSlots);
    logind.add<FakeLogindSession>(kSessionPath, QDBusConnection::ExportAllProperties);

    platform::LogindSessionEvents events(QDBusConnection::sessionBus());
    EXPECT_EQ(events.sessionPath(), kSessionPath);
    QStringList heard;
    platform::SessionEventSource::Handlers h;
    h.willSleep = [&] { heard.append(QStringLiteral("sleep")); };
    h.didWake = [&] { heard.append(QStringLiteral("wake")); };
    h.sessionActiveChanged = [&](bool a) {
        heard.append(a ? QStringLiteral("active") : QStringLiteral("inactive"));
    };
    h.sessionLockChanged = [&](bool l) {
        heard.append(l ? QStringLiteral("locked") : QStringLiteral("unlocked"));
    };
    h.willPowerOff = [&] { heard.append(QStringLiteral("power off")); };
    events.setHandlers(h);

    const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
    const QString session = QStringLiteral("org.freedesktop.login1.Session");
    // Each change is sent once the one before it was heard: the fake's signals are not
    // guaranteed to arrive in the order they were sent.
    auto sendAndHear = [&](const QString& path, const QString& interface, const QString& name,
                           const QVariantList& args, qsizetype heardAfter) {
        logind.emitSignal(path, interface, name, args);
        return QTest::qWaitFor([&] { return heard.size() >= heardAfter; }, 5000);
    };
    const QString login1 = QStringLiteral("/org/freedesktop/login1");
    EXPECT_TRUE(sendAndHear(login1, manager, QStringLiteral("PrepareForSleep"), {true}, 1));
    EXPECT_TRUE(sendAndHear(login1, manager, QStringLiteral("PrepareForSleep"), {false}, 2));
    EXPECT_TRUE(
        sendAndHear(kSessionPath, props, QStringLiteral("PropertiesChanged"),
                    {session, QVariantMap{{QStringLiteral("Active"), false}}, QStringList()}, 3));
    EXPECT_TRUE(sendAndHear(kSessionPath, props, QStringLiteral("PropertiesChanged"),
                            {session, QVariantMap{{QStringLiteral("Active"), true}}, QStringList()},
                            4));
    // An unchanged value is no change: the lock that follows is the next thing heard.
    logind.emitSignal(kSessionPath, props, QStringLiteral("PropertiesChanged"),
                      {session, QVariantMap{{QStringLiteral("Active"), true}}, QStringList()});
    EXPECT_TRUE(sendAndHear(kSessionPath, session, QStringLiteral("Lock"), {}, 5));
    EXPECT_TRUE(sendAndHear(
        kSessionPath, props, QStringLiteral("PropertiesChanged"),
        {session, QVariantMap{{QStringLiteral("LockedHint"), false}}, QStringList()}, 6));
    // Only the start of a shutdown counts.
    logind.emitSignal(login1, manager, QStringLiteral("PrepareForShutdown"), {false});
    EXPECT_TRUE(sendAndHear(login1, manager, QStringLiteral("PrepareForShutdown"), {true}, 7));
    // A last change, heard after anything the ones before could still bring.
    EXPECT_TRUE(sendAndHear(kSessionPath, session, QStringLiteral("Lock"), {}, 8));
    const QStringList expected = {QStringLiteral("sleep"),     QStringLiteral("wake"),
                                  QStringLiteral("inactive"),  QStringLiteral("active"),
                                  QStringLiteral("locked"),    QStringLiteral("unlocked"),
                                  QStringLiteral("power off"), QStringLiteral("locked")};
    EXPECT_EQ(heard, expected);
}

TEST(servicesSyseventsLogindMissing, NoLogindStillListensAndSaysSoOnce) {
    if (!haveSessionBus()) {
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    }
    test::LogCapture log;
    platform::LogindSessionEvents events(QDBusConnection::sessionBus());
    EXPECT_TRUE(events.sessionPath().isEmpty());
    EXPECT_EQ(log.lines().size(), 1);
}

}  // namespace
}  // namespace talvor

#include "SystemBusFakesTest.moc"
