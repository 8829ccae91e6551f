#include "TalvorProColor.h"

#include "PreferenceDomain.h"
#include "ScanFormat.h"
#include "platform/Log.h"

#include <cmath>

namespace talvor::TalvorProColor {
namespace {

double unit(double v, double fallback) {
    if (std::isnan(v)) {
        return fallback;
    }
    return std::clamp(v, 0.0, 1.0);
}

}  // namespace

QString colorText(const QColor& color) {
    if (!color.isValid()) {
        return QString();
    }
    QColor rgb = color;
    if (color.spec() != QColor::Rgb && color.spec() != QColor::ExtendedRgb) {
        rgb = color.toRgb();
    }
    // QString::asprintf formats in the C locale.
    return QString::asprintf("[%f] [%f] [%f] [%f]", static_cast<double>(rgb.redF()),
                             static_cast<double>(rgb.greenF()), static_cast<double>(rgb.blueF()),
                             static_cast<double>(rgb.alphaF()));
}

void saveColorToDefaults(const QColor& color, const QString& prefKey) {
    const QString text = colorText(color);
    if (text.isEmpty()) {
        platform::log(QStringLiteral("saveColorToDefaults: no colour to save for %1").arg(prefKey));
        return;
    }
    PreferenceDomain::store().setValue(prefKey, QVariant(text));
}

QColor colorFromText(const QString& text, const QString& keyForLog) {
    const std::vector<ScanValue> read = scanFormat(text, "[%f] [%f] [%f] [%f]");
    double c[4] = {0.0, 0.0, 0.0, 1.0};
    for (std::size_t i = 0; i < read.size() && i < 4; ++i) {
        c[i] = static_cast<double>(static_cast<float>(scanValueAsDouble(read[i])));
    }
    if (c[3] < 0) {
        platform::log(QString::asprintf("my Get color= %s %3.2f %3.2f %3.2f %3.2f",
                                        qUtf8Printable(keyForLog), c[0], c[1], c[2], c[3]));
    }
    return QColor::fromRgbF(
        static_cast<float>(unit(c[0], 0.0)), static_cast<float>(unit(c[1], 0.0)),
        static_cast<float>(unit(c[2], 0.0)), static_cast<float>(unit(c[3], 1.0)));
}

QColor myGetColorFromDefaults(const QString& key, const QColor& defaultColor) {
    const std::optional<QString> text = PreferenceDomain::store().stringValue(key);
    if (!text) {
        return defaultColor;
    }
    return colorFromText(*text, key);
}

}  // namespace talvor::TalvorProColor
