#include "ColorExtras.h"

#include "platform/KeyedArchiver.h"

#include <cmath>

namespace talvor {
namespace {

// The archived form of a colour.
struct ArchivedColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static QString archiveClassName() { return QStringLiteral("NSColor"); }

    void encodeWithCoder(platform::KeyedArchiver& coder) const {
        coder.encodeDouble(QStringLiteral("red"), red);
        coder.encodeDouble(QStringLiteral("green"), green);
        coder.encodeDouble(QStringLiteral("blue"), blue);
        coder.encodeDouble(QStringLiteral("alpha"), alpha);
    }

    static std::optional<ArchivedColor> initWithCoder(const platform::KeyedUnarchiver& coder) {
        ArchivedColor c;
        double* parts[] = {&c.red, &c.green, &c.blue, &c.alpha};
        const QString keys[] = {QStringLiteral("red"), QStringLiteral("green"),
                                QStringLiteral("blue"), QStringLiteral("alpha")};
        for (int i = 0; i < 4; ++i) {
            if (!coder.containsValueForKey(keys[i])) {
                return std::nullopt;
            }
            const double v = coder.decodeDouble(keys[i]);
            if (!std::isfinite(v)) {
                return std::nullopt;
            }
            *parts[i] = std::clamp(v, 0.0, 1.0);
        }
        return c;
    }
};

}  // namespace

namespace ColorExtras {

QByteArray asData(const QColor& color) {
    if (!color.isValid()) {
        return QByteArray();
    }
    const QColor rgb = color.toRgb();
    const ArchivedColor archived{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
    return platform::KeyedArchiver::archivedDataWithRootObject(archived);
}

std::optional<QColor> color(const QByteArray& data) {
    const std::optional<ArchivedColor> c =
        platform::KeyedUnarchiver::unarchiveObjectWithData<ArchivedColor>(data);
    if (!c) {
        return std::nullopt;
    }
    return QColor::fromRgbF(static_cast<float>(c->red), static_cast<float>(c->green),
                            static_cast<float>(c->blue), static_cast<float>(c->alpha));
}

}  // namespace ColorExtras

namespace UserDefaultsExtras {

std::optional<QColor> colorForKey(const platform::UserDefaults& defaults, const QString& key) {
    const QByteArray data = defaults.dataForKey(key);
    if (data.isEmpty()) {
        return std::nullopt;
    }
    return ColorExtras::color(data);
}

void setColor(platform::UserDefaults& defaults, const QColor& color, const QString& key) {
    const QByteArray data = ColorExtras::asData(color);
    if (data.isEmpty()) {
        defaults.removeObjectForKey(key);
    } else {
        defaults.setObject(data, key);
    }
}

}  // namespace UserDefaultsExtras
}  // namespace talvor
