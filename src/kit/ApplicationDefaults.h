#pragma once

#include <memory>
#include <optional>
#include <string>

#include "kit/PropertyList.h"

// The application's standard user defaults, as the kit reaches them: the kit has no Qt, so
// the application implements this port and installs it before the kit starts. Without one
// the kit sees empty defaults.
namespace talvor::kit {

class ApplicationDefaults {
  public:
    virtual ~ApplicationDefaults() = default;

    virtual std::optional<PlistValue> objectForKey(const std::string& key) const = 0;
    virtual void removeObjectForKey(const std::string& key) = 0;
    // False when the defaults could not be written.
    virtual bool synchronize() = 0;

    // The installed port, or empty defaults when none is installed.
    static std::shared_ptr<ApplicationDefaults> standard();
    // Installs `defaults` (nullptr: empty defaults again); returns the previous port.
    static std::shared_ptr<ApplicationDefaults> setStandard(
        std::shared_ptr<ApplicationDefaults> defaults);
};

}  // namespace talvor::kit
