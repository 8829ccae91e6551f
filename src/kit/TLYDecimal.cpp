#include "kit/TLYDecimal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace talvor::kit {

namespace {

constexpr TLYDecimal::Mantissa kMantissaMax = ~TLYDecimal::Mantissa(0);

bool timesTenFits(TLYDecimal::Mantissa m) {
    return m <= kMantissaMax / 10;
}

}  // namespace

std::string decimalDigits(TLYDecimal::Mantissa value) {
    if (value == 0) {
        return "0";
    }
    std::string digits;
    while (value != 0) {
        digits.push_back(char('0' + int(value % 10)));
        value /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::optional<TLYDecimal> TLYDecimal::make(Mantissa mantissa, int exponent, bool negative) {
    if (mantissa == 0) {
        return TLYDecimal();
    }
    // Drop trailing zeros while the exponent is below range, add zeros while above.
    while (exponent < kMinExponent && mantissa % 10 == 0) {
        mantissa /= 10;
        ++exponent;
    }
    while (exponent > kMaxExponent && timesTenFits(mantissa)) {
        mantissa *= 10;
        --exponent;
    }
    if (exponent < kMinExponent || exponent > kMaxExponent) {
        return std::nullopt;
    }
    TLYDecimal d;
    d.mantissa_ = mantissa;
    d.exponent_ = exponent;
    d.negative_ = negative;
    return d;
}

TLYDecimal TLYDecimal::fromInteger(std::int64_t value) {
    const bool negative = value < 0;
    const Mantissa m = negative ? Mantissa(-(value + 1)) + 1 : Mantissa(value);
    return *make(m, 0, negative);
}

TLYDecimal TLYDecimal::maximum() {
    return *make(kMantissaMax, kMaxExponent);
}

std::optional<TLYDecimal> TLYDecimal::parse(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    Mantissa mantissa = 0;
    long exponent = 0;
    bool anyDigit = false;
    bool dot = false;
    bool roundUp = false;
    bool dropped = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        if (c < '0' || c > '9') {
            break;
        }
        anyDigit = true;
        if (!dropped && timesTenFits(mantissa) &&
            mantissa * 10 <= kMantissaMax - Mantissa(c - '0')) {
            mantissa = mantissa * 10 + Mantissa(c - '0');
            if (dot) {
                --exponent;
            }
        } else {
            if (!dropped) {
                roundUp = c >= '5';
            }
            dropped = true;
            if (!dot) {
                ++exponent;
            }
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            expNegative = text[i] == '-';
            ++i;
        }
        long value = 0;
        bool expDigit = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            expDigit = true;
            value = std::min(value * 10 + (text[i] - '0'), 100000L);
        }
        if (!expDigit) {
            return std::nullopt;
        }
        exponent += expNegative ? -value : value;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    if (roundUp) {
        if (mantissa == kMantissaMax) {
            mantissa = mantissa / 10 + 1;
            ++exponent;
        } else {
            ++mantissa;
        }
    }
    if (exponent < -100000 || exponent > 100000) {
        return mantissa == 0 ? std::optional<TLYDecimal>(TLYDecimal()) : std::nullopt;
    }
    return make(mantissa, int(exponent), negative);
}

std::optional<TLYDecimal> TLYDecimal::multiplyingByPowerOf10(int power) const {
    if (isZero()) {
        return *this;
    }
    return make(mantissa_, exponent_ + power, negative_);
}

std::optional<TLYDecimal> TLYDecimal::adding(const TLYDecimal& other) const {
    if (other.isZero()) {
        return *this;
    }
    if (isZero()) {
        return other;
    }
    TLYDecimal a = *this;
    TLYDecimal b = other;
    if (a.exponent_ < b.exponent_) {
        std::swap(a, b);
    }
    // Bring the larger exponent down while the mantissa has room; then round the smaller up.
    bool roundUp = false;
    while (a.exponent_ > b.exponent_ && timesTenFits(a.mantissa_)) {
        a.mantissa_ *= 10;
        --a.exponent_;
    }
    while (a.exponent_ > b.exponent_) {
        roundUp = b.mantissa_ % 10 >= 5;
        b.mantissa_ /= 10;
        ++b.exponent_;
    }
    if (roundUp) {
        ++b.mantissa_;
    }
    int exponent = a.exponent_;
    if (a.negative_ == b.negative_) {
        Mantissa sum = a.mantissa_ + b.mantissa_;
        if (sum < a.mantissa_) {  // carried out of 128 bits
            const bool up = ((a.mantissa_ % 10) + (b.mantissa_ % 10)) % 10 >= 5;
            sum = a.mantissa_ / 10 + b.mantissa_ / 10 +
                  ((a.mantissa_ % 10) + (b.mantissa_ % 10)) / 10 + (up ? 1 : 0);
            ++exponent;
        }
        return make(sum, exponent, a.negative_);
    }
    if (a.mantissa_ >= b.mantissa_) {
        return make(a.mantissa_ - b.mantissa_, exponent, a.negative_);
    }
    return make(b.mantissa_ - a.mantissa_, exponent, b.negative_);
}

std::string TLYDecimal::description() const {
    if (isZero()) {
        return "0";
    }
    std::string digits = decimalDigits(mantissa_);
    std::string text = negative_ ? "-" : "";
    if (exponent_ >= 0) {
        return text + digits + std::string(std::size_t(exponent_), '0');
    }
    const std::size_t fraction = std::size_t(-exponent_);
    if (digits.size() <= fraction) {
        digits.insert(0, fraction - digits.size() + 1, '0');
    }
    std::string whole = digits.substr(0, digits.size() - fraction);
    std::string part = digits.substr(digits.size() - fraction);
    while (!part.empty() && part.back() == '0') {
        part.pop_back();
    }
    return text + whole + (part.empty() ? "" : "." + part);
}

double TLYDecimal::doubleValue() const {
    // Through text, so the nearest double is chosen once.
    const std::string digits =
        (negative_ ? "-" : "") + decimalDigits(mantissa_) + "e" + std::to_string(exponent_);
    return std::strtod(digits.c_str(), nullptr);
}

std::strong_ordering TLYDecimal::operator<=>(const TLYDecimal& other) const {
    const bool aNeg = negative_ && !isZero();
    const bool bNeg = other.negative_ && !other.isZero();
    if (aNeg != bNeg) {
        return aNeg ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    std::strong_ordering magnitude = std::strong_ordering::equal;
    if (isZero() || other.isZero()) {
        magnitude = isZero() == other.isZero() ? std::strong_ordering::equal
                    : isZero()                 ? std::strong_ordering::less
                                               : std::strong_ordering::greater;
    } else {
        // Compare the position of the leading digit, then the digits themselves.
        std::string a = decimalDigits(mantissa_);
        std::string b = decimalDigits(other.mantissa_);
        const long leadA = long(a.size()) + exponent_;
        const long leadB = long(b.size()) + other.exponent_;
        if (leadA != leadB) {
            magnitude = leadA <=> leadB;
        } else {
            const std::size_t width = std::max(a.size(), b.size());
            a.append(width - a.size(), '0');
            b.append(width - b.size(), '0');
            const int c = a.compare(b);
            magnitude = c <=> 0;
        }
    }
    if (aNeg) {
        return 0 <=> magnitude;
    }
    return magnitude;
}

}  // namespace talvor::kit
