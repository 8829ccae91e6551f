// The shortcut recorder driven by synthetic key and focus events offscreen, the key
// broadcaster's notification and the capture panel's conflict check.
#include "platform/OpenDialogs.h"
#include "services/HotKeyField.h"
#include "services/HotKeyKeys.h"
#include "services/TalvorKeyBroadcaster.h"
#include "services/TalvorKeyComboPanel.h"

#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "support/FakeHotKeyBackend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

using namespace talvor;
using platform::AlternateKeyMask;
using platform::CommandKeyMask;
using platform::ControlKeyMask;
using platform::ShiftKeyMask;

namespace {

// One step of a recording session.
struct Step {
    enum Kind { FocusIn, FocusOut, ModifierDown, ModifierUp, Key, Clear, ClickClear } kind;
    int qtKey = 0;
    Qt::KeyboardModifiers held = Qt::NoModifier;
};
Step focusIn() {
    return {Step::FocusIn};
}
Step focusOut() {
    return {Step::FocusOut};
}
Step modDown(int key, Qt::KeyboardModifiers heldBefore = Qt::NoModifier) {
    return {Step::ModifierDown, key, heldBefore};
}
Step modUp(int key, Qt::KeyboardModifiers heldBefore) {
    return {Step::ModifierUp, key, heldBefore};
}
Step key(int k, Qt::KeyboardModifiers held = Qt::NoModifier) {
    return {Step::Key, k, held};
}
Step clearStep() {
    return {Step::Clear};
}
Step clickClear() {
    return {Step::ClickClear};
}

class hotkeysRecorder : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::HotKeyBackend::setShared(&backend);
        previousBeep = platform::setBeepHandler([this] { ++beeps; });
        field.setClearButton(&clearButton);
        field.setAction(ObjectExtras::buildInvocation(&spy, &Spy::changed));
    }
    void TearDown() override {
        platform::setBeepHandler(previousBeep);
        platform::HotKeyBackend::setShared(nullptr);
    }

    void run(const Step& s) {
        switch (s.kind) {
            case Step::FocusIn: {
                QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
                QApplication::sendEvent(&field, &e);
                break;
            }
            case Step::FocusOut: {
                QFocusEvent e(QEvent::FocusOut, Qt::MouseFocusReason);
                QApplication::sendEvent(&field, &e);
                break;
            }
            case Step::ModifierDown:
            case Step::Key: {
                QKeyEvent e(QEvent::KeyPress, s.qtKey, s.held);
                QApplication::sendEvent(&field, &e);
                break;
            }
            case Step::ModifierUp: {
                QKeyEvent e(QEvent::KeyRelease, s.qtKey, s.held);
                QApplication::sendEvent(&field, &e);
                break;
            }
            case Step::Clear:
                field.clear();
                break;
            case Step::ClickClear:
                clearButton.click();
                break;
        }
    }

    struct Spy : QObject {
        QList<qint32> seen;
        void changed(HotKeyField& f) { seen.append(f.keyCode()); }
    };

    test::FakeHotKeyBackend backend;
    platform::BeepHandler previousBeep;
    int beeps = 0;
    QPushButton clearButton;
    HotKeyField field;
    Spy spy;
};

using servicesHotkeysRecorder = hotkeysRecorder;

TEST_F(servicesHotkeysRecorder, Sessions) {
    constexpr qint32 kT = 17;
    constexpr platform::ModifierFlags kOld = CommandKeyMask | ShiftKeyMask;
    struct Case {
        const char* what;
        qint32 startCode;
        platform::ModifierFlags startFlags;
        std::vector<Step> steps;
        qint32 code;
        platform::ModifierFlags flags;
        QList<qint32> told;
        int beeps;
        bool recording;
    };
    const Case cases[] = {
        {"modifiers only, then focus lost: the old shortcut is back, told twice",
         kT,
         kOld,
         {focusIn(), modDown(Qt::Key_Control), modUp(Qt::Key_Control, Qt::ControlModifier),
          focusOut()},
         kT,
         kOld,
         {-1, kT},
         0,
         false},
        {"clear on an empty field still tells the target",
         -1,
         0,
         {clearStep()},
         -1,
         0,
         {-1},
         0,
         false},
        {"the clear button on a shortcut", kT, kOld, {clickClear()}, -1, 0, {-1}, 0, false},
        {"a key with a modifier ends the recording",
         -1,
         0,
         {focusIn(), modDown(Qt::Key_Control), modDown(Qt::Key_Alt, Qt::ControlModifier),
          key(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier)},
         8,
         CommandKeyMask | AlternateKeyMask,
         {-1, 8},
         0,
         false},
        {"a key without modifier is refused with a beep and recording goes on",
         kT,
         kOld,
         {focusIn(), key(Qt::Key_T)},
         kT,
         kOld,
         {},
         1,
         true},
        {"shift alone is refused: the grab would steal typing",
         kT,
         kOld,
         {focusIn(), modDown(Qt::Key_Shift), key(Qt::Key_T, Qt::ShiftModifier), focusOut()},
         kT,
         kOld,
         {-1, kT},
         1,
         false},
        {"refused, then taken",
         -1,
         0,
         {focusIn(), key(Qt::Key_T), modDown(Qt::Key_Meta), key(Qt::Key_T, Qt::MetaModifier)},
         kT,
         ControlKeyMask,
         {-1, kT},
         1,
         false},
        {"modifiers held before focus count at the key press",
         -1,
         0,
         {focusIn(), key(Qt::Key_F1, Qt::ControlModifier | Qt::ShiftModifier)},
         122,
         CommandKeyMask | ShiftKeyMask,
         {-1, 122},
         0,
         false},
        {"a keypad key",
         -1,
         0,
         {focusIn(), modDown(Qt::Key_Control),
          key(Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier)},
         83,
         CommandKeyMask,
         {-1, 83},
         0,
         false},
        {"keys while not recording are ignored",
         kT,
         kOld,
         {key(Qt::Key_C, Qt::ControlModifier), modDown(Qt::Key_Control)},
         kT,
         kOld,
         {},
         0,
         false},
        {"tab is a key while recording",
         -1,
         0,
         {focusIn(), modDown(Qt::Key_Alt), key(Qt::Key_Tab, Qt::AltModifier)},
         48,
         AlternateKeyMask,
         {-1, 48},
         0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        field.setKeyCode(c.startCode, c.startFlags);
        spy.seen.clear();
        beeps = 0;
        for (const Step& s : c.steps) {
            run(s);
        }
        EXPECT_EQ(field.keyCode(), c.code);
        EXPECT_EQ(field.flags(), c.flags);
        EXPECT_EQ(spy.seen, c.told);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(field.isActive(), c.recording);
        run(focusOut());
    }
}

TEST_F(servicesHotkeysRecorder, ClearButtonAndRecordingColour) {
    field.setKeyCode(17, CommandKeyMask);
    EXPECT_TRUE(clearButton.isEnabled());
    run(focusIn());
    EXPECT_TRUE(clearButton.isEnabled());
    EXPECT_FALSE(field.isRecordingModifiers());
    run(modDown(Qt::Key_Control));
    EXPECT_FALSE(clearButton.isEnabled()) << "recording after a modifier press";
    EXPECT_TRUE(field.isRecordingModifiers());
    run(focusOut());
    EXPECT_TRUE(clearButton.isEnabled());
    field.setKeyCode(-1, 0);
    EXPECT_FALSE(clearButton.isEnabled());
    EXPECT_EQ(spy.seen, (QList<qint32>{-1, 17})) << "setKeyCode tells nobody";
}

TEST_F(servicesHotkeysRecorder, FieldSaysWhenTheDesktopHasNoGlobalKeys) {
    field.show();
    EXPECT_TRUE(field.toolTip().isEmpty());
    field.hide();
    backend.setAvailable(false);
    field.show();
    EXPECT_EQ(field.toolTip(), HotKeyField::unavailableNote());
    EXPECT_TRUE(field.toolTip().contains(QStringLiteral("not available on this desktop")));
}

TEST_F(servicesHotkeysRecorder, ShortcutTextOrder) {
    struct Case {
        qint32 code;
        platform::ModifierFlags flags;
        QString text;
    };
    const Case cases[] = {
        // The names of a Linux keyboard: the command flag is the Ctrl key, control is Super.
        {122, ControlKeyMask | AlternateKeyMask | ShiftKeyMask | CommandKeyMask,
         QStringLiteral("Ctrl+Alt+Shift+Super+F1")},
        {0, CommandKeyMask | ShiftKeyMask, QStringLiteral("Ctrl+Shift+A")},
        {-1, AlternateKeyMask, QStringLiteral("Alt+")},
        {83, CommandKeyMask, QStringLiteral("Ctrl+Pad 1")},
    };
    for (const Case& c : cases) {
        field.setKeyCode(c.code, c.flags);
        EXPECT_EQ(field.stringValueForKeys(), c.text);
        EXPECT_EQ(field.displayString(), c.text);
    }
}

TEST(servicesHotkeysRecorderRules, CapsLockAloneIsNoModifier) {
    HotKeyRecorder r;
    r.becomeFirstResponder();
    r.flagsChanged(1u << 16);  // the Caps Lock bit of the flags word
    EXPECT_EQ(r.keyDown(17), HotKeyRecorder::KeyResult::Refused);
    EXPECT_TRUE(r.isActive);
    r.flagsChanged((1u << 16) | AlternateKeyMask);
    EXPECT_EQ(r.keyDown(0x10011), HotKeyRecorder::KeyResult::Taken);
    EXPECT_EQ(r.currKeyCode, 17) << "the low 16 bits";
    EXPECT_EQ(r.keyDown(17), HotKeyRecorder::KeyResult::Ignored);
}

class hotkeysPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::HotKeyBackend::setShared(&backend);
        previousBeep = platform::setBeepHandler([this] { ++beeps; });
        panel.setAlertHandler([this](const QString& title, const QString& message) {
            alerts.append(title + QLatin1Char('|') + message);
        });
    }
    void TearDown() override {
        platform::setBeepHandler(previousBeep);
        platform::HotKeyBackend::setShared(nullptr);
    }
    void type(int qtKey, Qt::KeyboardModifiers mods) {
        QKeyEvent e(QEvent::KeyPress, qtKey, mods);
        QApplication::sendEvent(panel.broadcaster(), &e);
    }

    test::FakeHotKeyBackend backend;
    TalvorKeyComboPanel panel{&backend};
    platform::BeepHandler previousBeep;
    int beeps = 0;
    QStringList alerts;
};

using servicesHotkeysPanel = hotkeysPanel;

TEST_F(servicesHotkeysPanel, BroadcasterPostsKeyCodeAndModifiers) {
    QList<platform::Notification> notes;
    platform::Observation o = platform::NotificationCenter::defaultCenter().addObserver(
        keys::KeyBraodcasterKeyEvent, QVariant(),
        [&](const platform::Notification& n) { notes.append(n); });
    type(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    type(Qt::Key_Shift, Qt::ShiftModifier);
    ASSERT_EQ(notes.size(), 1) << "modifier keys alone post nothing";
    EXPECT_EQ(notes[0].object, platform::senderObject(panel.broadcaster()));
    EXPECT_EQ(notes[0].userInfo.value(QStringLiteral("KeyCode")), QVariant(qint64(17)));
    EXPECT_EQ(notes[0].userInfo.value(QStringLiteral("Modifiers")),
              QVariant(qint64(0x100 + 0x800 + 0x1000 + 0x200)));
}

// The panel returns at once; its answer comes when a button closes it, and the quit
// path's closing of dialogs answers Cancel.
TEST_F(servicesHotkeysPanel, RunsWithoutWaitingAndAnswersOnClosing) {
    std::vector<int> results;
    panel.runModal([&](int result) { results.push_back(result); });
    EXPECT_TRUE(panel.window()->isVisible());
    EXPECT_TRUE(results.empty());
    panel.ok();
    EXPECT_EQ(results, std::vector<int>{1});
    EXPECT_FALSE(panel.window()->isVisible());

    panel.runModal([&](int result) { results.push_back(result + 10); });
    panel.cancel();
    panel.runModal([&](int result) { results.push_back(result + 20); });
    EXPECT_EQ(platform::closeOpenDialogs(), 1);
    EXPECT_EQ(results, (std::vector<int>{1, 10, 20})) << "each run answers once, to its caller";
    EXPECT_FALSE(panel.window()->isVisible());
}

TEST_F(servicesHotkeysPanel, ConflictsAreRefusedWithAnAlert) {
    backend.holdElsewhere(17, CommandKeyMask | ShiftKeyMask);
    type(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(panel.keyCombo(), TalvorKeyCombo::clearKeyCombo());
    EXPECT_EQ(panel.textField()->text(), QString());
    EXPECT_EQ(beeps, 1);
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0],
              QStringLiteral("Talvor Global hot key conflict|This key combination is already used "
                             "by a keyboard shortcut of the desktop.\n\nChoose another "
                             "combination, or free this one in the keyboard settings of your "
                             "desktop."));

    // Free again: taken.
    backend.releaseElsewhere(17, CommandKeyMask | ShiftKeyMask);
    type(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(panel.keyCombo(), TalvorKeyCombo(17, 0x300));
    EXPECT_EQ(panel.textField()->text(), QStringLiteral("Ctrl+Shift+T"));
    EXPECT_EQ(alerts.size(), 1);

    panel.clear();
    EXPECT_FALSE(panel.keyCombo().isValid());
    EXPECT_EQ(panel.textField()->text(), QString());
}

}  // namespace
