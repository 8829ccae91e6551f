#pragma once

#include <functional>

class QDialog;

namespace talvor::platform {

// Dialogs never run a loop of their own: a nested loop would keep a quit from returning.

// Shows `dialog` (window-modal on its parent's window, application-modal without a parent)
// and returns at once. `finished` gets the result when the dialog closes, whether by the
// user or by closeOpenDialogs; the dialog is deleted after that.
void openDialog(QDialog* dialog, std::function<void(int result)> finished = {});

// Rejects every dialog on screen, as if its user had cancelled it, so that each result
// callback takes its cancel branch now; dialogs those callbacks open are closed as well.
// The quit path calls this first. Returns how many dialogs it closed.
int closeOpenDialogs();

// Closes the menus popped up, as a click elsewhere would. The quit path calls this first:
// a menu still open when the loop ends is torn down with the objects it reports to.
void closeOpenPopups();

}  // namespace talvor::platform
