#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Requests and responses as the kit's sessions take and give them.
namespace talvor::kit {

// Header fields in the order they were set; names compare ignoring case.
class HTTPHeaderFields {
  public:
    std::optional<std::string> value(std::string_view name) const;
    // Replaces the field (an empty value keeps an empty field).
    void setValue(std::string name, std::string value);
    // Adds to the field: a value already there is kept, the new one after it (", ").
    void addValue(std::string name, const std::string& value);
    void remove(std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& all() const { return fields_; }
    bool empty() const { return fields_.empty(); }

  private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct URLRequest {
    std::string URL;
    std::string HTTPMethod = "GET";
    HTTPHeaderFields headers;
    // The body in memory; an upload task sends a file instead.
    std::string HTTPBody;
    // Seconds without progress (and to connect) before the request fails.
    double timeoutInterval = 60.0;
    // A reply body longer than this stops the transfer (a URL error -1103, not retried);
    // none: the session's cap.
    std::optional<std::uint64_t> maximumResponseBytes;

    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headers.value(name);
    }
    void setValue(std::string value, std::string name) {
        headers.setValue(std::move(name), std::move(value));
    }
};

struct HTTPURLResponse {
    std::string URL;
    long statusCode = 0;
    HTTPHeaderFields headers;

    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        return headers.value(name);
    }
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace talvor::kit
