#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Facts about the machine the kit reports with its data. On Linux the operating system's
// version is the distribution's (VERSION_ID of os-release, else the kernel release), its
// build the kernel release, and the model the firmware's product name.
namespace talvor::kit {

struct TRLOSVersion {
    std::int64_t majorVersion = 0;
    std::int64_t minorVersion = 0;
    std::int64_t patchVersion = 0;
    bool operator==(const TRLOSVersion&) const = default;
};

TRLOSVersion TRLHostGetOSVersion();
// The minor version as the platform's old numbering (6 -> 1060 ... 13 -> 101300); 0 for
// any other minor version.
std::uint64_t TRLHostGetNormalizedOSVersion();
std::uint64_t TRLHostNormalizedOSVersion(const TRLOSVersion& version);
// The kernel parameter `name` ("kernel.osrelease" is /proc/sys/kernel/osrelease), up to
// 127 bytes of its first line; nullopt when it cannot be read.
std::optional<std::string> TRLHostSysctlEntry(const std::string& name);
std::optional<std::string> TRLHostOSBuildVersion();
std::optional<std::string> TRLHostModelInfo();
// "%ld.%ld.%ld" of the version.
std::string TRLHostOSDisplayVersion();

namespace host {

// The version at the start of `text` ("22.04.3", "6.1.0-18-amd64"); missing parts are 0.
std::optional<TRLOSVersion> parseVersion(std::string_view text);
// VERSION_ID of os-release contents, unquoted.
std::optional<std::string> osReleaseValue(std::string_view contents, std::string_view key);
// The version from os-release contents, else from the kernel release.
TRLOSVersion osVersionFrom(std::optional<std::string_view> osRelease, std::string_view kernel);
// The firmware's product name in `dmiFolder`, else `machine`.
std::string modelFrom(const std::filesystem::path& dmiFolder, const std::string& machine);

}  // namespace host

}  // namespace talvor::kit
