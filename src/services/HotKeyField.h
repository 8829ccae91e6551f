#pragma once

#include "foundation/ObjectExtras.h"
#include "platform/EventModifiers.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QKeyEvent;

namespace talvor {

// The recording rules of a hot-key field, apart from the widget: idle; recording (focus, no
// modifier yet); recording after a modifier press. A key press with Command, Option or
// Control held ends the recording with that key; losing focus before that puts the old
// shortcut back.
class HotKeyRecorder {
  public:
    enum class KeyResult {
        Ignored,  // not recording
        Refused,  // no Command, Option or Control held: beep, keep recording
        Taken,    // the new shortcut; recording ends
    };

    qint32 currKeyCode = -1;
    platform::ModifierFlags currFlags = 0;
    qint32 lastKeyCode = -1;
    platform::ModifierFlags lastFlags = 0;
    bool isActive = false;
    bool firstKey = false;

    // Tells the field's target of a change.
    std::function<void()> changed;

    void becomeFirstResponder();
    void resignFirstResponder();
    void flagsChanged(platform::ModifierFlags flags);
    KeyResult keyDown(qint32 keyCode);
    // Stores without telling the target.
    void setKeyCode(qint32 keyCode, platform::ModifierFlags flags);
    // The clear button: no shortcut, and the target is told.
    void clear();

    bool clearButtonEnabled() const;
    // Red text: recording after a modifier press.
    bool isRecordingModifiers() const { return isActive && firstKey; }
    // Control, option, shift, command symbols, then the key's name when there is a key.
    QString stringValueForKeys() const;
};

// An inline recorder of one shortcut: click or tab into it, hold modifiers, press a key.
// Tells its target of every change (the field is the argument).
class HotKeyField : public QWidget {
    Q_OBJECT
  public:
    using Action = Invocation<HotKeyField&>;

    explicit HotKeyField(QWidget* parent = nullptr);

    void setKeyCode(qint32 keyCode, platform::ModifierFlags flags);
    qint32 keyCode() const { return recorder_.currKeyCode; }
    platform::ModifierFlags flags() const { return recorder_.currFlags; }
    // The clear button's action: no shortcut, and the target is told.
    void clear();

    // The button that clears the field; enabled while there is a shortcut to clear.
    void setClearButton(QAbstractButton* button);
    void setAction(Action action) { action_ = std::move(action); }
    template <typename T>
    void setTarget(T* target, void (T::*action)(HotKeyField&)) {
        action_ = ObjectExtras::buildInvocation(target, action);
    }

    QString stringValueForKeys() const { return recorder_.stringValueForKeys(); }
    const QString& displayString() const { return displayString_; }
    bool isActive() const { return recorder_.isActive; }
    bool isRecordingModifiers() const { return recorder_.isRecordingModifiers(); }

    QSize sizeHint() const override;

    // What the field says where the desktop has no global hot keys.
    static QString unavailableNote();

  protected:
    // Tells, as the field's tip, whether the keys are global on this desktop.
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void updateStringValueForKeys();
    void updateClearButton();
    void tellTarget();

    HotKeyRecorder recorder_;
    QString displayString_;
    QPointer<QAbstractButton> clearButton_;
    Action action_;
};

// The stored key code of a key event: by scan code on X11, else by Qt key (US positions).
std::optional<qint32> keyCodeForKeyEvent(const QKeyEvent& event);
// The modifier flag of a modifier key (Shift, Ctrl, Alt, Super/Meta); 0 for other keys.
platform::ModifierFlags modifierFlagOfKey(int qtKey);

}  // namespace talvor
