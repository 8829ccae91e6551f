// Global hot keys through the desktop portal's GlobalShortcuts, against a portal of our own
// on the test's session bus (run under dbus-run-session): the keys are bound in a session,
// the desktop's activations reach their handlers, and a refusal or a missing portal turns
// global keys off with one log line.

#include "platform/VirtualKeyCodes.h"
#include "platform/linux/PortalHotKeyBackend.h"
#include "support/FakeKeyboardLayout.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::PortalShortcut;
using platform::PortalShortcutList;

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// The desktop's portal: answers each request with a Response on the request's path, and
// refuses bindings when told to.
class FakeGlobalShortcuts : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
  public:
    explicit FakeGlobalShortcuts(QDBusConnection bus) : bus_(std::move(bus)) {}
    uint version() const { return 1; }

    uint bindResponse = 0;  // 1: the user cancelled
    int sessions = 0;
    QList<PortalShortcutList> bindings;
    QString session;

    void activate(const QString& id, bool pressed = true) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kPath, kShortcuts,
            pressed ? QStringLiteral("Activated") : QStringLiteral("Deactivated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(4242)
               << QVariantMap();
        bus_.send(signal);
    }

  public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options) {
        if (!fromTheBackendUnderTest()) {
            return answer(options, 2, {});
        }
        ++sessions;
        session = QStringLiteral("%1/session/%2/%3")
                      .arg(kPath, sender(),
                           options.value(QStringLiteral("session_handle_token")).toString());
        QVariantMap results;
        results.insert(QStringLiteral("session_handle"), session);
        return answer(options, 0, results);
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& handle,
                                  const talvor::platform::PortalShortcutList& shortcuts,
                                  const QString&, const QVariantMap& options) {
        if (!fromTheBackendUnderTest()) {
            return answer(options, 2, {});
        }
        EXPECT_EQ(handle.path(), session);
        bindings << shortcuts;
        return answer(options, bindResponse, {});
    }

  private:
    // Programs of other tests share the test bus and find this portal too: they are refused,
    // so that their sessions and bindings never stand in for ours.
    bool fromTheBackendUnderTest() const {
        return message().service() == QDBusConnection::sessionBus().baseService();
    }
    QString sender() const {
        QString name = message().service().mid(1);
        return name.replace(QLatin1Char('.'), QLatin1Char('_'));
    }
    // The Request's path, answered once the reply is on its way.
    QDBusObjectPath answer(const QVariantMap& options, uint response, const QVariantMap& results) {
        const QString path =
            QStringLiteral("%1/request/%2/%3")
                .arg(kPath, sender(), options.value(QStringLiteral("handle_token")).toString());
        QTimer::singleShot(0, this, [this, path, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            bus_.send(signal);
        });
        return QDBusObjectPath(path);
    }

    QDBusConnection bus_;
};

class PortalBus : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
        }
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
    }
    void TearDown() override {
        backend.reset();
        if (serving) {
            desktop.unregisterObject(kPath);
            desktop.unregisterService(kPortal);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }
    void serve() {
        ASSERT_TRUE(desktop.registerService(kPortal));
        ASSERT_TRUE(desktop.registerObject(kPath, &portal, QDBusConnection::ExportAllContents));
        serving = true;
    }
    void make() {
        backend = std::make_unique<platform::PortalHotKeyBackend>(
            QDBusConnection::sessionBus(), std::make_shared<test::FakeUsKeyboardLayout>());
    }
    bool answered() {
        bool done = false;
        bool accepted = false;
        QObject::connect(backend.get(), &platform::PortalHotKeyBackend::bindingAnswered,
                         backend.get(), [&](bool ok) {
                             done = true;
                             accepted = ok;
                         });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return accepted;
    }

    QDBusConnection desktop =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
    FakeGlobalShortcuts portal{desktop};
    bool serving = false;
    std::unique_ptr<platform::PortalHotKeyBackend> backend;
};

using platformPortalHotKeys = PortalBus;

const qint32 kT = 17;  // the T key
const qint32 kS = 1;   // the S key

TEST_F(platformPortalHotKeys, KeysRegisteredTogetherAreBoundOnceInOneSession) {
    serve();
    make();
    const auto t =
        backend->registerHotKey(kT, platform::CommandKeyMask | platform::AlternateKeyMask,
                                [](const platform::HotKeyEvent&) {});
    const auto s = backend->registerHotKey(kS, platform::ControlKeyMask | platform::ShiftKeyMask,
                                           [](const platform::HotKeyEvent&) {});
    ASSERT_TRUE(t);
    ASSERT_TRUE(s);
    EXPECT_TRUE(answered());
    EXPECT_TRUE(backend->isAvailable());
    EXPECT_TRUE(backend->isBound());
    EXPECT_EQ(portal.sessions, 1);
    ASSERT_EQ(portal.bindings.size(), 1) << "one request for both keys";
    ASSERT_EQ(portal.bindings[0].size(), 2);
    QStringList triggers;
    for (const PortalShortcut& shortcut : portal.bindings[0]) {
        triggers << shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
    }
    EXPECT_EQ(triggers, (QStringList{"CTRL+ALT+t", "SHIFT+LOGO+s"}));

    // Our own combination twice, or one without Ctrl, Alt or Super, is refused at once.
    EXPECT_EQ(backend->registerHotKey(kT, platform::CommandKeyMask | platform::AlternateKeyMask, {})
                  .refusal,
              platform::HotKeyRefusal::Taken);
    EXPECT_EQ(backend->registerHotKey(kT, platform::ShiftKeyMask, {}).refusal,
              platform::HotKeyRefusal::NoModifier);

    // Letting one go binds the rest again, in the same session.
    backend->unregisterHotKey(s.handle);
    EXPECT_TRUE(answered());
    EXPECT_EQ(portal.sessions, 1);
    ASSERT_EQ(portal.bindings.size(), 2);
    EXPECT_EQ(portal.bindings[1].size(), 1);
}

TEST_F(platformPortalHotKeys, ActivationsReachTheirHandler) {
    serve();
    make();
    std::vector<std::pair<char, bool>> heard;
    backend->registerHotKey(kT, platform::CommandKeyMask, [&](const platform::HotKeyEvent& e) {
        heard.emplace_back('t', e.pressed);
    });
    backend->registerHotKey(kS, platform::CommandKeyMask, [&](const platform::HotKeyEvent& e) {
        heard.emplace_back('s', e.pressed);
    });
    ASSERT_TRUE(answered());
    const QString sId = portal.bindings[0][1].id;
    portal.activate(sId, true);
    portal.activate(sId, false);
    portal.activate(QStringLiteral("not-ours"), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() >= 2; }, 10000));
    QTest::qWait(0);
    EXPECT_EQ(heard, (std::vector<std::pair<char, bool>>{{'s', true}, {'s', false}}));
}

TEST_F(platformPortalHotKeys, RefusedBindingTurnsGlobalKeysOff) {
    serve();
    portal.bindResponse = 1;
    make();
    int presses = 0;
    const Qt::KeyboardModifiers command = platform::qtModifiersFromFlags(platform::CommandKeyMask);
    ASSERT_TRUE(
        backend->registerHotKey(kT, platform::CommandKeyMask,
                                [&](const platform::HotKeyEvent& e) { presses += e.pressed; }));
    test::LogCapture logs;
    EXPECT_FALSE(answered());
    EXPECT_FALSE(backend->isAvailable());
    EXPECT_EQ(logs.lines().filter(QStringLiteral("refused the global hot keys")).size(), 1);

    // The keys still work while a window of ours has focus, and type nothing there.
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(window.windowHandle(), Qt::Key_T, command);
    EXPECT_EQ(presses, 1);
    QTest::keyClick(window.windowHandle(), Qt::Key_T);  // no Command: an ordinary key
    EXPECT_EQ(presses, 1);
    // Keys registered after the refusal too; the desktop is not asked again.
    int later = 0;
    ASSERT_TRUE(backend->registerHotKey(
        kS, platform::CommandKeyMask, [&](const platform::HotKeyEvent& e) { later += e.pressed; }));
    QTest::keyClick(window.windowHandle(), Qt::Key_S, command);
    EXPECT_EQ(later, 1);
    QTest::qWait(0);
    EXPECT_EQ(portal.bindings.size(), 1);
}

TEST_F(platformPortalHotKeys, MissingPortalTurnsGlobalKeysOff) {
    make();
    ASSERT_TRUE(backend->registerHotKey(kT, platform::CommandKeyMask, {}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !backend->isAvailable(); }, 10000));
}

}  // namespace
}  // namespace talvor

#include "PortalHotKeyTest.moc"
