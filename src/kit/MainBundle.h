#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kit/PropertyList.h"

// The application's bundle as the kit sees it. Linux has no bundles: the facts come from
// the application's Info.plist file (found by `mainBundleInfoPlistPath`) laid over the
// facts the application's build knows of itself (identifier, name, versions), which it
// hands over with `setBaseInfo` before the kit starts.
namespace talvor::kit {

class MainBundle {
  public:
    // `info` is the Info.plist dictionary (nullopt: none); resources lie in `resourceFolder`.
    MainBundle(std::optional<PlistDictionary> info, std::filesystem::path resourceFolder);

    // The process's bundle, made on first use: the Info.plist file's keys win over the base.
    static std::shared_ptr<const MainBundle> main();
    // Puts `bundle` in place of the main bundle (nullptr: the next `main` reads the file
    // again) and returns the previous one. For tests.
    static std::shared_ptr<const MainBundle> setMain(std::shared_ptr<const MainBundle> bundle);
    // The application's own facts ("CFBundleIdentifier", "CFBundleName", ...), read for keys
    // its Info.plist lacks. Takes effect for bundles made after the call.
    static void setBaseInfo(PlistDictionary info);

    // nullptr when the application has no Info.plist dictionary at all.
    const PlistDictionary* infoDictionary() const { return info_ ? &*info_ : nullptr; }
    const PlistValue* objectForInfoDictionaryKey(const std::string& key) const;
    // "CFBundleIdentifier" when it is a text.
    std::optional<std::string> bundleIdentifier() const;
    // The file `name`.`type` among the bundle's resources, when it exists.
    std::optional<std::filesystem::path> pathForResource(const std::string& name,
                                                         const std::string& type) const;
    // Linux software has no store receipt.
    std::optional<std::filesystem::path> appStoreReceiptPath() const { return std::nullopt; }

  private:
    std::optional<PlistDictionary> info_;
    std::filesystem::path resourceFolder_;
};

}  // namespace talvor::kit
