#include "RenderDot.h"

#include <algorithm>
#include <array>

namespace talvor {
namespace {

constexpr qreal kScale = 4.0;  // pixels per point in the picture

constexpr std::array<QRgb, kDotColorCount> kColors = {0xE53935, 0xFB8C00, 0xFDD835, 0x43A047,
                                                      0x1E88E5, 0x8E24AA, 0x795548, 0x757575};

void disc(QPainter& p, QPointF centre, qreal radius, const QColor& fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

QImage makeDotsBig() {
    QImage image(QSize(15, 10 * kDotColorCount) * kScale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    for (int i = 0; i < kDotColorCount; ++i) {
        const QColor colour = QColor::fromRgb(kColors[static_cast<std::size_t>(i)]);
        const QColor rim = colour.darker(135);
        const qreal y0 = 10.0 * i;
        // Small dot on a filled day: a white ring keeps it visible on any swatch.
        disc(p, QPointF(2.5, y0 + 2.5), 2.4, Qt::white);
        disc(p, QPointF(2.5, y0 + 2.5), 1.6, colour);
        // Small dot on a plain day.
        disc(p, QPointF(2.5, y0 + 7.5), 2.3, rim);
        disc(p, QPointF(2.5, y0 + 7.5), 1.8, colour);
        // Big dot.
        disc(p, QPointF(10, y0 + 5), 4.7, Qt::white);
        disc(p, QPointF(10, y0 + 5), 3.9, rim);
        disc(p, QPointF(10, y0 + 5), 3.3, colour);
    }
    p.end();
    image.setDevicePixelRatio(kScale);
    return image;
}

void drawTile(QPainter& painter, const QRectF& source, float x, float y) {
    // Truncated to whole points, so that dots land on whole pixels.
    const qreal left = static_cast<qreal>(static_cast<long>(x));
    const qreal bottom = static_cast<qreal>(static_cast<long>(y));
    const QRectF target(left, bottom - source.height(), source.width(), source.height());
    const QRectF pixels(source.topLeft() * kScale, source.size() * kScale);
    const QPainter::CompositionMode mode = painter.compositionMode();
    const qreal opacity = painter.opacity();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.drawImage(target, dotsBigImage(), pixels);
    painter.setCompositionMode(mode);
    painter.setOpacity(opacity);
}

}  // namespace

QColor dotColor(std::int64_t n) {
    if (n < 1 || n > kDotColorCount) {
        return {};
    }
    return QColor::fromRgb(kColors[static_cast<std::size_t>(n - 1)]);
}

const QImage& dotsBigImage() {
    static const QImage image = makeDotsBig();
    return image;
}

std::uint32_t numDots(const QImage& sprite) {
    const double ratio = sprite.devicePixelRatio() > 0 ? sprite.devicePixelRatio() : 1.0;
    return static_cast<std::uint32_t>(std::max(0.0, sprite.height() / ratio / 10.0));
}

std::uint32_t numDots() {
    return numDots(dotsBigImage());
}

void renderDot(QPainter& painter, std::uint32_t n, bool filled, float x, float y) {
    if (n < 1 || n > kDotColorCount) {
        return;
    }
    drawTile(painter, QRectF(0, (n - 1) * 10.0 + (filled ? 0 : 5), 5, 5), x, y);
}

void renderBigDot(QPainter& painter, int n, float x, float y) {
    if (n < 1 || n > kDotColorCount) {
        return;
    }
    drawTile(painter, QRectF(5, (n - 1) * 10.0, 10, 10), x, y);
}

}  // namespace talvor
