#include "EventModifiers.h"

#include <QGuiApplication>

#include <optional>

namespace talvor::platform {
namespace {

std::optional<ModifierFlags>& dispatched() {
    static std::optional<ModifierFlags> flags;
    return flags;
}

struct Pair {
    Qt::KeyboardModifier qt;
    ModifierFlags flag;
};
constexpr Pair kPairs[] = {
    {Qt::ShiftModifier, ShiftKeyMask},
    {Qt::ControlModifier, CommandKeyMask},
    {Qt::AltModifier, AlternateKeyMask},
    {Qt::MetaModifier, ControlKeyMask},
};

}  // namespace

ModifierFlags modifierFlagsFromQt(Qt::KeyboardModifiers modifiers) {
    ModifierFlags flags = 0;
    for (const Pair& p : kPairs) {
        if (modifiers.testFlag(p.qt)) {
            flags |= p.flag;
        }
    }
    return flags;
}

Qt::KeyboardModifiers qtModifiersFromFlags(ModifierFlags flags) {
    Qt::KeyboardModifiers modifiers;
    for (const Pair& p : kPairs) {
        if ((flags & p.flag) != 0) {
            modifiers |= p.qt;
        }
    }
    return modifiers;
}

ModifierFlags currentEventModifierFlags() {
    if (dispatched()) {
        return *dispatched();
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return 0;
    }
    return modifierFlagsFromQt(QGuiApplication::queryKeyboardModifiers());
}

ScopedEventModifiers::ScopedEventModifiers(ModifierFlags flags)
    : hadPrevious_(dispatched().has_value()), previous_(dispatched().value_or(0)) {
    dispatched() = flags;
}

ScopedEventModifiers::~ScopedEventModifiers() {
    if (hadPrevious_) {
        dispatched() = previous_;
    } else {
        dispatched().reset();
    }
}

}  // namespace talvor::platform
