#pragma once

// Comparing a screenshot of the X server with what a window painted.
#include <QImage>
#include <QPoint>
#include <QRect>

namespace talvor::test {

// The share of `expected`'s pixels that `shot` shows unchanged at `at`.
inline double pixelShare(const QImage& shot, const QImage& expected, QPoint at) {
    const QImage a = shot.convertToFormat(QImage::Format_RGB32);
    const QImage b = expected.convertToFormat(QImage::Format_RGB32);
    if (b.isNull() || !a.rect().contains(QRect(at, b.size()))) {
        return 0;
    }
    int same = 0;
    for (int y = 0; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x) {
            same += a.pixel(at.x() + x, at.y() + y) == b.pixel(x, y) ? 1 : 0;
        }
    }
    return static_cast<double>(same) / (b.width() * b.height());
}

}  // namespace talvor::test
