#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

// Tinted copies of images.
namespace talvor::TalvorTintedImage {

// A wash of `color` over the opaque parts of the image only (source-atop). A fully opaque
// colour is used at alpha 0.25; a translucent one with its own alpha.
QImage tintedImageWithColor(const QImage& image, const QColor& color);

// A copy of the image with its whole rectangle then filled with `color` using `operation`.
QImage tintedImageWithColor(const QImage& image, const QColor& color,
                            QPainter::CompositionMode operation);

}  // namespace talvor::TalvorTintedImage
