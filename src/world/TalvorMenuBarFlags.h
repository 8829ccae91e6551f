#pragma once

#include <QtGlobal>

namespace talvor {

// The second menu flag word, stored as "MenuBarOptBits" and read into this copy at start-up;
// whoever changes a bit writes the word.
extern quint32 TalvorMenuBarFlags;

// Set: the locations window shows offsets from GMT; clear: differences from local time.
inline constexpr quint32 kMenuBarGMTOffsets = 0x200;

}  // namespace talvor
