#include "ICalParser.h"

#include "ICalValues.h"

#include <algorithm>

namespace talvor::ical {

namespace {

constexpr size_t kMaxErrorsKept = 100;

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

void upcase(std::string& s) {
    std::transform(s.begin(), s.end(), s.begin(), asciiUpper);
}

// The name a content line starts with, upper-cased, for messages about a line not read.
std::string nameOf(std::string_view line) {
    const auto end = std::find_if_not(line.begin(), line.end(), isNameChar);
    std::string name(line.begin(), end);
    upcase(name);
    return name.empty() ? "content line" : name;
}

class Reader {
  public:
    Reader(const ParseLimits& limits, ParseResult& result) : limits_(limits), result_(result) {}

    void error(int line, std::string text) {
        if (result_.errors.size() < kMaxErrorsKept) {
            result_.errors.push_back("line " + std::to_string(line) + ": " + std::move(text));
        } else {
            ++dropped_;
        }
    }

    void run(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        size_t pos = 0;
        int lineNo = 0;
        while (pos < text.size()) {
            if ((lineNo & 4095) == 0 && limits_.stop != nullptr &&
                limits_.stop->load(std::memory_order_relaxed)) {
                result_.errors.emplace_back("reading stopped");
                return;
            }
            const int first = ++lineNo;
            size_t nl = text.find('\n', pos);
            size_t end = nl == std::string_view::npos ? text.size() : nl;
            std::string_view physical = text.substr(pos, end - pos);
            pos = nl == std::string_view::npos ? text.size() : nl + 1;
            if (!physical.empty() && physical.back() == '\r') {
                physical.remove_suffix(1);
            }
            const bool folded = pos < text.size() && (text[pos] == ' ' || text[pos] == '\t');
            std::string_view logical = physical;
            bool tooLong = physical.size() > limits_.maxLineBytes;
            if (folded) {
                buffer_.assign(physical);
                while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
                    ++lineNo;
                    nl = text.find('\n', pos);
                    end = nl == std::string_view::npos ? text.size() : nl;
                    std::string_view more = text.substr(pos + 1, end - pos - 1);
                    pos = nl == std::string_view::npos ? text.size() : nl + 1;
                    if (!more.empty() && more.back() == '\r') {
                        more.remove_suffix(1);
                    }
                    if (!tooLong && buffer_.size() + more.size() <= limits_.maxLineBytes) {
                        buffer_.append(more);
                    } else {
                        tooLong = true;
                    }
                }
                logical = buffer_;
            }
            if (tooLong) {
                // Only this property goes; its component (an event) keeps the rest.
                error(first, nameOf(physical) + " longer than " +
                                 std::to_string(limits_.maxLineBytes) + " bytes skipped");
                continue;
            }
            if (logical.empty()) {
                continue;
            }
            line(logical, first);
        }
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
            error(lineNo, "missing END:" + (*it)->name + " (BEGIN on line " +
                              std::to_string((*it)->line) + ")");
        }
        if (dropped_ > 0) {
            result_.errors.push_back("and " + std::to_string(dropped_) + " more problems");
        }
    }

  private:
    void line(std::string_view text, int lineNo) {
        if (!isValidUtf8(text)) {
            error(lineNo, "invalid UTF-8, line skipped");
            return;
        }
        Property p;
        p.line = lineNo;
        if (!parseContentLine(text, p, lineNo)) {
            return;
        }
        if (p.name == "BEGIN" || p.name == "END") {
            std::string name = p.value;
            upcase(name);
            if (name.empty() || !std::all_of(name.begin(), name.end(), isNameChar)) {
                error(lineNo, p.name + " without a component name");
                return;
            }
            p.name == "BEGIN" ? begin(std::move(name), lineNo) : end(name, lineNo);
            return;
        }
        if (skipping_ > 0) {
            return;
        }
        if (stack_.empty()) {
            error(lineNo, "property " + p.name + " outside any component");
            return;
        }
        stack_.back()->properties.push_back(std::move(p));
    }

    void begin(std::string name, int lineNo) {
        if (skipping_ > 0 || static_cast<int>(stack_.size()) >= limits_.maxDepth) {
            if (skipping_++ == 0) {
                error(lineNo, "components nested deeper than " + std::to_string(limits_.maxDepth) +
                                  " levels skipped");
            }
            return;
        }
        std::vector<Component>& into =
            stack_.empty() ? result_.components : stack_.back()->components;
        into.push_back(Component{std::move(name), {}, {}, lineNo});
        stack_.push_back(&into.back());
    }

    void end(const std::string& name, int lineNo) {
        if (skipping_ > 0) {
            --skipping_;
            return;
        }
        const auto open = std::find_if(stack_.rbegin(), stack_.rend(),
                                       [&](const Component* c) { return c->name == name; });
        if (open == stack_.rend()) {
            error(lineNo, "END:" + name + " without BEGIN");
            return;
        }
        for (auto it = stack_.rbegin(); it != open; ++it) {
            error(lineNo, "missing END:" + (*it)->name + " (BEGIN on line " +
                              std::to_string((*it)->line) + ")");
        }
        stack_.erase(open.base() - 1, stack_.end());
    }

    bool parseContentLine(std::string_view text, Property& p, int lineNo) {
        size_t i = 0;
        while (i < text.size() && isNameChar(text[i])) {
            ++i;
        }
        if (i == 0) {
            error(lineNo, "no property name");
            return false;
        }
        p.name.assign(text.substr(0, i));
        upcase(p.name);
        while (i < text.size() && text[i] == ';') {
            const size_t nameStart = ++i;
            while (i < text.size() && isNameChar(text[i])) {
                ++i;
            }
            if (i == nameStart || i >= text.size() || text[i] != '=') {
                error(lineNo, "bad parameter in " + p.name);
                return false;
            }
            Parameter param;
            param.name.assign(text.substr(nameStart, i - nameStart));
            upcase(param.name);
            do {
                ++i;  // past "=" or ","
                if (i < text.size() && text[i] == '"') {
                    const size_t close = text.find('"', i + 1);
                    if (close == std::string_view::npos) {
                        error(lineNo, "unterminated quote in " + p.name);
                        return false;
                    }
                    param.values.emplace_back(text.substr(i + 1, close - i - 1));
                    i = close + 1;
                } else {
                    const size_t start = i;
                    while (i < text.size() && text[i] != ',' && text[i] != ';' && text[i] != ':') {
                        ++i;
                    }
                    param.values.emplace_back(text.substr(start, i - start));
                }
            } while (i < text.size() && text[i] == ',');
            p.parameters.push_back(std::move(param));
        }
        if (i >= text.size() || text[i] != ':') {
            error(lineNo, "no ':' after " + p.name);
            return false;
        }
        p.value.assign(text.substr(i + 1));
        return true;
    }

    const ParseLimits& limits_;
    ParseResult& result_;
    std::vector<Component*> stack_;
    std::string buffer_;
    int skipping_ = 0;
    size_t dropped_ = 0;
};

void appendText(const Component& c, std::string& out) {
    out += "BEGIN:" + c.name + "\r\n";
    for (const Property& p : c.properties) {
        out += p.name;
        for (const Parameter& param : p.parameters) {
            out += ';';
            out += param.name;
            char sep = '=';
            for (const std::string& v : param.values) {
                out += sep;
                sep = ',';
                const bool quote = v.find_first_of(",;:") != std::string::npos;
                if (quote) {
                    out += '"';
                }
                out += v;
                if (quote) {
                    out += '"';
                }
            }
        }
        out += ':';
        out += p.value;
        out += "\r\n";
    }
    for (const Component& child : c.components) {
        appendText(child, out);
    }
    out += "END:" + c.name + "\r\n";
}

}  // namespace

const std::string* Property::parameter(std::string_view wanted) const {
    for (const Parameter& p : parameters) {
        if (equalsIgnoringCase(p.name, wanted) && !p.values.empty()) {
            return &p.values.front();
        }
    }
    return nullptr;
}

const Property* Component::property(std::string_view wanted) const {
    for (const Property& p : properties) {
        if (p.name == wanted) {
            return &p;
        }
    }
    return nullptr;
}

std::string Component::toText() const {
    std::string out;
    appendText(*this, out);
    return out;
}

std::string ParseResult::errorSummary() const {
    if (errors.empty()) {
        return {};
    }
    if (errors.size() == 1) {
        return errors.front();
    }
    return errors.front() + " (and " + std::to_string(errors.size() - 1) + " more)";
}

ParseResult parse(std::string_view text, const ParseLimits& limits) {
    ParseResult result;
    if (text.size() > limits.maxInputBytes) {
        result.errors.push_back("file larger than " + std::to_string(limits.maxInputBytes) +
                                " bytes not read");
        return result;
    }
    Reader(limits, result).run(text);
    return result;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace talvor::ical
