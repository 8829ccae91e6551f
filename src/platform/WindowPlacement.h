#pragma once

class QString;
class QWidget;

namespace talvor::platform {

// Puts a window of ours on the free area of its screen (Screens::freeArea: below the strip,
// also where no window manager keeps windows off it): centred over `over` when given, else
// on the area; shrunk to fit where its minimum size allows; kept wholly inside. Call it
// before a window shows, or after, to correct a place Qt chose.
void placeInFreeArea(QWidget& window, const QWidget* over = nullptr);

// A window's place kept under its autosave name in the standard user defaults
// ("NSWindow Frame <name>", "x y width height"), so that it opens there again, also after a
// restart. Its size is the window's own (a drawer or a layout sets it).
void saveWindowFrame(const QWidget& window, const QString& autosaveName);
// Puts the window where it was saved when that place is still wholly on the free area of its
// screen; else places it as placeInFreeArea does (the first time, or after the screens
// changed). Call it before the window shows.
void restoreWindowFrame(QWidget& window, const QString& autosaveName);

}  // namespace talvor::platform
