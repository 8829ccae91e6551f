#include "kit/PropertyListBounds.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace talvor::kit {
namespace {

struct OpenContainer {
    bool dictionary = false;
    std::uint64_t entries = 0;
};

PropertyListRefusal tooManyEntries(std::uint64_t entries, const PropertyListLimits& limits) {
    return {PropertyListRefusal::Reason::TooManyEntries,
            "an array or dictionary of " + std::to_string(entries) + " entries, more than the " +
                std::to_string(limits.maxEntries) + " allowed",
            entries};
}

}  // namespace

std::optional<PropertyListRefusal> checkXmlPropertyList(std::string_view data,
                                                        const PropertyListLimits& limits) {
    auto skipPast = [&](std::size_t from, std::string_view marker) {
        const std::size_t at = data.find(marker, from);
        return at == std::string_view::npos ? data.size() : at + marker.size();
    };
    std::vector<OpenContainer> open;
    // The level (1-based) of the first container found beyond maxEntries: its entries are
    // still counted to its end, so that the refusal can say how many it holds.
    std::size_t overLevel = 0;
    std::size_t p = 0;
    while ((p = data.find('<', p)) != std::string_view::npos) {
        const std::string_view rest = data.substr(p);
        if (rest.starts_with("<!--")) {
            p = skipPast(p + 4, "-->");
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            p = skipPast(p + 9, "]]>");
            continue;
        }
        if (rest.starts_with("<?")) {
            p = skipPast(p + 2, "?>");
            continue;
        }
        if (rest.starts_with("<!")) {
            const std::size_t gt = std::min(data.find('>', p), data.size());
            const std::size_t subset = std::min(data.find('[', p), data.size());
            p = subset < gt ? skipPast(subset, "]>") : std::min(gt + 1, data.size());
            continue;
        }
        // A NUL ends the name, as it ends libplist's C-string copy of it.
        std::size_t nameEnd = p + 1;
        while (nameEnd < data.size() && std::strchr(" \t\r\n<>", data[nameEnd]) == nullptr) {
            ++nameEnd;
        }
        std::size_t close = nameEnd;
        while (close < data.size() && data[close] != '<' && data[close] != '>') {
            ++close;
        }
        if (close == data.size() || data[close] == '<') {
            p = close;  // libplist refuses a tag without '>'
            continue;
        }
        std::string_view name = data.substr(p + 1, nameEnd - p - 1);
        const bool empty = data[close - 1] == '/';
        if (name.ends_with('/')) {
            name.remove_suffix(1);
        }
        p = close + 1;
        if (name == "/array" || name == "/dict") {
            if (!open.empty()) {
                if (open.size() == overLevel) {
                    return tooManyEntries(open.back().entries, limits);
                }
                open.pop_back();
            }
            continue;
        }
        if (name.starts_with('/')) {
            continue;
        }
        // Values do not nest, so every opening tag is an element of the innermost container;
        // a dictionary's entries are counted by their keys.
        if (!open.empty() && (!open.back().dictionary || name == "key") &&
            ++open.back().entries > limits.maxEntries && overLevel == 0) {
            overLevel = open.size();
        }
        if (!empty && (name == "array" || name == "dict")) {
            if (open.size() >= static_cast<std::size_t>(std::max(limits.maxDepth, 0))) {
                return PropertyListRefusal{PropertyListRefusal::Reason::TooDeep,
                                           "arrays and dictionaries nested more than " +
                                               std::to_string(limits.maxDepth) + " deep"};
            }
            open.push_back({name == "dict", 0});
        }
    }
    if (overLevel != 0) {
        return tooManyEntries(open[overLevel - 1].entries, limits);
    }
    return std::nullopt;
}

}  // namespace talvor::kit
