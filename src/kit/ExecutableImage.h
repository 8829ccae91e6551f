#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "kit/PropertyList.h"

// The identity of the running executable. ELF has no image UUID: an image is known by its
// GNU build-id (the NT_GNU_BUILD_ID note the linker writes), and that id written as lower-case
// hex is the image's "UUID" wherever the kit and the crash reports name one. The toolchain's
// build-ids are SHA-1 sized, so the text has `kImageUUIDHexDigits` digits; a longer id is cut
// there, a shorter one (an MD5 or UUID style id) is written whole.
namespace talvor::kit {

inline constexpr std::size_t kImageUUIDHexDigits = 40;

struct SDKVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t bugfix = 0;
    bool operator==(const SDKVersion&) const = default;
};

struct ImageIdentity {
    std::string architecture;  // "x86_64", "aarch64", ... (the names `uname -m` gives)
    PlistData buildID;         // empty when the image carries none
    // The oldest kernel the image runs on (its NT_GNU_ABI_TAG note), 0.0.0 without one.
    SDKVersion minimumOS;
};

// The architecture this program runs as.
std::string imageArchitectureName();
// The main executable's identity, from its program headers in memory (no file is read);
// nullopt when the loader lists no main program.
std::optional<ImageIdentity> mainExecutableIdentity();
// Reads the build-id and ABI notes of one PT_NOTE segment (`size` bytes at `notes`, already
// mapped) into `identity`; a damaged note ends the walk.
void readImageNotes(const unsigned char* notes, std::size_t size, ImageIdentity& identity);
// The image UUID text of a build-id (see above); empty for an empty id.
std::string imageUUIDString(const PlistData& buildID);

}  // namespace talvor::kit
