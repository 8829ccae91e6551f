#pragma once

#include <QtGlobal>

namespace talvor {

// The second menu flag word, stored as "MenuBarOptBits" by the time pane and read into this
// copy at start-up; the locations window flips bits in memory only.
extern quint32 TalvorMenuBarFlags;

// Set: the locations window shows offsets from GMT; clear: differences from local time.
inline constexpr quint32 kMenuBarGMTOffsets = 0x200;

}  // namespace talvor
