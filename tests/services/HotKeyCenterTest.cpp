// The hot-key centre with a fake back end: replacing, clear combinations, switching all
// keys off and on, and presses that belong to another registry.
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/TalvorHotKeyCenter.h"

#include "support/FakeClock.h"
#include "support/FakeHotKeyBackend.h"

#include <gtest/gtest.h>

using namespace talvor;
using platform::AlternateKeyMask;
using platform::CommandKeyMask;
using platform::ShiftKeyMask;

namespace {

constexpr qint64 kCmdShift = CarbonModifiers::cmdKey | CarbonModifiers::shiftKey;
constexpr platform::ModifierFlags kCmdShiftFlags = CommandKeyMask | ShiftKeyMask;

struct Target {
    int presses = 0;
    TalvorHotKeyCenter* from = nullptr;
    void pressed(TalvorHotKeyCenter& center) {
        ++presses;
        from = &center;
    }
};

class hotkeysCenter : public ::testing::Test {
  protected:
    test::FakeHotKeyBackend backend;
    TalvorHotKeyCenter center{&backend};
    std::shared_ptr<Target> target = std::make_shared<Target>();

    TalvorHotKeyCenter::Action action() {
        return ObjectExtras::buildInvocation(target, &Target::pressed);
    }
};

using servicesHotkeysCenter = hotkeysCenter;

TEST_F(servicesHotkeysCenter, SignatureKeys) {
    EXPECT_EQ(TalvorHotKeyCenter::makeSigKey(TalvorHotKeyCenter::kSignature, 5),
              QStringLiteral("hk484B79435"));
    EXPECT_EQ(TalvorHotKeyCenter::makeSigKey(0x68746B79, 12), QStringLiteral("hk68746B7912"));
}

TEST_F(servicesHotkeysCenter, APressSendsTheActionAndAReleaseNothing) {
    ASSERT_TRUE(center.addHotKey(QStringLiteral("calc"), TalvorKeyCombo(24, kCmdShift), action()));
    EXPECT_TRUE(backend.press(24, kCmdShiftFlags));
    EXPECT_TRUE(backend.send(24, kCmdShiftFlags, {true, true, 0}));
    EXPECT_TRUE(backend.release(24, kCmdShiftFlags));
    EXPECT_EQ(target->presses, 1);
    EXPECT_EQ(target->from, &center);
    EXPECT_EQ(center.keyComboForName(QStringLiteral("calc")), TalvorKeyCombo(24, kCmdShift));
    EXPECT_EQ(center.allNames(), QStringList{QStringLiteral("calc")});
}

TEST_F(servicesHotkeysCenter, AddingANameAgainReplacesItsEntry) {
    center.addHotKey(QStringLiteral("k"), TalvorKeyCombo(24, kCmdShift), action());
    ASSERT_TRUE(center.addHotKey(QStringLiteral("k"), TalvorKeyCombo(17, kCmdShift), action()));
    EXPECT_FALSE(backend.isRegistered(24, kCmdShiftFlags));
    EXPECT_TRUE(backend.isRegistered(17, kCmdShiftFlags));
    EXPECT_EQ(center.allNames().size(), 1);
    EXPECT_EQ(center.keyComboForName(QStringLiteral("k")), TalvorKeyCombo(17, kCmdShift));

    center.removeHotKey(QStringLiteral("k"));
    EXPECT_EQ(backend.registrationCount(), 0u);
    EXPECT_FALSE(center.keyComboForName(QStringLiteral("k")).has_value());
}

TEST_F(servicesHotkeysCenter, AClearCombinationIsKeptButNotRegistered) {
    EXPECT_TRUE(center.addHotKey(QStringLiteral("none"), TalvorKeyCombo(), action()));
    EXPECT_EQ(center.allNames(), QStringList{QStringLiteral("none")});
    EXPECT_FALSE(center.isRegistered(QStringLiteral("none")));
    EXPECT_EQ(backend.registerCalls(), 0);
}

TEST_F(servicesHotkeysCenter, ARefusedCombinationAnswersFalse) {
    backend.holdElsewhere(24, kCmdShiftFlags);
    EXPECT_FALSE(center.addHotKey(QStringLiteral("k"), TalvorKeyCombo(24, kCmdShift), action()));
    EXPECT_FALSE(center.isRegistered(QStringLiteral("k")));
    // A combination without Command, Option or Control is never grabbed.
    EXPECT_FALSE(center.addHotKey(QStringLiteral("plain"),
                                  TalvorKeyCombo(0, CarbonModifiers::shiftKey), action()));
    EXPECT_EQ(backend.registrationCount(), 0u);
}

TEST_F(servicesHotkeysCenter, DisablingAndEnablingRegistersEveryEntryAgain) {
    center.addHotKey(QStringLiteral("a"), TalvorKeyCombo(24, kCmdShift), action());
    center.addHotKey(QStringLiteral("b"), TalvorKeyCombo(17, kCmdShift), action());
    center.setEnabled(false);
    EXPECT_FALSE(center.enabled());
    EXPECT_EQ(backend.registrationCount(), 0u);
    EXPECT_EQ(center.allNames().size(), 2);
    // Added while disabled: kept, registered on enabling.
    EXPECT_TRUE(center.addHotKey(QStringLiteral("c"), TalvorKeyCombo(13, kCmdShift), action()));
    EXPECT_EQ(backend.registrationCount(), 0u);

    center.setEnabled(true);
    EXPECT_EQ(backend.registrationCount(), 3u);
    EXPECT_TRUE(backend.press(17, kCmdShiftFlags));
    EXPECT_EQ(target->presses, 1);
}

TEST_F(servicesHotkeysCenter, APressOfAnotherRegistrysKeyReachesNoTarget) {
    test::FakeClock clock;
    HotKeyManager manager(&backend, &clock);
    manager.findOrMakeHotKeyNamed(keys::ToggleHotKey);
    ASSERT_TRUE(manager.bindHotKeyCode(8, CommandKeyMask | AlternateKeyMask, keys::ToggleHotKey));
    center.addHotKey(QStringLiteral("a"), TalvorKeyCombo(24, kCmdShift), action());
    EXPECT_TRUE(backend.press(8, CommandKeyMask | AlternateKeyMask));
    EXPECT_EQ(target->presses, 0);
}

TEST_F(servicesHotkeysCenter, AnActionMayRemoveItsOwnEntry) {
    struct Remover {
        void pressed(TalvorHotKeyCenter& c) { c.removeHotKey(QStringLiteral("self")); }
    };
    auto remover = std::make_shared<Remover>();
    center.addHotKey(QStringLiteral("self"), TalvorKeyCombo(24, kCmdShift),
                     ObjectExtras::buildInvocation(remover, &Remover::pressed));
    EXPECT_TRUE(backend.press(24, kCmdShiftFlags));
    EXPECT_TRUE(center.allNames().isEmpty());
    EXPECT_EQ(backend.registrationCount(), 0u);
}

}  // namespace
