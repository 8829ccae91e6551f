#include "kit/network/TRLURLBuilder.h"

#include <cctype>

#include "kit/network/NetworkModule.h"

namespace talvor::kit {

TRLURLBuilder TRLURLBuilder::URLWithBase(std::string_view base) {
    TRLURLBuilder builder;
    builder.appendComponent(base);
    return builder;
}

void TRLURLBuilder::appendComponent(std::string_view component) {
    URLString_ += component;
}

void TRLURLBuilder::escapeAndAppendComponent(std::string_view component) {
    URLString_ += escapeString(component);
}

void TRLURLBuilder::appendValue(const std::optional<std::string>& value,
                                std::string_view queryParam) {
    if (!value) {
        return;
    }
    URLString_ += queryParams_ == 0 ? "?" : "&";
    ++queryParams_;
    URLString_ += queryParam;
    URLString_ += "=";
    URLString_ += escapeString(*value);
}

std::string TRLURLBuilder::escapeString(std::string_view text) {
    // Letters, digits, the unreserved and reserved marks, and "#" stand as they are.
    static constexpr std::string_view kKept = "-_.!~*'();/?:@&=+$,#";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((std::isalnum(byte) != 0 && byte < 0x80) || kKept.find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0x0F];
        }
    }
    return escaped;
}

std::optional<std::string> TRLURLBuilder::URL() const {
    const net::NetworkModule* module = net::networkModule();
    if (module == nullptr || !module->hostOf(URLString_)) {
        return std::nullopt;
    }
    return URLString_;
}

}  // namespace talvor::kit
