#include "kit/InfoDictionary.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

namespace talvor::kit {

InfoDictionary::InfoDictionary(std::shared_ptr<void> root, void* node)
    : root_(std::move(root)), node_(node) {}

std::optional<InfoDictionary> InfoDictionary::fromData(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    std::shared_ptr<void> owner(root, [](void* p) { plist_free(static_cast<plist_t>(p)); });
    if (plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    return InfoDictionary(std::move(owner), root);
}

std::optional<InfoDictionary> InfoDictionary::fromFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return std::nullopt;
    }
    return fromData(bytes);
}

std::optional<InfoDictionary> InfoDictionary::dictionary(const std::string& key) const {
    plist_t item = plist_dict_get_item(static_cast<plist_t>(node_), key.c_str());
    if (item == nullptr || plist_get_node_type(item) != PLIST_DICT) {
        return std::nullopt;
    }
    return InfoDictionary(root_, item);
}

std::optional<std::string> InfoDictionary::string(const std::string& key) const {
    plist_t item = plist_dict_get_item(static_cast<plist_t>(node_), key.c_str());
    if (item == nullptr || plist_get_node_type(item) != PLIST_STRING) {
        return std::nullopt;
    }
    char* value = nullptr;
    plist_get_string_val(item, &value);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string text(value);
    std::free(value);
    return text;
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
