#pragma once

#include "platform/EventModifiers.h"

#include <QPushButton>

namespace talvor {

// A button that, while it has keyboard focus, posts every key press as the local
// notification "KeyBraodcasterKeyEvent" (object: the button; "KeyCode", "Modifiers" with the
// key combination's modifier mask).
class TalvorKeyBroadcaster : public QPushButton {
    Q_OBJECT
  public:
    explicit TalvorKeyBroadcaster(QWidget* parent = nullptr);

    static qint64 cocoaToCarbonModifiers(platform::ModifierFlags flags);
    void _broadcastKeyCode(qint16 keyCode, qint64 modifiers);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace talvor
