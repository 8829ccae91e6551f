#include "crash/WRKJSON.h"

#include <cerrno>
#include <cstdlib>

namespace talvor::crash {
namespace {

constexpr int kMaximumDepth = 256;

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JSONValue> document() {
        auto value = parseValue(0);
        skipSpace();
        if (!value || at_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

  private:
    void skipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool takeWord(std::string_view word) {
        if (text_.substr(at_, word.size()) == word) {
            at_ += word.size();
            return true;
        }
        return false;
    }

    std::optional<JSONValue> parseValue(int depth) {
        if (depth > kMaximumDepth) {
            return std::nullopt;
        }
        skipSpace();
        if (at_ >= text_.size()) {
            return std::nullopt;
        }
        switch (text_[at_]) {
            case '{':
                return parseObject(depth);
            case '[':
                return parseArray(depth);
            case '"': {
                auto s = parseString();
                return s ? std::optional<JSONValue>(JSONValue{std::move(*s)}) : std::nullopt;
            }
            case 't':
                return takeWord("true") ? std::optional<JSONValue>(JSONValue{true}) : std::nullopt;
            case 'f':
                return takeWord("false") ? std::optional<JSONValue>(JSONValue{false})
                                         : std::nullopt;
            case 'n':
                return takeWord("null") ? std::optional<JSONValue>(JSONValue{nullptr})
                                        : std::nullopt;
            default:
                return parseNumber();
        }
    }

    std::optional<JSONValue> parseObject(int depth) {
        ++at_;
        JSONValue::Object members;
        skipSpace();
        if (take('}')) {
            return JSONValue{std::move(members)};
        }
        for (;;) {
            skipSpace();
            auto key = parseString();
            if (!key) {
                return std::nullopt;
            }
            skipSpace();
            if (!take(':')) {
                return std::nullopt;
            }
            auto value = parseValue(depth + 1);
            if (!value) {
                return std::nullopt;
            }
            members.push_back({std::move(*key), std::move(*value)});
            skipSpace();
            if (take('}')) {
                return JSONValue{std::move(members)};
            }
            if (!take(',')) {
                return std::nullopt;
            }
        }
    }

    std::optional<JSONValue> parseArray(int depth) {
        ++at_;
        JSONValue::Array items;
        skipSpace();
        if (take(']')) {
            return JSONValue{std::move(items)};
        }
        for (;;) {
            auto value = parseValue(depth + 1);
            if (!value) {
                return std::nullopt;
            }
            items.push_back(std::move(*value));
            skipSpace();
            if (take(']')) {
                return JSONValue{std::move(items)};
            }
            if (!take(',')) {
                return std::nullopt;
            }
        }
    }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::optional<std::uint32_t> parseHex4() {
        if (at_ + 4 > text_.size()) {
            return std::nullopt;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hexValue(text_[at_++]);
            if (d < 0) {
                return std::nullopt;
            }
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        return v;
    }

    static void appendUTF8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // The length of the well-formed UTF-8 sequence at `at_`, 0 when it is not one.
    std::size_t utf8Length() const {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text_[at_ + i]); };
        const unsigned char lead = byte(0);
        std::size_t n = 0;
        std::uint32_t min = 0;
        std::uint32_t cp = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            n = 2, min = 0x80, cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            n = 3, min = 0x800, cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            n = 4, min = 0x10000, cp = lead & 0x07;
        } else {
            return 0;
        }
        if (at_ + n > text_.size()) {
            return 0;
        }
        for (std::size_t i = 1; i < n; ++i) {
            if ((byte(i) & 0xC0) != 0x80) {
                return 0;
            }
            cp = (cp << 6) | (byte(i) & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return 0;
        }
        return n;
    }

    std::optional<std::string> parseString() {
        if (!take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return out;
            }
            if (c < 0x20) {
                return std::nullopt;
            }
            if (c >= 0x80) {
                const std::size_t n = utf8Length();
                if (n == 0) {
                    return std::nullopt;
                }
                out.append(text_.substr(at_, n));
                at_ += n;
                continue;
            }
            ++at_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size()) {
                return std::nullopt;
            }
            const char e = text_[at_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    auto cp = parseHex4();
                    if (!cp) {
                        return std::nullopt;
                    }
                    if (*cp >= 0xDC00 && *cp <= 0xDFFF) {
                        return std::nullopt;  // a low surrogate alone
                    }
                    if (*cp >= 0xD800 && *cp <= 0xDBFF) {
                        if (!take('\\') || !take('u')) {
                            return std::nullopt;
                        }
                        auto low = parseHex4();
                        if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                            return std::nullopt;
                        }
                        *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                    }
                    appendUTF8(out, *cp);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<JSONValue> parseNumber() {
        const std::size_t start = at_;
        const bool negative = take('-');
        const auto isDigit = [&] {
            return at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9';
        };
        if (!isDigit()) {
            return std::nullopt;
        }
        if (text_[at_] == '0') {
            ++at_;
        } else {
            while (isDigit())
                ++at_;
        }
        bool integral = true;
        if (take('.')) {
            integral = false;
            if (!isDigit())
                return std::nullopt;
            while (isDigit())
                ++at_;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            integral = false;
            ++at_;
            if (!take('+'))
                take('-');
            if (!isDigit())
                return std::nullopt;
            while (isDigit())
                ++at_;
        }
        const std::string number(text_.substr(start, at_ - start));
        errno = 0;
        if (integral && !negative) {
            const unsigned long long v = std::strtoull(number.c_str(), nullptr, 10);
            if (errno == 0) {
                return JSONValue{static_cast<std::uint64_t>(v)};
            }
        } else if (integral) {
            const long long v = std::strtoll(number.c_str(), nullptr, 10);
            if (errno == 0) {
                return JSONValue{static_cast<std::int64_t>(v)};
            }
        }
        errno = 0;
        return JSONValue{std::strtod(number.c_str(), nullptr)};
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JSONValue* JSONValue::find(std::string_view key) const {
    if (const Object* members = object()) {
        for (const JSONMember& member : *members) {
            if (member.key == key) {
                return &member.value;
            }
        }
    }
    return nullptr;
}

std::optional<JSONValue> parseJSON(std::string_view text) {
    return Parser(text).document();
}

}  // namespace talvor::crash
