// The hot-key registry with a fake back end: registration numbers, observers, held time,
// the "HotKeys" store, and refused or damaged combinations.
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"

#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "platform/linux/X11HotKeyBackend.h"
#include "support/FakeClock.h"
#include "support/FakeHotKeyBackend.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <memory>

using namespace talvor;
using platform::AlternateKeyMask;
using platform::CommandKeyMask;
using platform::ControlKeyMask;
using platform::HotKeyRefusal;
using platform::ShiftKeyMask;

namespace {

constexpr qint32 kT = 17;
constexpr qint32 kC = 8;
constexpr platform::ModifierFlags kCmdOpt = CommandKeyMask | AlternateKeyMask;

// Records what it hears, with a tag, into a shared journal.
struct Listener {
    QString tag;
    QStringList* journal;
    std::vector<double>* durations = nullptr;
    void down(HotKey& key) { journal->append(tag + QStringLiteral(" down ") + key.name()); }
    void up(HotKey& key) {
        journal->append(tag + QStringLiteral(" up ") + key.name());
        if (durations != nullptr) {
            durations->push_back(key.duration());
        }
    }
};

class hotkeysRegistry : public ::testing::Test {
  protected:
    test::FakeHotKeyBackend backend;
    test::FakeClock clock{Date::fromReference(1000)};
    platform::MemoryPreferenceStore store{QStringLiteral("hotkeys-test")};
    platform::UserDefaults defaults{store};
    HotKeyManager manager{&backend, &clock, &defaults};
    QStringList journal;

    QVariantMap entry(const QVariant& name, const QVariant& code, const QVariant& flags) {
        QVariantMap m;
        if (name.isValid())
            m.insert(keys::HotKeyName, name);
        if (code.isValid())
            m.insert(keys::HotKeyCode, code);
        if (flags.isValid())
            m.insert(keys::HotKeyFlags, flags);
        return m;
    }
    static QVariant n(qint64 v) { return QVariant(v); }
};

using servicesHotkeysRegistry = hotkeysRegistry;

TEST_F(servicesHotkeysRegistry, RegistrationNumbersGrowAndLeaveTheMap) {
    HotKey& toggle = manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    HotKey& center = manager.findOrMakeHotKeyNamed(keys::CenterHotKey);
    ASSERT_TRUE(manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey));
    const quint32 first = toggle.hotKeyID();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(HotKey::hotKeyForID(first), &toggle);

    ASSERT_TRUE(manager.bindHotKeyCode(kC, kCmdOpt, keys::CenterHotKey));
    EXPECT_GT(center.hotKeyID(), first);

    manager.unbindHotKeyNamed(keys::ToggleHotKey);
    EXPECT_EQ(toggle.hotKeyID(), 0u);
    EXPECT_EQ(toggle.keyCode(), -1);
    EXPECT_EQ(HotKey::hotKeyForID(first), nullptr);
    EXPECT_FALSE(backend.isRegistered(kT, kCmdOpt));

    // The same combination again: a fresh, higher number.
    ASSERT_TRUE(manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey));
    EXPECT_GT(toggle.hotKeyID(), center.hotKeyID());
    EXPECT_EQ(HotKey::hotKeyForID(toggle.hotKeyID()), &toggle);

    // Rebinding while bound unregisters first.
    const quint32 before = toggle.hotKeyID();
    ASSERT_TRUE(toggle.bindToKeyCode(kT, CommandKeyMask | ShiftKeyMask));
    EXPECT_GT(toggle.hotKeyID(), before);
    EXPECT_EQ(HotKey::hotKeyForID(before), nullptr);
    EXPECT_FALSE(backend.isRegistered(kT, kCmdOpt));
    EXPECT_EQ(backend.registrationCount(), 2u);
}

TEST_F(servicesHotkeysRegistry, BindingAnUnknownNameCreatesNothing) {
    EXPECT_FALSE(manager.bindHotKeyCode(kT, kCmdOpt, QStringLiteral("Nobody")));
    EXPECT_EQ(manager.hotKeyNamed(QStringLiteral("Nobody")), nullptr);
    manager.unbindHotKeyNamed(QStringLiteral("Nobody"));
    EXPECT_EQ(backend.registerCalls(), 0);
}

TEST_F(servicesHotkeysRegistry, ObserversAreCalledInTheOrderAddedAndOnlyWhileAlive) {
    auto first = std::make_shared<Listener>(Listener{QStringLiteral("first"), &journal});
    auto second = std::make_shared<Listener>(Listener{QStringLiteral("second"), &journal});
    auto gone = std::make_shared<Listener>(Listener{QStringLiteral("gone"), &journal});
    manager.addObserver(first, &Listener::down, &Listener::up, keys::ToggleHotKey);
    manager.addObserver(gone, &Listener::down, nullptr, keys::ToggleHotKey);
    manager.addObserver(second, &Listener::down, nullptr, keys::ToggleHotKey);
    EXPECT_EQ(backend.registerCalls(), 0) << "adding observers registers nothing";
    gone.reset();

    ASSERT_TRUE(manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey));
    ASSERT_TRUE(backend.press(kT, kCmdOpt));
    ASSERT_TRUE(backend.release(kT, kCmdOpt));
    EXPECT_EQ(journal, (QStringList{"first down ToggleHotKey", "second down ToggleHotKey",
                                    "first up ToggleHotKey"}));
}

TEST_F(servicesHotkeysRegistry, HeldDurationAndKeyDownTime) {
    std::vector<double> durations;
    auto listener = std::make_shared<Listener>(Listener{QStringLiteral("l"), &journal, &durations});
    manager.addObserver(listener, &Listener::down, &Listener::up, keys::CenterHotKey);
    ASSERT_TRUE(manager.bindHotKeyCode(kC, kCmdOpt, keys::CenterHotKey));
    HotKey& key = *manager.hotKeyNamed(keys::CenterHotKey);

    // Without event times the clock decides.
    backend.press(kC, kCmdOpt);
    EXPECT_EQ(key.keyDownTime(), clock.now());
    clock.advance(1.5);
    backend.release(kC, kCmdOpt);
    ASSERT_EQ(durations.size(), 1u);
    EXPECT_DOUBLE_EQ(durations[0], 1.5);

    // A second press resets the duration until its release; repeats are not presses.
    clock.advance(10);
    backend.press(kC, kCmdOpt);
    const Date down = clock.now();
    EXPECT_EQ(key.duration(), 0.0);
    clock.advance(0.5);
    backend.send(kC, kCmdOpt, {true, true, 0});
    EXPECT_EQ(key.keyDownTime(), down);
    EXPECT_EQ(journal.count(QStringLiteral("l down CenterHotKey")), 2);
    clock.advance(0.25);
    backend.release(kC, kCmdOpt);
    EXPECT_DOUBLE_EQ(durations.back(), 0.75);

    // With event times, those decide (the main loop may have been late).
    backend.press(kC, kCmdOpt, 40'000);
    clock.advance(3);
    backend.release(kC, kCmdOpt, 40'200);
    EXPECT_DOUBLE_EQ(durations.back(), 0.2);
}

TEST_F(servicesHotkeysRegistry, SavingStoresOnlyBoundHotKeys) {
    manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    manager.saveToPrefs(keys::HotKeys);
    EXPECT_EQ(defaults.objectForKey(keys::HotKeys), QVariant(QVariantList()));

    manager.findOrMakeHotKeyNamed(keys::CenterHotKey);
    manager.bindHotKeyCode(kC, kCmdOpt | ControlKeyMask, keys::CenterHotKey);
    manager.saveToPrefs(keys::HotKeys);
    const QVariantList saved = defaults.objectForKey(keys::HotKeys).toList();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].toMap(),
              entry(QStringLiteral("CenterHotKey"), n(kC), n(kCmdOpt | ControlKeyMask)));
}

TEST_F(servicesHotkeysRegistry, LoadingBindsStoredEntriesAndLeavesOthersAlone) {
    manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey);
    defaults.setObject(QVariantList{entry(QStringLiteral("CenterHotKey"), n(kC), n(kCmdOpt)),
                                    entry(QStringLiteral("Unused"), n(0), n(CommandKeyMask))},
                       keys::HotKeys);
    manager.loadFromPrefs(keys::HotKeys);

    EXPECT_TRUE(manager.hotKeyNamed(keys::CenterHotKey)->isRegistered());
    EXPECT_TRUE(manager.hotKeyNamed(keys::ToggleHotKey)->isRegistered());
    // A stored name nobody observes is registered all the same; pressing it calls nothing.
    ASSERT_NE(manager.hotKeyNamed(QStringLiteral("Unused")), nullptr);
    EXPECT_TRUE(backend.press(0, CommandKeyMask));
    EXPECT_TRUE(journal.isEmpty());

    // Round trip through a second registry.
    manager.saveToPrefs(keys::HotKeys);
    test::FakeHotKeyBackend otherBackend;
    HotKeyManager other(&otherBackend, &clock, &defaults);
    other.loadFromPrefs(keys::HotKeys);
    EXPECT_TRUE(otherBackend.isRegistered(kT, kCmdOpt));
    EXPECT_TRUE(otherBackend.isRegistered(kC, kCmdOpt));
    EXPECT_TRUE(otherBackend.isRegistered(0, CommandKeyMask));

    // Nothing stored: nothing happens.
    HotKeyManager empty(&otherBackend, &clock, &defaults);
    empty.loadFromPrefs(QStringLiteral("Absent"));
    EXPECT_EQ(empty.hotKeyNamed(keys::ToggleHotKey), nullptr);
}

TEST_F(servicesHotkeysRegistry, DamagedOrUnsafeStoredEntriesAreSkipped) {
    struct Case {
        const char* what;
        QVariant entry;
    };
    const Case cases[] = {
        {"not a dictionary", QVariant(QStringLiteral("ToggleHotKey"))},
        {"no code", entry(QStringLiteral("a"), QVariant(), n(kCmdOpt))},
        {"no flags", entry(QStringLiteral("b"), n(kT), QVariant())},
        {"code as text", entry(QStringLiteral("c"), QVariant(QStringLiteral("17")), n(kCmdOpt))},
        {"no name", entry(QVariant(), n(kT), n(kCmdOpt))},
        {"no modifier", entry(QStringLiteral("d"), n(kT), n(0))},
        {"shift only", entry(QStringLiteral("e"), n(kT), n(ShiftKeyMask))},
        {"caps lock only", entry(QStringLiteral("f"), n(kT), n(1 << 16))},
        {"unbound code", entry(QStringLiteral("g"), n(-1), n(kCmdOpt))},
        {"code out of range", entry(QStringLiteral("h"), n(200), n(kCmdOpt))},
        {"a modifier key", entry(QStringLiteral("i"), n(56), n(kCmdOpt))},
        {"flags beyond 32 bits", entry(QStringLiteral("j"), n(kT), n(qint64(1) << 40))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::LogCapture log;
        defaults.setObject(QVariantList{c.entry, entry(QStringLiteral("ok"), n(kC), n(kCmdOpt))},
                           keys::HotKeys);
        test::FakeHotKeyBackend fresh;
        HotKeyManager m(&fresh, &clock, &defaults);
        m.loadFromPrefs(keys::HotKeys);
        EXPECT_EQ(fresh.registrationCount(), 1u);
        EXPECT_TRUE(fresh.isRegistered(kC, kCmdOpt));
        EXPECT_EQ(log.lines().size(), 1) << log.lines().join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(servicesHotkeysRegistry, RefusedCombinationsAreReportedNotAssumed) {
    struct Case {
        const char* what;
        qint32 code;
        platform::ModifierFlags flags;
        bool heldElsewhere;
        bool available;
        HotKeyRefusal refusal;
    };
    const Case cases[] = {
        {"held by another program", kT, kCmdOpt, true, true, HotKeyRefusal::Taken},
        {"no modifier", kT, 0, false, true, HotKeyRefusal::NoModifier},
        {"shift only", kT, ShiftKeyMask, false, true, HotKeyRefusal::NoModifier},
        {"a modifier key", 56, kCmdOpt, false, true, HotKeyRefusal::NoKey},
        {"no X11", kT, kCmdOpt, false, false, HotKeyRefusal::Unavailable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeHotKeyBackend fresh;
        fresh.setAvailable(c.available);
        if (c.heldElsewhere) {
            fresh.holdElsewhere(c.code, c.flags);
        }
        HotKeyManager m(&fresh, &clock, &defaults);
        HotKey& key = m.findOrMakeHotKeyNamed(keys::ToggleHotKey);
        EXPECT_FALSE(m.bindHotKeyCode(c.code, c.flags, keys::ToggleHotKey));
        EXPECT_EQ(key.refusal(), c.refusal);
        EXPECT_FALSE(key.isRegistered());
        EXPECT_EQ(key.hotKeyID(), 0u);
        EXPECT_EQ(fresh.registrationCount(), 0u);
        // The binding is kept, so it can be tried again once free.
        EXPECT_EQ(key.keyCode(), c.code);
    }

    HotKey& key = manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    backend.holdElsewhere(kT, kCmdOpt);
    EXPECT_FALSE(manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey));
    backend.releaseElsewhere(kT, kCmdOpt);
    EXPECT_TRUE(key.resume());
    EXPECT_EQ(key.refusal(), HotKeyRefusal::None);
    EXPECT_TRUE(backend.isRegistered(kT, kCmdOpt));

    // Two names cannot hold one combination.
    manager.findOrMakeHotKeyNamed(keys::CenterHotKey);
    EXPECT_FALSE(manager.bindHotKeyCode(kT, kCmdOpt, keys::CenterHotKey));
    EXPECT_EQ(manager.hotKeyNamed(keys::CenterHotKey)->refusal(), HotKeyRefusal::Taken);
}

TEST_F(servicesHotkeysRegistry, DestroyingTheRegistryUnregistersEverything) {
    {
        HotKeyManager m(&backend, &clock, &defaults);
        m.findOrMakeHotKeyNamed(keys::ToggleHotKey);
        m.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey);
        EXPECT_EQ(backend.registrationCount(), 1u);
    }
    EXPECT_EQ(backend.registrationCount(), 0u);
}

}  // namespace

namespace {

TEST(servicesHotkeysBackend, WithoutX11OrAPortalTheKeysWorkWhileAWindowHasFocus) {
    QString why;
    EXPECT_EQ(platform::X11HotKeyBackend::open(&why, QByteArrayLiteral(":4242")), nullptr);
    EXPECT_TRUE(why.contains(QStringLiteral("does not answer"))) << why.toStdString();

    // A Wayland session: the shared back end (made on first use in this process) says so once.
    const QByteArray saved = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "wayland-hotkeys-test");
    test::LogCapture log;
    platform::HotKeyBackend& shared = platform::HotKeyBackend::shared();
    test::FakeClock clock;
    HotKeyManager manager(&shared, &clock);
    manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    manager.findOrMakeHotKeyNamed(keys::CenterHotKey);
    // No global keys there: the keys are kept and work while a Talvor window has focus.
    EXPECT_TRUE(manager.bindHotKeyCode(kT, kCmdOpt, keys::ToggleHotKey));
    EXPECT_TRUE(manager.bindHotKeyCode(kC, kCmdOpt, keys::CenterHotKey));
    EXPECT_EQ(manager.hotKeyNamed(keys::CenterHotKey)->refusal(), HotKeyRefusal::None);
    EXPECT_FALSE(shared.isAvailable());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].contains(QStringLiteral("Wayland")));
    // Key names still follow a layout.
    EXPECT_NE(shared.keyboardLayout(), nullptr);
    if (saved.isNull()) {
        qunsetenv("WAYLAND_DISPLAY");
    } else {
        qputenv("WAYLAND_DISPLAY", saved);
    }
}

}  // namespace
