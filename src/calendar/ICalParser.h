#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The structure of iCalendar text: content lines (unfolded, with their parameters) grouped into
// nested components. Values stay as written (escaped); ICalValues reads them.
namespace talvor::ical {

struct Parameter {
    std::string name;                 // upper-cased
    std::vector<std::string> values;  // quotes removed
};

struct Property {
    std::string name;  // upper-cased
    std::vector<Parameter> parameters;
    std::string value;
    int line = 0;  // where the content line begins, from 1

    // The first value of a parameter, or null.
    const std::string* parameter(std::string_view wanted) const;
};

struct Component {
    std::string name;  // upper-cased: VCALENDAR, VEVENT, ...
    std::vector<Property> properties;
    std::vector<Component> components;
    int line = 0;

    // The first property of that name, or null.
    const Property* property(std::string_view wanted) const;
    // The component as content lines ending in CRLF, unfolded, parameters quoted where needed.
    std::string toText() const;
};

struct ParseLimits {
    size_t maxInputBytes = 64u << 20;
    // One unfolded content line: a longer one (a DESCRIPTION with a document pasted in) is
    // skipped alone, with a problem noted.
    size_t maxLineBytes = 8u << 20;
    int maxDepth = 12;  // components within components
    // When set and it turns true, the reading ends within a few thousand lines (the program
    // is quitting); what was read so far is given back with the problem "reading stopped".
    const std::atomic<bool>* stop = nullptr;
};

struct ParseResult {
    std::vector<Component> components;  // the top-level components (normally one VCALENDAR)
    // What could not be read, one text per problem, in the order met ("line 12: ...").
    std::vector<std::string> errors;
    // The first problem and how many more, or empty when there was none.
    std::string errorSummary() const;
};

// Reads the text. Damage never stops the reading: a bad or over-long line is skipped, a
// component left open is closed at the end, and each problem is listed. Only text over the
// size limit is refused whole. Names are read without case ("dtstart;tzid=..." is DTSTART).
ParseResult parse(std::string_view text, const ParseLimits& limits = {});

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace talvor::ical
