#include "TokenString.h"

#include "platform/KeyedArchiver.h"

namespace talvor {

void TokenString::encodeWithCoder(platform::KeyedArchiver& coder) const {
    coder.encodeString(QStringLiteral("name"), name);
}

std::optional<TokenString> TokenString::initWithCoder(const platform::KeyedUnarchiver& coder) {
    if (!coder.containsValueForKey(QStringLiteral("name"))) {
        return std::nullopt;
    }
    return TokenString{coder.decodeString(QStringLiteral("name")), 0, 0, {}};
}

}  // namespace talvor
