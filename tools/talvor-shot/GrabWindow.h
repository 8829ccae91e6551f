#pragma once

#include <QImage>
#include <QWidget>

namespace talvor::shot {

// Draws a widget as it would show on screen; any window can be shot this way.
inline QImage grabWindow(QWidget& window, double scale) {
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    window.ensurePolished();
    QImage image((QSizeF(window.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    window.render(&image);
    return image;
}

}  // namespace talvor::shot
