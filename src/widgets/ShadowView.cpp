#include "ShadowView.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace talvor {
namespace {

constexpr int kShadowMargin = 5;

// One pass of a Gaussian blur over the alpha channel, along rows or columns.
void blurAlpha(std::vector<float>& alpha, int w, int h, const std::vector<float>& kernel,
               bool horizontal) {
    const int radius = static_cast<int>(kernel.size() / 2);
    std::vector<float> out(alpha.size(), 0.0f);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int sx = horizontal ? x + k : x;
                const int sy = horizontal ? y : y + k;
                if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                    sum += alpha[static_cast<std::size_t>(sy * w + sx)] *
                           kernel[static_cast<std::size_t>(k + radius)];
                }
            }
            out[static_cast<std::size_t>(y * w + x)] = sum;
        }
    }
    alpha.swap(out);
}

}  // namespace

QImage renderShadowImage(const QSizeF& size, const Shadow& shadow, qreal devicePixelRatio,
                         int* margin) {
    // The original system's blur radius is two standard deviations; three of them hold the tail.
    const double sigma = std::max(shadow.blurRadius, 0.01) / 2.0 * devicePixelRatio;
    const int kernelRadius = static_cast<int>(std::ceil(3.0 * sigma));
    const int pad = static_cast<int>(std::ceil(kernelRadius / devicePixelRatio));
    if (margin != nullptr) {
        *margin = pad;
    }
    const QSize pixels = ((size + QSizeF(2.0 * pad, 2.0 * pad)) * devicePixelRatio).toSize();
    const int w = pixels.width();
    const int h = pixels.height();
    if (w <= 0 || h <= 0) {
        return {};
    }
    std::vector<float> alpha(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0.0f);
    const QRect body = QRectF(pad * devicePixelRatio, pad * devicePixelRatio,
                              size.width() * devicePixelRatio, size.height() * devicePixelRatio)
                           .toAlignedRect();
    for (int y = std::max(body.top(), 0); y <= std::min(body.bottom(), h - 1); ++y) {
        for (int x = std::max(body.left(), 0); x <= std::min(body.right(), w - 1); ++x) {
            alpha[static_cast<std::size_t>(y * w + x)] = 1.0f;
        }
    }
    std::vector<float> kernel(static_cast<std::size_t>(2 * kernelRadius + 1));
    float total = 0;
    for (int k = -kernelRadius; k <= kernelRadius; ++k) {
        const float v = static_cast<float>(std::exp(-(k * k) / (2.0 * sigma * sigma)));
        kernel[static_cast<std::size_t>(k + kernelRadius)] = v;
        total += v;
    }
    for (float& v : kernel) {
        v /= total;
    }
    blurAlpha(alpha, w, h, kernel, true);
    blurAlpha(alpha, w, h, kernel, false);

    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    const QColor c = shadow.color.toRgb();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float a = alpha[static_cast<std::size_t>(y * w + x)] * c.alphaF();
            line[x] = qPremultiply(
                qRgba(c.red(), c.green(), c.blue(), std::clamp(qRound(a * 255.0f), 0, 255)));
        }
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

ShadowView::ShadowView(QWidget* view) : QWidget(view != nullptr ? view->parentWidget() : nullptr) {
    if (view == nullptr) {
        return;
    }
    const QRect frame = view->geometry();
    setGeometry(frame.adjusted(-kShadowMargin, -kShadowMargin, kShadowMargin, kShadowMargin));
    fillRect_ = QRectF(kShadowMargin, kShadowMargin, frame.width(), frame.height());
    if (parentWidget() != nullptr) {
        stackUnder(view);
        setVisible(!view->isHidden());
    }
}

void ShadowView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    if (cache_.isNull() || cache_.devicePixelRatio() != ratio || cacheSize_ != fillRect_.size()) {
        cache_ = renderShadowImage(fillRect_.size(), shadow_, ratio, &cacheMargin_);
        cacheSize_ = fillRect_.size();
    }
    const int margin = cacheMargin_;
    const QImage& shadow = cache_;
    // The offset's y points up on the original system.
    const QPointF at = fillRect_.topLeft() + QPointF(shadow_.offset.x(), -shadow_.offset.y()) -
                       QPointF(margin, margin);
    painter.drawImage(at, shadow);
    painter.fillRect(fillRect_, Qt::white);
}

}  // namespace talvor
