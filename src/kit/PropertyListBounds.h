#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// What one property-list document may hold, shared by the kit's and the Qt side's readers:
// both refuse a document beyond these bounds while reading it, before building its values.
namespace talvor::kit {

struct PropertyListLimits {
    // Arrays and dictionaries inside one another, the outermost counted.
    int maxDepth = 256;
    // Entries of any one array or dictionary (a dictionary's entry: a key and its value).
    std::uint64_t maxEntries = std::numeric_limits<std::uint64_t>::max();
};

// Why a document was refused, with a sentence for a log.
struct PropertyListRefusal {
    enum class Reason {
        Damaged,         // not a property list, or one with broken structure
        TooDeep,         // nested beyond maxDepth
        TooManyEntries,  // a container beyond maxEntries
        TooLarge,        // shared objects that would expand far beyond the file's size
    };
    Reason reason = Reason::Damaged;
    std::string message;
    // TooManyEntries: how many entries the container holds (in XML, as far as it is closed).
    std::uint64_t entries = 0;
};

// Scans the text of an XML property list for nesting and entries beyond `limits`, as
// libplist's reader will see them; nullopt when within. Linear, and it builds nothing, so
// a document beyond the limits is refused before libplist's tree is made. Comments, CDATA,
// processing instructions and the DOCTYPE are skipped the way libplist skips them.
std::optional<PropertyListRefusal> checkXmlPropertyList(std::string_view text,
                                                        const PropertyListLimits& limits);

}  // namespace talvor::kit
