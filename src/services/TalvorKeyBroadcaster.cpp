#include "TalvorKeyBroadcaster.h"

#include "HotKeyField.h"
#include "HotKeyKeys.h"
#include "TalvorKeyCombo.h"

#include "platform/NotificationCenter.h"

#include <QKeyEvent>

namespace talvor {

TalvorKeyBroadcaster::TalvorKeyBroadcaster(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

qint64 TalvorKeyBroadcaster::cocoaToCarbonModifiers(platform::ModifierFlags flags) {
    return TalvorKeyCombo::modifiersForNSModifiers(flags);
}

void TalvorKeyBroadcaster::_broadcastKeyCode(qint16 keyCode, qint64 modifiers) {
    platform::NotificationCenter::defaultCenter().post(
        keys::KeyBraodcasterKeyEvent, platform::senderObject(this),
        {{keys::KeyBroadcasterKeyCode, QVariant(static_cast<qint64>(keyCode))},
         {keys::KeyBroadcasterModifiers, QVariant(modifiers)}});
}

bool TalvorKeyBroadcaster::event(QEvent* event) {
    // Key equivalents (shortcuts) are key presses here too.
    if (event->type() == QEvent::ShortcutOverride && hasFocus()) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress && hasFocus()) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QPushButton::event(event);
}

void TalvorKeyBroadcaster::keyPressEvent(QKeyEvent* event) {
    event->accept();
    if (modifierFlagOfKey(event->key()) != 0) {
        return;
    }
    const std::optional<qint32> code = keyCodeForKeyEvent(*event);
    if (!code) {
        return;
    }
    _broadcastKeyCode(static_cast<qint16>(*code),
                      cocoaToCarbonModifiers(platform::modifierFlagsFromQt(event->modifiers())));
}

}  // namespace talvor
