#pragma once

class QWidget;

namespace talvor::platform {

// Puts a window of ours on the free area of its screen (Screens::freeArea: below the strip,
// also where no window manager keeps windows off it): centred over `over` when given, else
// on the area; shrunk to fit where its minimum size allows; kept wholly inside. Call it
// before a window shows, or after, to correct a place Qt chose.
void placeInFreeArea(QWidget& window, const QWidget* over = nullptr);

}  // namespace talvor::platform
