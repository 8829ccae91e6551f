#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Assembles a service URL from a base, path components and query parameters.
namespace talvor::kit {

class TRLURLBuilder {
  public:
    static TRLURLBuilder URLWithBase(std::string_view base);

    void appendComponent(std::string_view component);
    void escapeAndAppendComponent(std::string_view component);
    // Nothing for no value; the first parameter starts with "?", the others with "&".
    void appendValue(const std::optional<std::string>& value, std::string_view queryParam);
    // Percent-escapes in UTF-8 the bytes that may never stand in a URL; reserved
    // characters ("/", "?", "&", "=" ...) stay as they are.
    static std::string escapeString(std::string_view text);

    const std::string& URLString() const { return URLString_; }
    std::uint64_t queryParams() const { return queryParams_; }
    // None when the text is not an absolute URL with a scheme and a host.
    std::optional<std::string> URL() const;

  private:
    std::string URLString_;
    std::uint64_t queryParams_ = 0;
};

}  // namespace talvor::kit
