#pragma once

#include <QSizeF>
#include <QWidget>

namespace talvor {

namespace WindowExtras {
// Shows the window centred on its screen (on (0, 0) without one), raised and active.
void makeKeyAndOrderFrontandCenter(QWidget& window);
// The control being edited in the window: the focus widget, or the spin box or combo box
// whose inner line edit has the focus. nullptr when nothing has it.
QWidget* focusedControl(const QWidget& window);
// The window stands for the application's program file (title-bar proxy icon).
void useAppProxyIcon(QWidget& window);
}  // namespace WindowExtras

namespace ControlExtras {
// Sizes the control to its size hint in the chosen directions only, keeping the old width
// or height otherwise; returns the change (new - old) of width and height.
QSizeF sizeToFitHeight(QWidget& control, bool height, bool width);
}  // namespace ControlExtras

}  // namespace talvor
