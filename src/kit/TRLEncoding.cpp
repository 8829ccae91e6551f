#include "kit/TRLEncoding.h"

#include <sys/random.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "kit/Digest.h"

namespace talvor::kit {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string hexOf(const std::uint8_t* bytes, std::size_t n) {
    std::string text(2 * n, '0');
    for (std::size_t i = 0; i < n; ++i) {
        TRLHexFromByte(bytes[i], &text[2 * i]);
    }
    return text;
}

// The kernel's generator; std::random_device (which may read the same) should it be unusable.
void fillRandom(std::uint8_t* bytes, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::getrandom(bytes + got, size - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (got < size) {
        std::random_device device;
        for (; got < size; ++got) {
            bytes[got] = static_cast<std::uint8_t>(device());
        }
    }
}

}  // namespace

void TRLHexFromByte(std::uint8_t byte, char* out) {
    if (out == nullptr) {
        return;
    }
    out[0] = kHexDigits[byte >> 4];
    out[1] = kHexDigits[byte & 0x0f];
}

void TRLSafeHexToString(const std::uint8_t* bytes, std::size_t n, char* out) {
    if (out == nullptr) {
        return;
    }
    std::memset(out, 0, 2 * n + 1);
    if (bytes == nullptr || n == 0) {
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        TRLHexFromByte(bytes[i], out + 2 * i);
    }
}

std::string TRLNSDataPrettyDescription(std::string_view data) {
    return hexOf(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

std::string TRLHashBytes(const void* bytes, std::size_t length) {
    const auto digest = sha1Digest(bytes, bytes != nullptr ? length : 0);
    return hexOf(digest.data(), digest.size());
}

std::string TRLHashNSData(std::string_view data) {
    return TRLHashBytes(data.data(), data.size());
}

std::string FAB256HashBytes(const void* bytes, std::size_t length) {
    const auto digest = sha256Digest(bytes, bytes != nullptr ? length : 0);
    return hexOf(digest.data(), digest.size());
}

std::string FAB256HashNSData(std::string_view data) {
    return FAB256HashBytes(data.data(), data.size());
}

std::string TRLGenerateUUID() {
    std::array<std::uint8_t, 16> b{};
    fillRandom(b.data(), b.size());
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0f) | 0x40);  // version 4: random
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3f) | 0x80);  // the RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

std::string TRLUUIDToNSString(const std::uint8_t* uuid) {
    return uuid == nullptr ? std::string() : hexOf(uuid, 16);
}

void TRLEnumerateByteRangesOfNSDataUsingBlock(
    std::string_view data,
    const std::function<void(const std::uint8_t* bytes, TRLByteRange range, bool& stop)>& block) {
    if (!block) {
        return;
    }
    bool stop = false;
    block(reinterpret_cast<const std::uint8_t*>(data.data()), {0, data.size()}, stop);
}

}  // namespace talvor::kit
