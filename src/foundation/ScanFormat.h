#pragma once

#include <QString>

#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

namespace talvor {

using ScanValue = std::variant<std::int64_t, double>;

// Reads `text` as the C library's sscanf does in the "C" locale, whatever the user's locale:
// %d %i %u %ld %lld give integers (saturated, never undefined), %f %lf %g %e give reals, %%
// matches a percent sign, white space in the format matches any run of white space (also
// none), other characters must match exactly, and conversions skip leading white space.
// Reading stops at the first mismatch; the result holds the values read up to there.
std::vector<ScanValue> scanFormat(std::string_view text, std::string_view format);
std::vector<ScanValue> scanFormat(const QString& text, std::string_view format);

// The value as a real, whichever kind was read.
double scanValueAsDouble(const ScanValue& v);

}  // namespace talvor
