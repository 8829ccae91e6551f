#include "kit/TRLHost.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "kit/FileBytes.h"

namespace talvor::kit {
namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

utsname systemName() {
    utsname name{};
    ::uname(&name);
    return name;
}

}  // namespace

namespace host {

std::optional<TRLOSVersion> parseVersion(std::string_view text) {
    std::int64_t parts[3] = {0, 0, 0};
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, error] = std::from_chars(p, end, parts[i]);
        if (error != std::errc() || parts[i] < 0) {
            if (i == 0) {
                return std::nullopt;
            }
            parts[i] = 0;
            break;
        }
        p = next;
        if (p == end || *p != '.') {
            break;
        }
        ++p;
    }
    return TRLOSVersion{parts[0], parts[1], parts[2]};
}

std::optional<std::string> osReleaseValue(std::string_view contents, std::string_view key) {
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string_view::npos) {
            end = contents.size();
        }
        std::string_view line = contents.substr(start, end - start);
        start = end + 1;
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            std::string value = trimmed(line.substr(key.size() + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return std::nullopt;
}

TRLOSVersion osVersionFrom(std::optional<std::string_view> osRelease, std::string_view kernel) {
    if (osRelease) {
        if (const auto id = osReleaseValue(*osRelease, "VERSION_ID")) {
            if (const auto version = parseVersion(*id)) {
                return *version;
            }
        }
    }
    return parseVersion(kernel).value_or(TRLOSVersion{});
}

std::string modelFrom(const std::filesystem::path& dmiFolder, const std::string& machine) {
    if (const auto product = readRegularFile(dmiFolder / "product_name")) {
        if (std::string name = trimmed(*product); !name.empty()) {
            return name;
        }
    }
    return machine;
}

}  // namespace host

TRLOSVersion TRLHostGetOSVersion() {
    auto osRelease = readRegularFile("/etc/os-release");
    if (!osRelease) {
        osRelease = readRegularFile("/usr/lib/os-release");
    }
    const utsname name = systemName();
    return host::osVersionFrom(
        osRelease ? std::optional<std::string_view>(*osRelease) : std::nullopt, name.release);
}

std::uint64_t TRLHostNormalizedOSVersion(const TRLOSVersion& version) {
    switch (version.minorVersion) {
        case 6:
            return 1060;
        case 7:
            return 1070;
        case 8:
            return 1080;
        case 9:
            return 1090;
        case 10:
            return 101000;
        case 11:
            return 101100;
        case 12:
            return 101200;
        case 13:
            return 101300;
        default:
            return 0;
    }
}

std::uint64_t TRLHostGetNormalizedOSVersion() {
    return TRLHostNormalizedOSVersion(TRLHostGetOSVersion());
}

std::optional<std::string> TRLHostSysctlEntry(const std::string& name) {
    if (name.empty() || name.find("..") != std::string::npos || name.front() == '.') {
        return std::nullopt;
    }
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '.', '/');
    auto text = readRegularFile(std::filesystem::path("/proc/sys") / relative);
    if (!text) {
        return std::nullopt;
    }
    text->resize(std::min({text->find('\n'), text->size(), std::size_t{127}}));
    return text;
}

std::optional<std::string> TRLHostOSBuildVersion() {
    const utsname name = systemName();
    if (name.release[0] == '\0') {
        return std::nullopt;
    }
    return std::string(name.release);
}

std::optional<std::string> TRLHostModelInfo() {
    const utsname name = systemName();
    std::string model = host::modelFrom("/sys/class/dmi/id", name.machine);
    if (model.empty()) {
        return std::nullopt;
    }
    return model;
}

std::string TRLHostOSDisplayVersion() {
    const TRLOSVersion v = TRLHostGetOSVersion();
    return std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion) + "." +
           std::to_string(v.patchVersion);
}

}  // namespace talvor::kit
