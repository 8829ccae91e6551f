#include "ClockFaces.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cmath>
#include <numbers>

namespace talvor::ClockFaces {
namespace {

enum class Decoration { Ticks, Dots, Sun, Moon, YinYang };

struct Style {
    const char* name;
    QRgb centre;
    QRgb edge;
    QRgb rim;
    QRgb marks;
    Decoration decoration;
};

// Our pictures: light dials carry dark hands, the five dark ones white hands.
constexpr std::array<Style, 20> kStyles = {{
    {"ClockFace1", 0xFFFBF8EF, 0xFFE6E0D0, 0xFF3A3A3A, 0xFF1E1E1E, Decoration::Ticks},
    {"ClockFace2", 0xFFEEF5FC, 0xFFC6DAEE, 0xFF1F3B63, 0xFF1F3B63, Decoration::Ticks},
    {"ClockFace3", 0xFF243354, 0xFF0D1426, 0xFFB8BEC8, 0xFFF2F2F2, Decoration::Ticks},
    {"ClockFace4", 0xFF8E959D, 0xFF5F666E, 0xFF4A4F55, 0xFF1E2125, Decoration::Ticks},
    {"ClockFace6", 0xFFFFFFFF, 0xFFF0F0F0, 0xFF9A9A9A, 0xFF5A5A5A, Decoration::Dots},
    {"ClockFace7", 0xFF2B2B2B, 0xFF050505, 0xFFC9A227, 0xFFF5F5F5, Decoration::Ticks},
    {"ClockFace8", 0xFFF6DEAE, 0xFFD9A55B, 0xFF6B4423, 0xFF5A3518, Decoration::Ticks},
    {"clockdark", 0xFFDCDCDC, 0xFFB4B4B4, 0xFF1A1A1A, 0xFF1A1A1A, Decoration::Ticks},
    {"clockying", 0xFFFFFFFF, 0xFFF4F4F4, 0xFF7A7A7A, 0xFF7A7A7A, Decoration::YinYang},
    {"clockapple", 0xFFB8271F, 0xFF741510, 0xFF4E0E0A, 0xFFFFFFFF, Decoration::Ticks},
    {"clocksun", 0xFFFFEB8A, 0xFFF6B800, 0xFFE07B00, 0xFF8A4B00, Decoration::Sun},
    {"clockmoon", 0xFFEEF1F6, 0xFFCDD3DE, 0xFF6F7787, 0xFF4E5563, Decoration::Moon},
    {"ClockFace10", 0xFFE6F6EA, 0xFFBFE3C8, 0xFF2E6B3F, 0xFF245532, Decoration::Ticks},
    {"ClockFace11", 0xFFF1ECFA, 0xFFD5CAEE, 0xFF4F3C7A, 0xFF3E2F63, Decoration::Dots},
    {"ClockFace12", 0xFF1E4D33, 0xFF0C2617, 0xFFA7C9B2, 0xFFF0F5F1, Decoration::Ticks},
    {"ClockFace13", 0xFFFFEDE2, 0xFFF5CDB4, 0xFF8A4B2A, 0xFF6E3A20, Decoration::Ticks},
    {"ClockFace14", 0xFFEAF7FE, 0xFFB9E0F5, 0xFF1D6C96, 0xFF175678, Decoration::Dots},
    {"ClockFace15", 0xFFFAF3E3, 0xFFE8D6AE, 0xFF7D6A3F, 0xFF5E4F2E, Decoration::Ticks},
    {"ClockFace16", 0xFF34214F, 0xFF140A22, 0xFFC2B3D9, 0xFFF3EFF8, Decoration::Ticks},
    {"ClockFace17", 0xFFFFEEF2, 0xFFF3C6D2, 0xFF8E2F4B, 0xFF72253C, Decoration::Dots},
}};

const Style* styleNamed(const QString& name) {
    for (const Style& s : kStyles) {
        if (name == QLatin1String(s.name)) {
            return &s;
        }
    }
    return nullptr;
}

QPointF onCircle(QPointF centre, double radius, double degreesFromNorth) {
    const double a = degreesFromNorth * std::numbers::pi / 180.0;
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

void drawMarks(QPainter& p, QPointF c, double r, const Style& s) {
    for (int i = 0; i < 60; ++i) {
        const bool hour = i % 5 == 0;
        const double angle = i * 6.0;
        if (s.decoration == Decoration::Dots) {
            if (hour) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor::fromRgba(s.marks));
                p.drawEllipse(onCircle(c, r * 0.87, angle), r * 0.035, r * 0.035);
            }
            continue;
        }
        QPen pen(QColor::fromRgba(s.marks), hour ? r * 0.035 : r * 0.012, Qt::SolidLine,
                 Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(onCircle(c, r * (hour ? 0.81 : 0.87), angle), onCircle(c, r * 0.92, angle));
    }
}

void drawDecoration(QPainter& p, QPointF c, double r, const Style& s) {
    const QColor marks = QColor::fromRgba(s.marks);
    switch (s.decoration) {
        case Decoration::Sun:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor::fromRgba(s.rim));
            for (int i = 0; i < 12; ++i) {
                const double a = i * 30.0 + 15.0;
                QPainterPath ray;
                ray.moveTo(onCircle(c, r * 0.995, a));
                ray.lineTo(onCircle(c, r * 0.9, a - 5));
                ray.lineTo(onCircle(c, r * 0.9, a + 5));
                ray.closeSubpath();
                p.drawPath(ray);
            }
            break;
        case Decoration::Moon: {
            p.setPen(Qt::NoPen);
            p.setBrush(marks.lighter(260));
            const struct {
                double angle, distance, size;
            } craters[] = {
                {40, 0.45, 0.12}, {160, 0.55, 0.09}, {250, 0.35, 0.15}, {310, 0.6, 0.07}};
            for (const auto& k : craters) {
                p.drawEllipse(onCircle(c, r * k.distance, k.angle), r * k.size, r * k.size);
            }
            break;
        }
        case Decoration::YinYang: {
            // Pale halves, so that black hands read on both.
            const double R = r * 0.78;
            QPainterPath half;
            half.moveTo(c + QPointF(0, -R));
            half.arcTo(QRectF(c.x() - R, c.y() - R, 2 * R, 2 * R), 90, 180);
            half.arcTo(QRectF(c.x() - R / 2, c.y(), R, R), 270, -180);
            half.arcTo(QRectF(c.x() - R / 2, c.y() - R, R, R), 270, 180);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xD6, 0xD6, 0xD6));
            p.drawPath(half);
            p.setBrush(QColor(0xD6, 0xD6, 0xD6));
            p.drawEllipse(c + QPointF(0, R / 2), R * 0.1, R * 0.1);
            p.setBrush(QColor(Qt::white));
            p.drawEllipse(c + QPointF(0, -R / 2), R * 0.1, R * 0.1);
            break;
        }
        case Decoration::Ticks:
        case Decoration::Dots:
            break;
    }
}

struct FaceCache {
    int type = -1;
    QImage image;
};

FaceCache& faceCache() {
    static FaceCache cache;
    return cache;
}

}  // namespace

std::optional<Resource> resourceForType(int type) {
    const QString tiff = QStringLiteral("tiff");
    const QString png = QStringLiteral("png");
    switch (type) {
        case -1:
            return std::nullopt;
        case 1:
            return Resource{QStringLiteral("ClockFace1"), tiff};
        case 2:
            return Resource{QStringLiteral("ClockFace2"), tiff};
        case 3:
            return Resource{QStringLiteral("ClockFace3"), tiff};
        case 4:
        case 5:
            return Resource{QStringLiteral("ClockFace4"), tiff};
        case 6:
            return Resource{QStringLiteral("ClockFace6"), tiff};
        case 7:
            return Resource{QStringLiteral("ClockFace7"), tiff};
        case 8:
            return Resource{QStringLiteral("ClockFace8"), tiff};
        case 9:
            return Resource{QStringLiteral("clockdark"), png};
        case 10:
            return Resource{QStringLiteral("clockying"), png};
        case 11:
            return Resource{QStringLiteral("clockapple"), png};
        case 12:
            return Resource{QStringLiteral("clocksun"), png};
        case 13:
            return Resource{QStringLiteral("clockmoon"), png};
        default:
            break;
    }
    if (type >= 14 && type <= 21) {
        return Resource{QStringLiteral("ClockFace%1").arg(type - 4), png};
    }
    return Resource{QStringLiteral("ClockFace1"), tiff};
}

float handGreyForType(int type) {
    switch (type) {
        case 3:
        case 7:
        case 11:
        case 16:
        case 20:
            return 1.0f;
        case 5:
            return 0.8f;
        default:
            return 0.0f;
    }
}

QImage drawFace(const QString& name, int pixels) {
    const Style* style = styleNamed(name);
    if (style == nullptr || pixels < 8) {
        return {};
    }
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(pixels / 2.0, pixels / 2.0);
    const double r = pixels / 2.0 - 1.0;

    QRadialGradient dial(c, r, c - QPointF(r * 0.25, r * 0.35));
    dial.setColorAt(0.0, QColor::fromRgba(style->centre));
    dial.setColorAt(1.0, QColor::fromRgba(style->edge));
    p.setPen(Qt::NoPen);
    p.setBrush(dial);
    p.drawEllipse(c, r, r);

    drawDecoration(p, c, r, *style);
    drawMarks(p, c, r, *style);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor::fromRgba(style->rim), r * 0.05));
    p.drawEllipse(c, r * 0.975, r * 0.975);
    return image;
}

QImage clockFaceImage(int type) {
    FaceCache& cache = faceCache();
    if (type == -1) {
        cache = FaceCache{};
        return {};
    }
    if (type == cache.type && !cache.image.isNull()) {
        return cache.image;
    }
    const std::optional<Resource> resource = resourceForType(type);
    QImage image = resource ? drawFace(resource->name) : QImage();
    if (image.isNull()) {
        return {};
    }
    cache.type = type;
    cache.image = image;
    return image;
}

}  // namespace talvor::ClockFaces
