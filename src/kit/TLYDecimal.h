#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An exact decimal number for money: sign, a mantissa below 2^128 and a power of ten in
// [-128, 127]. Prices never pass through binary floating point, so 0.1 + 0.2 is 0.3 and
// 9.99 in micros is 9990000.
namespace talvor::kit {

class TLYDecimal {
  public:
    using Mantissa = unsigned __int128;
    static constexpr int kMinExponent = -128;
    static constexpr int kMaxExponent = 127;

    constexpr TLYDecimal() = default;
    // mantissa x 10^exponent; nullopt when it cannot be held (the exponent is moved into
    // the mantissa or out of trailing zeros where it can).
    static std::optional<TLYDecimal> make(Mantissa mantissa, int exponent, bool negative = false);
    static TLYDecimal fromInteger(std::int64_t value);
    // Plain or scientific text ("9.99", "-0.000001", "3.4E+159"); nullopt for anything else
    // or for a number out of range. Digits past the 128-bit mantissa are rounded half up.
    static std::optional<TLYDecimal> parse(std::string_view text);
    // The largest value: (2^128 - 1) x 10^127.
    static TLYDecimal maximum();

    Mantissa mantissa() const { return mantissa_; }
    int exponent() const { return exponent_; }
    bool isNegative() const { return negative_; }
    bool isZero() const { return mantissa_ == 0; }

    // Exact when the result fits; otherwise rounded to 128 bits of mantissa; nullopt past the
    // largest value.
    std::optional<TLYDecimal> adding(const TLYDecimal& other) const;
    // x 10^power (a negative power divides exactly while digits allow).
    std::optional<TLYDecimal> multiplyingByPowerOf10(int power) const;

    // The value in plain notation, no exponent ("9990000", "0.3", "-0.000001").
    std::string description() const;
    double doubleValue() const;

    std::strong_ordering operator<=>(const TLYDecimal& other) const;
    bool operator==(const TLYDecimal& other) const { return (*this <=> other) == 0; }

  private:
    Mantissa mantissa_ = 0;
    int exponent_ = 0;
    bool negative_ = false;
};

// The decimal digits of `value`.
std::string decimalDigits(TLYDecimal::Mantissa value);

}  // namespace talvor::kit
