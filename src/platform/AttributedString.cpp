#include "AttributedString.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>

namespace talvor::platform {
namespace {

// The strip measures the same few texts several times a tick (its layout, each item's width,
// the drawing pen), and each measure shapes the text anew: a few recent widths are kept.
// Per thread, since fonts may be measured off the main thread too; by the font's key, so that
// no font outlives the application in the cache.
double advanceOf(const QString& text, const QFont& font) {
    struct Entry {
        QString text;
        QString font;
        double width = 0;
    };
    thread_local std::array<Entry, 16> recent;
    thread_local std::size_t next = 0;
    const QString key = font.key();
    for (const Entry& e : recent) {
        if (e.text == text && !e.text.isNull() && e.font == key) {
            return e.width;
        }
    }
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    recent[next] = Entry{text, key, width};
    next = (next + 1) % recent.size();
    return width;
}

}  // namespace

AttributedString::AttributedString(const QString& text, const TextAttributes& attributes) {
    append(text, attributes);
}

void AttributedString::append(const QString& text, const TextAttributes& attributes) {
    if (text.isEmpty()) {
        return;
    }
    text_ += text;
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().text += text;
    } else {
        runs_.push_back({text, attributes});
    }
}

void AttributedString::append(const AttributedString& other) {
    for (const Run& r : other.runs_) {
        append(r.text, r.attributes);
    }
}

void AttributedString::setAttributes(const TextAttributes& attributes, qsizetype start,
                                     qsizetype length) {
    start = std::clamp<qsizetype>(start, 0, text_.size());
    const qsizetype end =
        std::clamp<qsizetype>(start + std::max<qsizetype>(length, 0), start, text_.size());
    if (start == end) {
        return;
    }
    std::vector<Run> out;
    qsizetype pos = 0;
    for (const Run& r : runs_) {
        const qsizetype rEnd = pos + r.text.size();
        const qsizetype a = std::clamp(start, pos, rEnd);
        const qsizetype b = std::clamp(end, pos, rEnd);
        if (a > pos) {
            out.push_back({r.text.mid(0, a - pos), r.attributes});
        }
        if (b > a) {
            out.push_back({r.text.mid(a - pos, b - a), attributes});
        }
        if (rEnd > b) {
            out.push_back({r.text.mid(b - pos), r.attributes});
        }
        pos = rEnd;
    }
    runs_ = std::move(out);
    normalize();
}

TextAttributes AttributedString::attributesAtIndex(qsizetype index) const {
    qsizetype pos = 0;
    for (const Run& r : runs_) {
        if (index >= pos && index < pos + r.text.size()) {
            return r.attributes;
        }
        pos += r.text.size();
    }
    return {};
}

void AttributedString::normalize() {
    std::vector<Run> merged;
    for (Run& r : runs_) {
        if (r.text.isEmpty()) {
            continue;
        }
        if (!merged.empty() && merged.back().attributes == r.attributes) {
            merged.back().text += r.text;
        } else {
            merged.push_back(std::move(r));
        }
    }
    runs_ = std::move(merged);
}

namespace {

QFont runFont(const TextAttributes& a, const TextDefaults& d) {
    QFont f = a.font.value_or(d.font);
    if (a.kern != 0.0) {
        f.setLetterSpacing(QFont::AbsoluteSpacing, a.kern);
    }
    return f;
}

// Separable Gaussian blur of all four channels of a premultiplied image.
void blurImage(QImage& image, double sigma) {
    if (sigma < 0.1) {
        return;
    }
    const int radius = static_cast<int>(std::ceil(sigma * 3.0));
    std::vector<double> kernel(static_cast<std::size_t>(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        const double w = std::exp(-(i * i) / (2.0 * sigma * sigma));
        kernel[static_cast<std::size_t>(i + radius)] = w;
        sum += w;
    }
    for (double& w : kernel) {
        w /= sum;
    }
    const int width = image.width();
    const int height = image.height();
    auto pass = [&](bool horizontal) {
        QImage src = image.copy();
        for (int y = 0; y < height; ++y) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                double acc[4] = {0, 0, 0, 0};
                for (int k = -radius; k <= radius; ++k) {
                    const int sx = horizontal ? std::clamp(x + k, 0, width - 1) : x;
                    const int sy = horizontal ? y : std::clamp(y + k, 0, height - 1);
                    const QRgb p = reinterpret_cast<const QRgb*>(src.constScanLine(sy))[sx];
                    const double w = kernel[static_cast<std::size_t>(k + radius)];
                    acc[0] += w * qRed(p);
                    acc[1] += w * qGreen(p);
                    acc[2] += w * qBlue(p);
                    acc[3] += w * qAlpha(p);
                }
                out[x] = qRgba(qRound(acc[0]), qRound(acc[1]), qRound(acc[2]), qRound(acc[3]));
            }
        }
    };
    pass(true);
    pass(false);
}

void drawRunText(QPainter& p, const QString& text, const QFont& font, const QColor& color,
                 const QPointF& baseline, double obliqueness) {
    p.save();
    p.setFont(font);
    p.setPen(color);
    if (obliqueness != 0.0) {
        p.translate(baseline);
        p.setTransform(QTransform(1, 0, -obliqueness, 1, 0, 0), true);
        p.drawText(QPointF(0, 0), text);
    } else {
        p.drawText(baseline, text);
    }
    p.restore();
}

void drawShadow(QPainter& p, const QString& text, const QFont& font, const TextShadow& shadow,
                const QPointF& baseline, double obliqueness) {
    const QFontMetricsF fm(font);
    const double margin =
        std::ceil(shadow.blurRadius * 2.0) + 2.0 + std::abs(obliqueness) * fm.ascent();
    const QRectF box(0, 0, advanceOf(text, font) + 2 * margin,
                     fm.ascent() + fm.descent() + 2 * margin);
    const double dpr = p.device() != nullptr ? p.device()->devicePixelRatioF() : 1.0;
    QImage layer((box.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::TextAntialiasing);
        drawRunText(lp, text, font, shadow.color, QPointF(margin, margin + fm.ascent()),
                    obliqueness);
    }
    // The original system's blur radius spans about two standard deviations.
    blurImage(layer, shadow.blurRadius * dpr / 2.0);
    const QPointF origin = baseline + QPointF(shadow.offset.x(), -shadow.offset.y()) -
                           QPointF(margin, margin + fm.ascent());
    p.drawImage(origin, layer);
}

}  // namespace

TextMetrics measureAttributedString(const AttributedString& text, const TextDefaults& defaults) {
    TextMetrics m;
    if (text.runs().empty()) {
        const QFontMetricsF fm(defaults.font);
        m.ascent = fm.ascent();
        m.descent = fm.descent();
        return m;
    }
    for (const AttributedString::Run& r : text.runs()) {
        const QFont font = runFont(r.attributes, defaults);
        const QFontMetricsF fm(font);
        m.width += advanceOf(r.text, font);
        m.ascent = std::max(m.ascent, fm.ascent() + r.attributes.baselineOffset);
        m.descent = std::max(m.descent, fm.descent() - r.attributes.baselineOffset);
    }
    return m;
}

double widthOfString(const QString& text, const QFont& font) {
    return advanceOf(text, font);
}

void drawAttributedString(QPainter& painter, const AttributedString& text, const QPointF& baseline,
                          const TextDefaults& defaults) {
    QPointF pen = baseline;
    for (const AttributedString::Run& r : text.runs()) {
        const QFont font = runFont(r.attributes, defaults);
        const QPointF at = pen - QPointF(0, r.attributes.baselineOffset);
        if (r.attributes.shadow) {
            drawShadow(painter, r.text, font, *r.attributes.shadow, at, r.attributes.obliqueness);
        }
        drawRunText(painter, r.text, font, r.attributes.foregroundColor.value_or(defaults.color),
                    at, r.attributes.obliqueness);
        pen.rx() += advanceOf(r.text, font);
    }
}

}  // namespace talvor::platform
