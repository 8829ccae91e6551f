#include "MenuBarDrawing.h"

#include "foundation/FoundationKeys.h"
#include "platform/UserDefaults.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>

namespace talvor {
namespace {

constexpr double kComponentScale = 255.99998474121094;

int quantize(float component) {
    return static_cast<int>(static_cast<double>(component) * kComponentScale);
}

bool isClearingName(const QString& name) {
    return name == QLatin1String("windowBackgroundColor") || name == QLatin1String("controlColor");
}

QPointF pointOnCircle(const QPointF& centre, double radius, double degrees) {
    const double a = qDegreesToRadians(degrees);
    // Counter-clockwise in the original system's y-up terms, drawn here with y down.
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

}  // namespace

Rgb8 quantizedRgb(const QColor& color) {
    const QColor rgb = color.toRgb();
    return {quantize(rgb.redF()), quantize(rgb.greenF()), quantize(rgb.blueF())};
}

bool isNearBlack(const QColor& color) {
    const Rgb8 c = quantizedRgb(color);
    return c.red <= 33 && c.green <= 36 && c.blue <= 36;
}

bool isWhite(const QColor& color) {
    const Rgb8 c = quantizedRgb(color);
    return c.red >= 255 && c.green >= 255 && c.blue >= 255;
}

bool isDarkAppearance(const platform::UserDefaults& defaults) {
    const QVariant style = defaults.objectForKey(keys::AppleInterfaceStyle);
    return style.typeId() == QMetaType::QString &&
           style.toString().compare(QLatin1String("dark"), Qt::CaseInsensitive) == 0;
}

MenuBarItemAttributes menuBarItemAttributes(MenuBarItemKind kind, const MenuBarColor& color,
                                            const QFont& font, bool dropShadow) {
    platform::TextAttributes base;
    base.font = font;
    if (dropShadow) {
        platform::TextShadow shadow;
        shadow.offset = QPointF(2.0, -2.0);
        shadow.blurRadius = kind == MenuBarItemKind::Date ? 1.5 : 1.0;
        base.shadow = shadow;
    }
    const QColor converted = color.color.toRgb();
    MenuBarItemAttributes out{base, base};
    if (isNearBlack(color.color) && isClearingName(color.name)) {
        out.light.foregroundColor = QColor(Qt::transparent);
        out.dark.foregroundColor = QColor(Qt::transparent);
    } else if (isNearBlack(color.color)) {
        // The light bar draws dark date text in its own colour.
        if (kind == MenuBarItemKind::Time) {
            out.light.foregroundColor = converted;
        }
        out.dark.foregroundColor = converted;
    } else {
        out.light.foregroundColor = converted;
        out.dark.foregroundColor = converted;
    }
    return out;
}

ClockHandAngles clockHandAngles(int hour, int minute, int second) {
    ClockHandAngles a;
    a.minute = 90.0 - std::trunc(minute * 6.0 + second * 0.1);
    a.hour = 90.0 - ((hour % 12) * 30.0 + minute * 0.5);
    return a;
}

QImage drawClockBase(double size, double devicePixelRatio) {
    const int pixels = static_cast<int>(std::ceil(size * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size / 2, size / 2);
    p.setPen(QPen(QColor(60, 60, 60), 1.0));
    p.setBrush(QColor(252, 252, 252));
    p.drawEllipse(c, size / 2 - 0.5, size / 2 - 0.5);
    p.setPen(QPen(QColor(170, 170, 170), 0.75));
    for (int i = 0; i < 12; ++i) {
        p.drawLine(pointOnCircle(c, size / 2 - 1.5, i * 30.0),
                   pointOnCircle(c, size / 2 - 2.75, i * 30.0));
    }
    return image;
}

QImage drawAnalogClockIcon(const QImage& face, int hour, int minute, int second) {
    if (face.isNull()) {
        return {};
    }
    QImage icon(face.size(), QImage::Format_ARGB32_Premultiplied);
    icon.setDevicePixelRatio(face.devicePixelRatio());
    icon.fill(Qt::transparent);
    const QSizeF size = face.deviceIndependentSize();
    const QPointF c(size.width() / 2, size.height() / 2);
    const ClockHandAngles a = clockHandAngles(hour, minute, second);
    const double r = size.width() / 2 - 0.75;

    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(QRectF(QPointF(0, 0), size), face);
    QPen thinnest(Qt::black);
    thinnest.setWidthF(0.0);  // cosmetic: one device pixel
    p.setPen(thinnest);
    p.drawLine(c, pointOnCircle(c, r, a.minute));
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(c, pointOnCircle(c, r - 3.5, a.hour));
    return icon;
}

QRectF dateButtonFrame(double moonWidth, float textWidth, const QRectF& itemRect) {
    const double x = moonWidth != 0.0 ? moonWidth + 2.0 : -8.0;
    return {x, itemRect.y() - 4.0, std::ceil(static_cast<double>(textWidth)) + 8.0,
            itemRect.height() + 30.0};
}

}  // namespace talvor
