#pragma once

#include "FormatItemPane.h"

namespace talvor {

// The time item pane: whether the time item is shown and how (time text, flashing
// separator, analog clock icon, drop shadow: bits of the flag word "MenuBarOptBits"), the
// time format list, the time font and colours, and the separator the item shows for ":".
const FormatItemTable& timeItemTable();
// The date item pane: whether the date item is shown, whether it draws the date, the moon
// (its hemisphere and tool tip), the drop shadow, the date format list (composed formats
// are pieces joined by "$*&"), the date font and colours.
const FormatItemTable& dateItemTable();

namespace TimeItem {
// The flag-word bits of the time item's boxes (their tags).
enum Tag { ShowTime = 0, FlashSeparator = 2, AnalogClock = 6 };
constexpr int kMaxSeparatorLength = 3;
// A flag box: bit `tag` of the word; tags 0, 2 and 6 also set their setting.
void showTime(int tag, bool on);
// Writes the flag word under "MenuBarOptBits" and the time settings.
void saveTalvorMenuBarFlags();
// The separator field: the text the time item shows for every ":" (empty: ":").
void setSeparator(const QString& text);
}  // namespace TimeItem

}  // namespace talvor
