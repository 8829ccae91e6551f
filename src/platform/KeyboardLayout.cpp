#include "KeyboardLayout.h"

#include "SystemServices.h"

namespace talvor::platform {

KeyboardLayout::~KeyboardLayout() = default;

std::shared_ptr<const KeyboardLayout> KeyboardLayout::named(const QString& layout) {
    const auto& make = systemServices().keyboardLayout;
    return make ? make(layout) : nullptr;
}

}  // namespace talvor::platform
