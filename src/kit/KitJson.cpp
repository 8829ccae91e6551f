#include "kit/KitJson.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace talvor::kit {

const JsonValue* JsonObject::find(std::string_view key) const {
    for (const auto& entry : entries_) {
        if (entry.first == key) {
            return &entry.second;
        }
    }
    return nullptr;
}

void JsonObject::set(std::string key, JsonValue value) {
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    entries_.emplace_back(std::move(key), std::move(value));
}

bool JsonObject::remove(std::string_view key) {
    return std::erase_if(entries_, [key](const Entry& e) { return e.first == key; }) > 0;
}

bool JsonObject::operator==(const JsonObject& other) const {
    if (size() != other.size()) {
        return false;
    }
    for (const auto& entry : entries_) {
        const JsonValue* value = other.find(entry.first);
        if (!value || !(*value == entry.second)) {
            return false;
        }
    }
    return true;
}

const JsonArray* JsonValue::array() const {
    const auto* p = std::get_if<std::shared_ptr<const JsonArray>>(&value_);
    return p ? p->get() : nullptr;
}

const JsonObject* JsonValue::object() const {
    const auto* p = std::get_if<std::shared_ptr<const JsonObject>>(&value_);
    return p ? p->get() : nullptr;
}

JsonValue JsonValue::fromUnsigned(std::uint64_t value) {
    JsonValue out;
    if (value <= std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        out.value_ = std::int64_t(value);
    } else {
        out.value_ = value;
    }
    return out;
}

std::optional<double> JsonValue::numberAsDouble() const {
    if (const bool* b = boolean()) {
        return *b ? 1.0 : 0.0;
    }
    if (const auto* i = integer()) {
        return double(*i);
    }
    if (const auto* u = unsignedInteger()) {
        return double(*u);
    }
    if (const double* d = real()) {
        return *d;
    }
    if (const TLYDecimal* d = decimal()) {
        return d->doubleValue();
    }
    return std::nullopt;
}

bool JsonValue::operator==(const JsonValue& other) const {
    if (kind() != other.kind()) {
        return false;
    }
    if (const JsonArray* a = array()) {
        return *a == *other.array();
    }
    if (const JsonObject* o = object()) {
        return *o == *other.object();
    }
    return value_ == other.value_;
}

namespace json {

namespace {

// The next code point of UTF-8 `text` at `i` (advanced), or nullopt for a bad sequence
// (then `i` moves one byte on).
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    int length = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        ++i;
        return std::nullopt;
    }
    if (i + std::size_t(length) > text.size()) {
        ++i;
        return std::nullopt;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char b = byte(i + std::size_t(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += std::size_t(length);
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

void writeString(std::string& out, std::string_view text) {
    out.push_back('"');
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = nextCodePoint(text, i).value_or(0xFFFD);
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (cp < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(cp));
                    out += escape;
                } else {
                    appendUtf8(out, cp);
                }
        }
    }
    out.push_back('"');
}

bool write(std::string& out, const JsonValue& value) {
    switch (value.kind()) {
        case JsonValue::Kind::Null:
            out += "null";
            return true;
        case JsonValue::Kind::Bool:
            out += *value.boolean() ? "true" : "false";
            return true;
        case JsonValue::Kind::Integer:
            out += std::to_string(*value.integer());
            return true;
        case JsonValue::Kind::Unsigned:
            out += std::to_string(*value.unsignedInteger());
            return true;
        case JsonValue::Kind::Double: {
            const double d = *value.real();
            if (!std::isfinite(d)) {
                return false;
            }
            char text[32];
            const auto result = std::to_chars(text, text + sizeof text, d);
            out.append(text, result.ptr);
            return true;
        }
        case JsonValue::Kind::Decimal:
            out += value.decimal()->description();
            return true;
        case JsonValue::Kind::String:
            writeString(out, *value.string());
            return true;
        case JsonValue::Kind::Array: {
            out.push_back('[');
            bool first = true;
            for (const auto& element : *value.array()) {
                if (!first) {
                    out.push_back(',');
                }
                first = false;
                if (!write(out, element)) {
                    return false;
                }
            }
            out.push_back(']');
            return true;
        }
        case JsonValue::Kind::Object: {
            out.push_back('{');
            bool first = true;
            for (const auto& [key, element] : value.object()->entries()) {
                if (!first) {
                    out.push_back(',');
                }
                first = false;
                writeString(out, key);
                out.push_back(':');
                if (!write(out, element)) {
                    return false;
                }
            }
            out.push_back('}');
            return true;
        }
    }
    return false;
}

class Parser {
  public:
    Parser(std::string_view text, std::size_t maxDepth) : text_(text), maxDepth_(maxDepth) {}

    std::optional<JsonValue> document() {
        auto value = parseValue(0);
        skipSpace();
        if (!value || pos_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

  private:
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return false;
        }
        pos_ += word.size();
        return true;
    }

    std::optional<JsonValue> parseValue(std::size_t depth) {
        skipSpace();
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        const char c = text_[pos_];
        if (c == '{' || c == '[') {
            if (depth >= maxDepth_) {
                return std::nullopt;
            }
            return c == '{' ? parseObject(depth + 1) : parseArray(depth + 1);
        }
        if (c == '"') {
            auto s = parseString();
            return s ? std::optional<JsonValue>(std::move(*s)) : std::nullopt;
        }
        if (literal("true")) {
            return JsonValue(true);
        }
        if (literal("false")) {
            return JsonValue(false);
        }
        if (literal("null")) {
            return JsonValue(nullptr);
        }
        return parseNumber();
    }

    std::optional<JsonValue> parseObject(std::size_t depth) {
        ++pos_;
        JsonObject object;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return JsonValue(std::move(object));
        }
        for (;;) {
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"') {
                return std::nullopt;
            }
            auto key = parseString();
            skipSpace();
            if (!key || pos_ >= text_.size() || text_[pos_] != ':') {
                return std::nullopt;
            }
            ++pos_;
            auto value = parseValue(depth);
            if (!value) {
                return std::nullopt;
            }
            object.set(std::move(*key), std::move(*value));
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == '}') {
                ++pos_;
                return JsonValue(std::move(object));
            }
            return std::nullopt;
        }
    }

    std::optional<JsonValue> parseArray(std::size_t depth) {
        ++pos_;
        JsonArray array;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return JsonValue(std::move(array));
        }
        for (;;) {
            auto value = parseValue(depth);
            if (!value) {
                return std::nullopt;
            }
            array.push_back(std::move(*value));
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == ']') {
                ++pos_;
                return JsonValue(std::move(array));
            }
            return std::nullopt;
        }
    }

    std::optional<unsigned> hex4() {
        if (pos_ + 4 > text_.size()) {
            return std::nullopt;
        }
        unsigned value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= unsigned(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= unsigned(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= unsigned(c - 'A' + 10);
            } else {
                return std::nullopt;
            }
        }
        return value;
    }

    std::optional<std::string> parseString() {
        ++pos_;
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return std::nullopt;
            }
            if (c != '\\') {
                const std::size_t start = pos_;
                if (!nextCodePoint(text_, pos_)) {
                    return std::nullopt;
                }
                out.append(text_.substr(start, pos_ - start));
                continue;
            }
            ++pos_;
            if (pos_ >= text_.size()) {
                return std::nullopt;
            }
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                    out.push_back('"');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case '/':
                    out.push_back('/');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    auto unit = hex4();
                    if (!unit) {
                        return std::nullopt;
                    }
                    char32_t cp = *unit;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (!literal("\\u")) {
                            return std::nullopt;
                        }
                        auto low = hex4();
                        if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                            return std::nullopt;
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return std::nullopt;
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<JsonValue> parseNumber() {
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') {
            ++pos_;
        }
        const std::size_t digitsStart = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        if (pos_ == digitsStart || (text_[digitsStart] == '0' && pos_ - digitsStart > 1)) {
            return std::nullopt;
        }
        bool integral = true;
        if (pos_ < text_.size() && text_[pos_] == '.') {
            integral = false;
            const std::size_t fraction = ++pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
                ++pos_;
            }
            if (pos_ == fraction) {
                return std::nullopt;
            }
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            integral = false;
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            const std::size_t exponent = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
                ++pos_;
            }
            if (pos_ == exponent) {
                return std::nullopt;
            }
        }
        const std::string_view number = text_.substr(start, pos_ - start);
        if (integral) {
            std::int64_t value = 0;
            const auto result =
                std::from_chars(number.data(), number.data() + number.size(), value);
            if (result.ec == std::errc() && result.ptr == number.data() + number.size()) {
                return JsonValue(value);
            }
            std::uint64_t large = 0;
            const auto unsignedResult =
                std::from_chars(number.data(), number.data() + number.size(), large);
            if (unsignedResult.ec == std::errc() &&
                unsignedResult.ptr == number.data() + number.size()) {
                return JsonValue::fromUnsigned(large);
            }
        }
        double value = 0;
        const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
        if (result.ec != std::errc() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return JsonValue(value);
    }

    std::string_view text_;
    std::size_t maxDepth_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> serialize(const JsonValue& value) {
    std::string out;
    if (!write(out, value)) {
        return std::nullopt;
    }
    return out;
}

std::optional<JsonValue> parse(std::string_view text, std::size_t maxDepth, std::size_t maxBytes) {
    if (text.size() > maxBytes) {
        return std::nullopt;
    }
    return Parser(text, maxDepth).document();
}

std::string describe(const JsonValue& value) {
    if (const std::string* s = value.string()) {
        return *s;
    }
    if (value.kind() == JsonValue::Kind::Double && std::isnan(*value.real())) {
        return "nan";
    }
    return serialize(value).value_or("?");
}

}  // namespace json

}  // namespace talvor::kit
