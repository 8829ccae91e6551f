#pragma once

#include <Qt>

#include <QtGlobal>

namespace talvor::platform {

// Modifier-key masks with the original system's values, so numbers stored or compared by the
// program keep their meaning. On the keyboard: Command is Ctrl, Option is Alt, Control is
// Meta (Super).
using ModifierFlags = quint32;
inline constexpr ModifierFlags ShiftKeyMask = 1u << 17;
inline constexpr ModifierFlags ControlKeyMask = 1u << 18;
inline constexpr ModifierFlags AlternateKeyMask = 1u << 19;
inline constexpr ModifierFlags CommandKeyMask = 1u << 20;

ModifierFlags modifierFlagsFromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtModifiersFromFlags(ModifierFlags flags);

// The modifiers of the event being handled: the ones a presenter recorded for the click or
// menu choice it is dispatching, else the keys held now.
ModifierFlags currentEventModifierFlags();

// Makes `flags` the current event's modifiers for the life of the object.
class ScopedEventModifiers {
  public:
    explicit ScopedEventModifiers(ModifierFlags flags);
    ~ScopedEventModifiers();
    ScopedEventModifiers(const ScopedEventModifiers&) = delete;
    ScopedEventModifiers& operator=(const ScopedEventModifiers&) = delete;

  private:
    bool hadPrevious_;
    ModifierFlags previous_;
};

}  // namespace talvor::platform
