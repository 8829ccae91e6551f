#include "kit/network/URLRequest.h"

#include <algorithm>
#include <cctype>

namespace talvor::kit {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string> HTTPHeaderFields::value(std::string_view name) const {
    for (const auto& [key, value] : fields_) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

void HTTPHeaderFields::setValue(std::string name, std::string value) {
    for (auto& field : fields_) {
        if (equalsIgnoringCase(field.first, name)) {
            field.second = std::move(value);
            return;
        }
    }
    fields_.emplace_back(std::move(name), std::move(value));
}

void HTTPHeaderFields::addValue(std::string name, const std::string& value) {
    for (auto& field : fields_) {
        if (equalsIgnoringCase(field.first, name)) {
            field.second += ", " + value;
            return;
        }
    }
    fields_.emplace_back(std::move(name), value);
}

void HTTPHeaderFields::remove(std::string_view name) {
    std::erase_if(fields_,
                  [name](const auto& field) { return equalsIgnoringCase(field.first, name); });
}

}  // namespace talvor::kit
