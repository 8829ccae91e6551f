#include "ICalValues.h"

#include <algorithm>

namespace talvor::ical {

namespace {

bool digits(std::string_view s, size_t at, size_t count, int64_t& out) {
    if (at + count > s.size()) {
        return false;
    }
    int64_t v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

}  // namespace

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiUpper(x) == asciiUpper(y);
           });
}

std::string unescapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const char next = value[++i];
        out += next == 'n' || next == 'N' ? '\n' : next;
    }
    return out;
}

std::optional<TimeValue> parseTimeValue(std::string_view value) {
    TimeValue t;
    int64_t y = 0;
    int64_t m = 0;
    int64_t d = 0;
    if (!digits(value, 0, 4, y) || !digits(value, 4, 2, m) || !digits(value, 6, 2, d)) {
        return std::nullopt;
    }
    if (m < 1 || m > 12 || d < 1 || d > civil::daysInMonth(y, static_cast<int>(m))) {
        return std::nullopt;
    }
    t.local.year = y;
    t.local.month = static_cast<int>(m);
    t.local.day = static_cast<int>(d);
    if (value.size() == 8) {
        t.isDate = true;
        return t;
    }
    int64_t hh = 0;
    int64_t mm = 0;
    int64_t ss = 0;
    if (value.size() < 15 || asciiUpper(value[8]) != 'T' || !digits(value, 9, 2, hh) ||
        !digits(value, 11, 2, mm) || !digits(value, 13, 2, ss)) {
        return std::nullopt;
    }
    if (value.size() == 16 && asciiUpper(value[15]) == 'Z') {
        t.utc = true;
    } else if (value.size() != 15) {
        return std::nullopt;
    }
    if (hh > 23 || mm > 59 || ss > 60) {
        return std::nullopt;
    }
    t.local.hour = static_cast<int>(hh);
    t.local.minute = static_cast<int>(mm);
    t.local.second = static_cast<int>(ss == 60 ? 59 : ss);
    return t;
}

std::optional<std::vector<TimeValue>> parseTimeList(std::string_view value) {
    std::vector<TimeValue> out;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) {
            comma = value.size();
        }
        std::string_view item = value.substr(start, comma - start);
        if (const size_t slash = item.find('/'); slash != std::string_view::npos) {
            item = item.substr(0, slash);
        }
        const auto t = parseTimeValue(item);
        if (!t) {
            return std::nullopt;
        }
        out.push_back(*t);
        start = comma + 1;
    }
    return out;
}

std::optional<Duration> parseDuration(std::string_view value) {
    size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    if (i >= value.size() || asciiUpper(value[i]) != 'P') {
        return std::nullopt;
    }
    ++i;
    Duration d;
    bool inTime = false;
    bool any = false;
    while (i < value.size()) {
        if (asciiUpper(value[i]) == 'T') {
            if (inTime) {
                return std::nullopt;
            }
            inTime = true;
            ++i;
            continue;
        }
        int64_t n = 0;
        size_t start = i;
        while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
            if (n > 100000000000LL) {
                return std::nullopt;
            }
            n = n * 10 + (value[i++] - '0');
        }
        if (i == start || i >= value.size()) {
            return std::nullopt;
        }
        const char unit = asciiUpper(value[i++]);
        if (!inTime && unit == 'W') {
            d.days += 7 * n;
        } else if (!inTime && unit == 'D') {
            d.days += n;
        } else if (inTime && unit == 'H') {
            d.seconds += 3600 * n;
        } else if (inTime && unit == 'M') {
            d.seconds += 60 * n;
        } else if (inTime && unit == 'S') {
            d.seconds += n;
        } else {
            return std::nullopt;
        }
        any = true;
    }
    if (!any) {
        return std::nullopt;
    }
    if (negative) {
        d.days = -d.days;
        d.seconds = -d.seconds;
    }
    return d;
}

}  // namespace talvor::ical
