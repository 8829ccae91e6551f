#pragma once

#include <QVariant>

#include <optional>

#include "kit/ApplicationDefaults.h"
#include "kit/PropertyList.h"

namespace talvor {

// The standard user defaults, as the kit sees them (the kit has no Qt).
class KitApplicationDefaults final : public kit::ApplicationDefaults {
  public:
    std::optional<kit::PlistValue> objectForKey(const std::string& key) const override;
    void removeObjectForKey(const std::string& key) override;
    bool synchronize() override;
};

// A property-list value of the preference store as the kit's value; nullopt for a value
// no property list holds.
std::optional<kit::PlistValue> toKitValue(const QVariant& value);

// Hands the kit what it needs of the application (its identity, its defaults, the kits
// linked into the program) and starts the kits. Cheap enough for the start-up's first
// step: a small file read, and on the first launch ever one small file written. A refusal
// by the kit is logged; the application runs on without the kits.
void startKits();

// Tells the kits of the quit and gives them a moment to write and send their last events.
void kitsApplicationWillTerminate();

}  // namespace talvor
