#include "TalvorTintedImage.h"

namespace talvor::TalvorTintedImage {

QImage tintedImageWithColor(const QImage& image, const QColor& color) {
    QColor wash = color.toRgb();
    if (color.alphaF() == 1.0f) {
        wash.setAlphaF(0.25f);
    }
    return tintedImageWithColor(image, wash, QPainter::CompositionMode_SourceAtop);
}

QImage tintedImageWithColor(const QImage& image, const QColor& color,
                            QPainter::CompositionMode operation) {
    QImage result(image.size(), QImage::Format_ARGB32_Premultiplied);
    result.setDevicePixelRatio(image.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPointF(0, 0), image);
    painter.setCompositionMode(operation);
    painter.fillRect(QRectF(QPointF(0, 0), image.deviceIndependentSize()), color);
    return result;
}

}  // namespace talvor::TalvorTintedImage
