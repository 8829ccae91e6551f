#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// SHA-1 and SHA-256 of a byte range. Our own, so that a start of the program does not pay
// for loading and setting up a crypto library for a handful of short identifiers.
namespace talvor::kit {

std::array<std::uint8_t, 20> sha1Digest(const void* bytes, std::size_t length);
std::array<std::uint8_t, 32> sha256Digest(const void* bytes, std::size_t length);

}  // namespace talvor::kit
