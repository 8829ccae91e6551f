#pragma once

#include "platform/Log.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <functional>
#include <ostream>

namespace talvor::test {

// Counts system beeps while alive.
class BeepCounter {
  public:
    BeepCounter() : previous_(platform::setBeepHandler([this] { ++count_; })) {}
    ~BeepCounter() { platform::setBeepHandler(previous_); }
    int count() const { return count_; }

  private:
    int count_ = 0;
    platform::BeepHandler previous_;
};

// A canvas of `size` points filled with `background`, drawn on by `draw`.
inline QImage drawn(QSize size, const QColor& background,
                    const std::function<void(QPainter&)>& draw) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(background);
    QPainter painter(&image);
    draw(painter);
    painter.end();
    return image;
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance &&
           std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline QColor pixel(const QImage& image, int x, int y) {
    return image.convertToFormat(QImage::Format_ARGB32).pixelColor(x, y);
}

}  // namespace talvor::test

inline void PrintTo(const QColor& c, std::ostream* os) {
    *os << "rgba(" << c.red() << ", " << c.green() << ", " << c.blue() << ", " << c.alpha() << ")";
}
