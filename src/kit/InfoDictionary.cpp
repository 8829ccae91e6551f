#include "kit/InfoDictionary.h"

#include <cstdlib>
#include <system_error>

#include "kit/FileBytes.h"

namespace talvor::kit {

std::optional<InfoDictionary> InfoDictionary::fromData(std::string_view bytes) {
    auto root = PropertyList::parse(bytes);
    if (!root || root->dictionary() == nullptr) {
        return std::nullopt;
    }
    return InfoDictionary(*root->dictionary());
}

std::optional<InfoDictionary> InfoDictionary::fromFile(const std::filesystem::path& path) {
    const auto bytes = readRegularFile(path);
    return bytes ? fromData(*bytes) : std::nullopt;
}

std::optional<InfoDictionary> InfoDictionary::dictionary(const std::string& key) const {
    const PlistValue* item = value(key);
    if (item == nullptr || item->dictionary() == nullptr) {
        return std::nullopt;
    }
    return InfoDictionary(*item->dictionary());
}

std::optional<std::string> InfoDictionary::string(const std::string& key) const {
    const PlistValue* item = value(key);
    if (item == nullptr || item->string() == nullptr) {
        return std::nullopt;
    }
    return *item->string();
}

const PlistValue* InfoDictionary::value(const std::string& key) const {
    return find(values_, key);
}

std::optional<std::filesystem::path> mainBundleInfoPlistPath() {
    namespace fs = std::filesystem;
    if (const char* configured = std::getenv("TALVOR_INFO_PLIST"); configured && *configured) {
        // An explicit choice is never second-guessed by the other places.
        return fs::path(configured);
    }
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        fs::path besideProgram = program.parent_path().parent_path() / "share/talvor/Info.plist";
        if (fs::is_regular_file(besideProgram, error)) {
            return besideProgram;
        }
    }
    fs::path installed = fs::path(TALVOR_INSTALL_DATADIR) / "talvor/Info.plist";
    if (fs::is_regular_file(installed, error)) {
        return installed;
    }
    return std::nullopt;
}

std::optional<InfoDictionary> mainBundleInfoDictionary() {
    const auto path = mainBundleInfoPlistPath();
    return path ? InfoDictionary::fromFile(*path) : std::nullopt;
}

}  // namespace talvor::kit
