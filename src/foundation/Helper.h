#pragma once

#include "platform/ReachabilityProbe.h"

#include <QColor>
#include <QString>

namespace talvor {

// One-shot network test and colour from hexadecimal text.
class Helper {
  public:
    // The default route is reachable (flag 2) with no connection to be made first (flag 4
    // clear); false when the flags cannot be read.
    static bool isInternetConnection();
    static bool isInternetConnection(const platform::ReachabilityProbe& probe);

    // Hexadecimal digits (after optional blanks and an optional "0x" or "#"), read as one
    // number: red bits 16-23, green 8-15, blue 0-7, opaque. No digits give black; a number
    // too large for 32 bits reads as 0xFFFFFFFF (white), as the original system's scanner does.
    static QColor colorWithHexColorString(const QString& string);
};

}  // namespace talvor
