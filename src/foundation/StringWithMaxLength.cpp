#include "StringWithMaxLength.h"

#include <algorithm>
#include <cmath>

namespace talvor {

QString stringWithMaxLength(const QString& string, std::int32_t maximum,
                            const platform::TextAttributes& attributes) {
    const double width =
        platform::measureAttributedString(platform::AttributedString(string, attributes), {}).width;
    if (width < maximum || !(width > 0)) {
        return string;
    }
    const qsizetype length = string.size();
    const double quotient = std::trunc(static_cast<double>(length) * maximum / width);
    qsizetype keep =
        std::clamp<qsizetype>(static_cast<qsizetype>(std::max(quotient, -1.0)) - 2, 0, length);
    if (keep > 0 && keep < length && string.at(keep - 1).isHighSurrogate() &&
        string.at(keep).isLowSurrogate()) {
        --keep;
    }
    return string.left(keep) + QStringLiteral("...");
}

QString stringWithMaxLength(const QString& string, std::int32_t maximum, const QFont& font) {
    platform::TextAttributes attributes;
    attributes.font = font;
    return stringWithMaxLength(string, maximum, attributes);
}

}  // namespace talvor
