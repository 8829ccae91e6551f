#pragma once

#include <QString>

namespace talvor {

// Logs "Computer Name: ...\nLocal Host Name: ...\nCurrent Location: ...\n". Linux has no
// network locations: the location is "Automatic".
void NetInfo();
QString NetInfoText();

}  // namespace talvor
