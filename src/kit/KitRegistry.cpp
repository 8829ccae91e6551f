#include "kit/KitRegistry.h"

namespace talvor::kit {

KitRegistry& KitRegistry::shared() {
    static KitRegistry registry;
    return registry;
}

void KitRegistry::add(const KitClass& kit) {
    std::lock_guard lock(mutex_);
    classes_.insert_or_assign(kit.name, &kit);
}

void KitRegistry::remove(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (const auto it = classes_.find(name); it != classes_.end()) {
        classes_.erase(it);
    }
}

const KitClass* KitRegistry::find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    const auto it = classes_.find(name);
    return it == classes_.end() ? nullptr : it->second;
}

}  // namespace talvor::kit
