#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "kit/PropertyList.h"

// The application's Info.plist, where the kit reads its configuration ("Trellis" with
// "APIKey" and "Kits", "Wreckord"). Linux has no application bundle, so the file is a
// property list (XML or binary) found by `mainBundleInfoPlistPath`.
namespace talvor::kit {

// A read-only dictionary of a parsed property list.
class InfoDictionary {
  public:
    // A dictionary from XML or binary property-list bytes; nullopt when the bytes do not
    // parse or their root is not a dictionary.
    static std::optional<InfoDictionary> fromData(std::string_view bytes);
    // The same, read from a file; nullopt when it cannot be read.
    static std::optional<InfoDictionary> fromFile(const std::filesystem::path& path);

    // The value under `key` when it is a dictionary.
    std::optional<InfoDictionary> dictionary(const std::string& key) const;
    // The value under `key` when it is a string.
    std::optional<std::string> string(const std::string& key) const;
    // The value under `key`, of any kind; nullptr when there is none.
    const PlistValue* value(const std::string& key) const;

    const PlistDictionary& values() const { return values_; }

    explicit InfoDictionary(PlistDictionary values) : values_(std::move(values)) {}

  private:
    PlistDictionary values_;
};

// Where the application's Info.plist is, first match:
// 1. the file named by the environment variable TALVOR_INFO_PLIST, when set (then the only
//    place looked at);
// 2. share/talvor/Info.plist beside the program's folder (a build tree or a relocated install);
// 3. Info.plist in the installed data folder (<prefix>/share/talvor/).
// nullopt when no file is found; the kit then has no API key and starts nothing.
std::optional<std::filesystem::path> mainBundleInfoPlistPath();
// The dictionary of that file; nullopt when there is none or it does not parse.
std::optional<InfoDictionary> mainBundleInfoDictionary();

}  // namespace talvor::kit
