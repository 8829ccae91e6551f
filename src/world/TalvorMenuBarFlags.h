#pragma once

#include <QtGlobal>

namespace talvor {

// The second menu flag word, stored as "MenuBarOptBits" and read into this copy at start-up;
// whoever changes a bit writes the word.
extern quint32 TalvorMenuBarFlags;

// Set: the time item shows the time as text; clear: an item with the analog clock shows the
// clock alone. Set in the word of a user who never stored one.
inline constexpr quint32 kMenuBarShowTime = 0x1;

// Set: the locations window shows offsets from GMT; clear: differences from local time.
inline constexpr quint32 kMenuBarGMTOffsets = 0x200;

}  // namespace talvor
