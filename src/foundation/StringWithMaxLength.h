#pragma once

#include "platform/AttributedString.h"

#include <QFont>
#include <QString>

#include <cstdint>

namespace talvor {

// The string itself when its width with the attributes is below `maximum` points;
// otherwise its first (length x maximum / width) - 2 UTF-16 units followed by "...". The
// count never goes below 0 and never ends between the two halves of a surrogate pair; a
// string of no width is returned as it is.
QString stringWithMaxLength(const QString& string, std::int32_t maximum,
                            const platform::TextAttributes& attributes);
QString stringWithMaxLength(const QString& string, std::int32_t maximum, const QFont& font);

}  // namespace talvor
