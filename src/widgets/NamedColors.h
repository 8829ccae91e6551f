#pragma once

#include <QColor>

// The original system's named grey levels and the few system colours the custom controls draw with.
namespace talvor::NamedColors {

inline QColor lightGrayColor() {
    return QColor::fromRgbF(2.0f / 3, 2.0f / 3, 2.0f / 3);
}
inline QColor grayColor() {
    return QColor::fromRgbF(0.5f, 0.5f, 0.5f);
}
inline QColor darkGrayColor() {
    return QColor::fromRgbF(1.0f / 3, 1.0f / 3, 1.0f / 3);
}
// The drag-highlight ring: the selection colour of the original system's controls.
inline QColor selectedControlColor() {
    return QColor(164, 204, 254);
}

}  // namespace talvor::NamedColors
