#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A kit failure as it travels between kit objects: a domain, an integer code, and the user
// information the kits read (a description, the errors it stands for).
namespace talvor::kit {

struct KitError {
    KitError() = default;
    // Brace lists name the fields in order; those left out are empty.
    KitError(std::string domain_, std::int64_t code_,
             std::optional<std::string> localizedDescription_ = std::nullopt,
             std::vector<KitError> underlyingErrors_ = {},
             std::map<std::string, std::string> userInfo_ = {})
        : domain(std::move(domain_)),
          code(code_),
          localizedDescription(std::move(localizedDescription_)),
          underlyingErrors(std::move(underlyingErrors_)),
          userInfo(std::move(userInfo_)) {}

    std::string domain;
    std::int64_t code = 0;
    // The user information's localised description, when it has one.
    std::optional<std::string> localizedDescription;
    // The errors this one gathers (a compound operation's failed members).
    std::vector<KitError> underlyingErrors;
    // Further user information by key; numbers are written in decimal.
    std::map<std::string, std::string> userInfo;

    friend bool operator==(const KitError&, const KitError&) = default;
};

// The error as a log line shows it: domain, code, description and user information.
inline std::string describe(const KitError& error) {
    std::string text = "Error Domain=" + error.domain + " Code=" + std::to_string(error.code);
    if (error.localizedDescription) {
        text += " \"" + *error.localizedDescription + "\"";
    }
    if (!error.userInfo.empty()) {
        text += " UserInfo={";
        const char* separator = "";
        for (const auto& [key, value] : error.userInfo) {
            text.append(separator).append(key).append("=").append(value);
            separator = ", ";
        }
        text += "}";
    }
    return text;
}

}  // namespace talvor::kit
