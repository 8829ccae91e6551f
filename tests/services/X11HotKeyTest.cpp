// Global hot keys on a real X server (Xvfb): key presses sent with XTest reach the
// observers with the time held, and a combination another client grabbed is refused.
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/TalvorKeyComboPanel.h"

#include "platform/linux/X11HotKeyBackend.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>

using namespace talvor;
using platform::AlternateKeyMask;
using platform::CommandKeyMask;

namespace {

constexpr platform::ModifierFlags kCmdOpt = CommandKeyMask | AlternateKeyMask;

// A second X client: types with XTest and grabs keys of its own.
class OtherClient {
  public:
    OtherClient() : c_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    }
    ~OtherClient() { xcb_disconnect(c_); }
    bool ok() const { return xcb_connection_has_error(c_) == 0; }

    void key(quint32 scanCode, bool press, quint32 delayMs = 0) {
        xcb_test_fake_input(c_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                            static_cast<uint8_t>(scanCode), delayMs, root_, 0, 0, 0);
    }
    bool grab(quint32 scanCode, uint16_t mods) {
        xcb_generic_error_t* e = xcb_request_check(
            c_, xcb_grab_key_checked(c_, 1, root_, mods, static_cast<xcb_keycode_t>(scanCode),
                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(e);
        return e == nullptr;
    }
    void ungrab(quint32 scanCode, uint16_t mods) {
        xcb_ungrab_key(c_, static_cast<xcb_keycode_t>(scanCode), root_, mods);
        sync();
    }
    void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  private:
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
};

struct Listener {
    int downs = 0;
    int ups = 0;
    double duration = -1;
    void down(HotKey&) { ++downs; }
    void up(HotKey& key) {
        ++ups;
        duration = key.duration();
    }
};

class hotkeysX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        }
        QString why;
        backend = platform::X11HotKeyBackend::open(&why);
        ASSERT_NE(backend, nullptr) << why.toStdString();
        ASSERT_TRUE(other.ok());
        layout =
            std::dynamic_pointer_cast<const platform::XkbKeyboardLayout>(backend->keyboardLayout());
        ASSERT_NE(layout, nullptr);
    }

    quint32 scan(const char* name) { return layout->scanCodeForXkbName(name).value_or(0); }

    OtherClient other;
    std::unique_ptr<platform::X11HotKeyBackend> backend;
    std::shared_ptr<const platform::XkbKeyboardLayout> layout;
    test::FakeClock clock;
};

using servicesHotkeysX11 = hotkeysX11;

TEST_F(servicesHotkeysX11, XTestPressAndReleaseReachTheObservers) {
    HotKeyManager manager(backend.get(), &clock);
    auto listener = std::make_shared<Listener>();
    manager.addObserver(listener, &Listener::down, &Listener::up, keys::ToggleHotKey);
    ASSERT_TRUE(manager.bindHotKeyCode(17, kCmdOpt, keys::ToggleHotKey))
        << platform::describeRefusal(manager.hotKeyNamed(keys::ToggleHotKey)->refusal())
               .toStdString();

    const quint32 ctrl = scan("LCTL");
    const quint32 alt = scan("LALT");
    const quint32 t = layout->scanCodeForKeyCode(17).value_or(0);
    ASSERT_NE(ctrl * alt * t, 0u);
    other.key(ctrl, true);
    other.key(alt, true);
    other.key(t, true);
    // The modifiers are let go first: the key's release still ends the press.
    other.key(alt, false, 150);
    other.key(ctrl, false);
    other.key(t, false);
    other.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listener->ups == 1; }, 5000));
    EXPECT_EQ(listener->downs, 1);
    EXPECT_GT(listener->duration, 0.0) << "held for the release's delay, by the server's clock";

    // A second combination of ours heard after the keys under test: the server delivers in
    // order, so everything sent before it has been handled by then.
    int sentinels = 0;
    const platform::HotKeyGrab sentinel = backend->registerHotKey(
        13, kCmdOpt, [&](const platform::HotKeyEvent& e) { sentinels += e.pressed ? 1 : 0; });
    ASSERT_TRUE(sentinel);
    const quint32 w = layout->scanCodeForKeyCode(13).value_or(0);
    ASSERT_NE(w, 0u);
    const auto allHandled = [&] {
        const int before = sentinels;
        other.key(ctrl, true);
        other.key(alt, true);
        other.key(w, true);
        other.key(w, false);
        other.key(alt, false);
        other.key(ctrl, false);
        other.sync();
        return QTest::qWaitFor([&] { return sentinels > before; }, 5000);
    };

    // The same key without the modifiers is not ours.
    other.key(t, true);
    other.key(t, false);
    other.sync();
    ASSERT_TRUE(allHandled());
    EXPECT_EQ(listener->downs, 1);

    // Unbound: silent.
    manager.unbindHotKeyNamed(keys::ToggleHotKey);
    other.key(ctrl, true);
    other.key(alt, true);
    other.key(t, true);
    other.key(t, false);
    other.key(alt, false);
    other.key(ctrl, false);
    other.sync();
    ASSERT_TRUE(allHandled());
    EXPECT_EQ(listener->downs, 1);
    backend->unregisterHotKey(sentinel.handle);
}

TEST_F(servicesHotkeysX11, AHeldKeyIsOnePressWithRepeatsMarked) {
    int presses = 0, repeats = 0, releases = 0;
    const platform::HotKeyGrab grab =
        backend->registerHotKey(13, kCmdOpt, [&](const platform::HotKeyEvent& e) {
            (e.pressed ? (e.repeat ? repeats : presses) : releases) += 1;
        });
    ASSERT_TRUE(grab);
    const quint32 ctrl = scan("LCTL");
    const quint32 alt = scan("LALT");
    const quint32 w = layout->scanCodeForKeyCode(13).value_or(0);
    other.key(ctrl, true);
    other.key(alt, true);
    other.key(w, true);
    // Held past the server's auto-repeat delay.
    other.key(w, false, 1500);
    other.key(alt, false);
    other.key(ctrl, false);
    other.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return releases == 1; }, 5000));
    EXPECT_EQ(presses, 1);
    EXPECT_GT(repeats, 0) << "the server repeated the held key";
    backend->unregisterHotKey(grab.handle);
}

TEST_F(servicesHotkeysX11, AnotherClientsGrabMakesRegistrationFail) {
    const quint32 y = layout->scanCodeForKeyCode(16).value_or(0);
    ASSERT_NE(y, 0u);
    const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    ASSERT_TRUE(other.grab(y, ctrlAlt));

    HotKeyManager manager(backend.get(), &clock);
    HotKey& center = manager.findOrMakeHotKeyNamed(keys::CenterHotKey);
    EXPECT_FALSE(manager.bindHotKeyCode(16, kCmdOpt, keys::CenterHotKey));
    EXPECT_EQ(center.refusal(), platform::HotKeyRefusal::Taken);
    EXPECT_FALSE(center.isRegistered());
    EXPECT_TRUE(backend->isHeldElsewhere(16, kCmdOpt));
    TalvorKeyComboPanel panel(backend.get());
    EXPECT_TRUE(panel.checkForGlobalConflict(0x100 | 0x800, 16));

    // The refused attempt left nothing behind: once the other client lets go, it works.
    other.ungrab(y, ctrlAlt);
    EXPECT_FALSE(backend->isHeldElsewhere(16, kCmdOpt));
    EXPECT_TRUE(center.resume());
    // Our own grab is no conflict for our own trial, and the trial leaves it in place.
    EXPECT_FALSE(backend->isHeldElsewhere(16, kCmdOpt));
    EXPECT_FALSE(other.grab(y, ctrlAlt)) << "we hold it now";
}

TEST_F(servicesHotkeysX11, UnsafeCombinationsAreNeverGrabbed) {
    const quint32 t = layout->scanCodeForKeyCode(17).value_or(0);
    EXPECT_EQ(backend->registerHotKey(17, 0, {}).refusal, platform::HotKeyRefusal::NoModifier);
    EXPECT_EQ(backend->registerHotKey(17, platform::ShiftKeyMask, {}).refusal,
              platform::HotKeyRefusal::NoModifier);
    EXPECT_EQ(backend->registerHotKey(56, kCmdOpt, {}).refusal, platform::HotKeyRefusal::NoKey);
    EXPECT_TRUE(other.grab(t, 0)) << "no plain grab of ours is in the way";
    other.ungrab(t, 0);
}

}  // namespace
