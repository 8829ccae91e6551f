#pragma once

#include <QImage>

namespace talvor::shot {

// The settings window as a first opening shows it: the first pane with controls, lit.
QImage renderSettingsFirstOpening(double scale);
// The count-down pane opened by its shortcut after another pane was chosen.
QImage renderSettingsCountDown(double scale);
// The Applications Menu pane while the menu is off: its options greyed.
QImage renderSettingsApplicationsMenu(double scale);
// The Chimes pane with quiet hours from midnight to 07:00.
QImage renderSettingsChimes(double scale);

// The Time Menu and Date Menu panes with a composed format, and the date composer alone.
QImage renderSettingsTimeItem(double scale);
QImage renderSettingsDateItem(double scale);
QImage renderFormatComposer(double scale);
// The locations window with four places; every column headed.
QImage renderLocationsWindow(double scale);
// The location picker as it opens for a user in Berlin.
QImage renderLocationPicker(double scale);
// The break sheet 43 seconds before the break ends.
QImage renderBreakSheet(double scale);

}  // namespace talvor::shot
