#include "kit/TLYApplication.h"

#include "kit/KitLog.h"
#include "kit/MainBundle.h"

namespace talvor::kit {

TLYApplication TLYApplication::hostApplication() {
    const PlistDictionary* info = MainBundle::main()->infoDictionary();
    return TLYApplication(info != nullptr ? *info : PlistDictionary());
}

std::optional<std::string> TLYApplication::text(const std::string& key) const {
    const auto it = info_.find(key);
    if (it == info_.end() || it->second.string() == nullptr) {
        return std::nullopt;
    }
    return *it->second.string();
}

std::optional<PlistDictionary> TLYApplication::extensionDefinitionDictionary() const {
    const auto it = info_.find("NSExtension");
    if (it == info_.end()) {
        return std::nullopt;
    }
    if (const PlistDictionary* dictionary = it->second.dictionary()) {
        return *dictionary;
    }
    // Said whatever the analytics' debug mode: a packaging mistake of the application.
    const std::string* text = it->second.string();
    std::string line = "Error: NSExtension Info.plist entry is mal-formed ";
    line.append(text != nullptr ? *text : std::string("(not a dictionary)"));
    log(KitLogLevel::Warning, line);
    return std::nullopt;
}

std::optional<std::string> TLYApplication::extensionPointIdentifier() const {
    const auto extension = extensionDefinitionDictionary();
    if (!extension) {
        return std::nullopt;
    }
    const auto it = extension->find("NSExtensionPointIdentifier");
    if (it == extension->end() || it->second.string() == nullptr) {
        log(KitLogLevel::Warning,
            "Error: NSExtensionPointIdentifier Info.plist entry is mal-formed");
        return std::nullopt;
    }
    return *it->second.string();
}

}  // namespace talvor::kit
