#include "ScanFormat.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace talvor {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

void skipSpace(std::string_view text, std::size_t& i) {
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
}

bool readInteger(std::string_view text, std::size_t& i, std::int64_t& out) {
    std::size_t j = i;
    bool negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
        negative = text[j] == '-';
        ++j;
    }
    const std::size_t digitsStart = j;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
        const auto digit = static_cast<std::uint64_t>(text[j] - '0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            overflow = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
        ++j;
    }
    if (j == digitsStart) {
        return false;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        out = (overflow || magnitude > kMax + 1) ? std::numeric_limits<std::int64_t>::min()
                                                 : static_cast<std::int64_t>(0 - magnitude);
    } else {
        out = (overflow || magnitude > kMax) ? std::numeric_limits<std::int64_t>::max()
                                             : static_cast<std::int64_t>(magnitude);
    }
    i = j;
    return true;
}

bool readReal(std::string_view text, std::size_t& i, double& out) {
    std::size_t j = i;
    bool negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
        negative = text[j] == '-';
        ++j;
    }
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
        return false;
    }
    // from_chars never takes the locale's decimal comma.
    const char* begin = text.data() + j;
    const char* end = text.data() + text.size();
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ptr == begin) {
        return false;
    }
    if (ec == std::errc::result_out_of_range) {
        // Like strtod: overflow gives infinity, underflow zero. from_chars leaves the value
        // alone, so the exponent's sign tells which it was.
        const std::string_view number(begin, static_cast<std::size_t>(ptr - begin));
        const std::size_t e = number.find_first_of("eE");
        const bool underflow =
            e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        value = underflow ? 0.0 : std::numeric_limits<double>::infinity();
    }
    out = negative ? -value : value;
    i = static_cast<std::size_t>(ptr - text.data());
    return true;
}

}  // namespace

std::vector<ScanValue> scanFormat(std::string_view text, std::string_view format) {
    std::vector<ScanValue> values;
    std::size_t t = 0;
    std::size_t f = 0;
    while (f < format.size()) {
        const char fc = format[f];
        if (isSpace(fc)) {
            skipSpace(text, t);
            while (f < format.size() && isSpace(format[f])) {
                ++f;
            }
            continue;
        }
        if (fc != '%') {
            if (t >= text.size() || text[t] != fc) {
                return values;
            }
            ++t;
            ++f;
            continue;
        }
        ++f;
        if (f < format.size() && format[f] == '%') {
            skipSpace(text, t);
            if (t >= text.size() || text[t] != '%') {
                return values;
            }
            ++t;
            ++f;
            continue;
        }
        while (f < format.size() && (format[f] == 'l' || format[f] == 'h' || format[f] == 'q')) {
            ++f;
        }
        if (f >= format.size()) {
            return values;
        }
        const char conv = format[f++];
        skipSpace(text, t);
        switch (conv) {
            case 'd':
            case 'i':
            case 'u': {
                std::int64_t n = 0;
                if (!readInteger(text, t, n)) {
                    return values;
                }
                values.emplace_back(n);
                break;
            }
            case 'f':
            case 'g':
            case 'e':
            case 'F':
            case 'G':
            case 'E': {
                double d = 0;
                if (!readReal(text, t, d)) {
                    return values;
                }
                values.emplace_back(d);
                break;
            }
            default:
                return values;
        }
    }
    return values;
}

std::vector<ScanValue> scanFormat(const QString& text, std::string_view format) {
    const QByteArray utf8 = text.toUtf8();
    return scanFormat(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                      format);
}

double scanValueAsDouble(const ScanValue& v) {
    return std::visit([](auto x) { return static_cast<double>(x); }, v);
}

}  // namespace talvor
