#include "kit/network/TRLURLBuilder.h"

#include <curl/curl.h>

#include <cctype>

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
    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> url;
    char* host = nullptr;
    if (curl_url_set(parsed, CURLUPART_URL, URLString_.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        url = URLString_;
    }
    curl_free(host);
    curl_url_cleanup(parsed);
    return url;
}

}  // namespace talvor::kit
