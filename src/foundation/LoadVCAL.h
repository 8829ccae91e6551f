#pragma once

#include "platform/Menu.h"

#include <QString>

// The menu of calendar files. The folder is the calendar room's `TalvorLoadVCALPath`
// ($XDG_DATA_HOME/talvor/Calendars), handed in by the caller since that room sits above
// this one.
namespace talvor::LoadVCAL {

// TalvorLoadVCAL:andAction:setTarget: -- turns the menu's automatic enabling off; when the
// folder has entries, adds a disabled "Your Calendars:" and then, for each readable file
// (not a folder, not a dot-file) in name order, an item titled with the file's name
// without its extension, with the action (its target is what the action captures), no
// key equivalent and the full path as represented object. A missing or empty folder adds
// nothing.
void TalvorLoadVCAL(platform::Menu& menu, const platform::MenuAction& andAction,
                    const QString& calendarFolder);

}  // namespace talvor::LoadVCAL

namespace talvor::LoadPopUpVCAL {

// TalvorLoadVCALInPopUp -- fills a pop-up button's menu the same way, with no action.
void TalvorLoadVCALInPopUp(platform::Menu& popUpMenu, const QString& calendarFolder);

}  // namespace talvor::LoadPopUpVCAL
