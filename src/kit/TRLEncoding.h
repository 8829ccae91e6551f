#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The kit's hex, hash and identifier helpers. Hex is lower case throughout.
namespace talvor::kit {

// Writes the two hex digits of `byte` to out[0] and out[1]; nothing when `out` is null.
void TRLHexFromByte(std::uint8_t byte, char* out);
// Zero-fills 2n+1 bytes of `out`, then writes the hex of the n bytes; writes no digits when
// `bytes` is null or n is 0, and nothing at all when `out` is null.
void TRLSafeHexToString(const std::uint8_t* bytes, std::size_t n, char* out);
// The hex of `data`.
std::string TRLNSDataPrettyDescription(std::string_view data);
// SHA-1 as 40 hex digits.
std::string TRLHashBytes(const void* bytes, std::size_t length);
std::string TRLHashNSData(std::string_view data);
// SHA-256 as 64 hex digits.
std::string FAB256HashBytes(const void* bytes, std::size_t length);
std::string FAB256HashNSData(std::string_view data);
// A new random UUID in its 36-character form: upper case, with dashes.
std::string TRLGenerateUUID();
// 16 bytes as 32 hex digits.
std::string TRLUUIDToNSString(const std::uint8_t* uuid);

struct TRLByteRange {
    std::size_t location = 0;
    std::size_t length = 0;
};
// Calls `block` for each contiguous range of `data` until it sets its stop flag. The kit's
// data is always one contiguous range.
void TRLEnumerateByteRangesOfNSDataUsingBlock(
    std::string_view data,
    const std::function<void(const std::uint8_t* bytes, TRLByteRange range, bool& stop)>& block);

}  // namespace talvor::kit
