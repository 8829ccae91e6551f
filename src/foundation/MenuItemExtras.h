#pragma once

#include "platform/Menu.h"

#include <QString>

namespace talvor::MenuItemExtras {

// setTitle:subtitle: -- with no subtitle, the plain title (any styled title cleared);
// otherwise a styled title: the title in the menu font at 14 points, then " " and the
// subtitle at 10 points leaning 0.3, the subtitle cut to 125 points with "...".
void setTitle(platform::MenuItem& item, const QString& title, const QString& subtitle);

}  // namespace talvor::MenuItemExtras
