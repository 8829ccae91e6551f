#pragma once

#include <QString>
#include <QtGlobal>

namespace talvor {

// The menu-item flag word, shared by the menu items pane and the time menu; bits 4-7 hold
// how each location line is laid out.
extern quint32 TalvorMenuItemFlags;

inline const QString MenuItemOptBits = QStringLiteral("MenuItemOptBits");
// The word when "MenuItemOptBits" is absent: layout code 0xD0 and the cells 3, 11, 12, 14.
inline constexpr quint32 kDefaultMenuItemFlags = 22745;

// Reads "MenuItemOptBits" into the word and returns it.
quint32 loadTalvorMenuItemFlags();
// Writes the word to "MenuItemOptBits" as a signed 32-bit integer (not synchronised).
void storeTalvorMenuItemFlags();

}  // namespace talvor
