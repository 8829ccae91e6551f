#pragma once

#include <optional>
#include <string>

#include "kit/PropertyList.h"

// A read-only view of the host application's information dictionary: its identity and
// whether the kit runs inside an application extension (never so for this program, whose
// analytics therefore never ask for background uploads).
namespace talvor::kit {

class TLYApplication {
  public:
    // The main bundle's dictionary.
    static TLYApplication hostApplication();
    explicit TLYApplication(PlistDictionary infoPlistDict) : info_(std::move(infoPlistDict)) {}

    std::optional<std::string> bundleIdentifier() const { return text("CFBundleIdentifier"); }
    std::optional<std::string> bundleVersion() const { return text("CFBundleVersion"); }
    std::optional<std::string> shortVersionString() const {
        return text("CFBundleShortVersionString");
    }
    // "NSExtension" when it is a dictionary; another kind is logged as mal-formed and absent.
    std::optional<PlistDictionary> extensionDefinitionDictionary() const;
    // Its "NSExtensionPointIdentifier" when it is text (else logged, absent).
    std::optional<std::string> extensionPointIdentifier() const;
    bool isExtension() const { return extensionPointIdentifier().has_value(); }

  private:
    std::optional<std::string> text(const std::string& key) const;

    PlistDictionary info_;
};

}  // namespace talvor::kit
