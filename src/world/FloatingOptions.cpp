#include "FloatingOptions.h"

#include "foundation/ScanFormat.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <variant>

namespace talvor {
namespace {

int asInt(const ScanValue& v) {
    if (const auto* n = std::get_if<std::int64_t>(&v)) {
        return static_cast<int>(std::clamp<std::int64_t>(*n, std::numeric_limits<int>::min(),
                                                         std::numeric_limits<int>::max()));
    }
    return 0;
}

float asFloat(const ScanValue& v) {
    return static_cast<float>(scanValueAsDouble(v));
}

}  // namespace

namespace {

// The packed text's fields in order: each an integer ("%d") or a real ("%f", written "%3.3f").
using Field = std::variant<int FloatingOptions::*, float FloatingOptions::*>;
using O = FloatingOptions;
const Field kFields[] = {
    &O::floatingOn,
    &O::iFloaterWinLayer,
    &O::bShowText,
    &O::bIncCountry,
    &O::hotKeyEnabled,
    &O::aDigital,
    &O::iFloaterColumns,
    &O::faceType,
    &O::fFloaterClockSize,
    &O::fFloaterSpacing,
    &O::fFloaterTransparency,
    &O::ShowAMPM,
    &O::ShowSeconds,
    &O::ShowDay,
    &O::ShowDate,
    &O::ShowDayForDigital,
    &O::ShowDateForDigital,
    &O::ShowYearForDigital,
    &O::ShowTimeWithClock,
    &O::ShowDateWithClock,
};

QByteArray packedScanFormat() {
    QByteArray f = "Floating:";
    for (const Field& field : kFields) {
        f += std::holds_alternative<int O::*>(field) ? " %d" : " %f";
    }
    return f;
}

}  // namespace

FloatingOptions FloatingOptions::fromText(const std::optional<QString>& floatingStates) {
    FloatingOptions o;
    if (floatingStates) {
        // The presets of the fields a short text may lack.
        o.floatingOn = 0;
        o.ShowAMPM = 1;
        o.ShowSeconds = 1;
        o.ShowDay = 1;
        o.ShowDate = 1;
        o.ShowDayForDigital = 0;
        o.ShowDateForDigital = 0;
        o.ShowYearForDigital = 1;
        o.ShowTimeWithClock = 1;
        o.ShowDateWithClock = 1;
        o.scan(*floatingStates);
    }
    return o;
}

FloatingOptions FloatingOptions::resetValues() {
    FloatingOptions o;
    o.iFloaterColumns = 11;
    o.faceType = 1;
    o.ShowDay = 0;
    return o;
}

QString FloatingOptions::resetText() {
    return resetValues().formatFields(18);
}

void FloatingOptions::scan(const QString& floatingStates) {
    static const QByteArray format = packedScanFormat();
    const std::vector<ScanValue> read = scanFormat(floatingStates, format.constData());
    // Stored as the count minus one.
    iFloaterColumns -= 1;
    for (std::size_t i = 0; i < std::size(kFields) && i < read.size(); ++i) {
        if (const auto* n = std::get_if<int O::*>(&kFields[i])) {
            this->*(*n) = asInt(read[i]);
        } else {
            this->*std::get<float O::*>(kFields[i]) = asFloat(read[i]);
        }
    }
    if (iFloaterColumns != std::numeric_limits<int>::max()) {
        iFloaterColumns += 1;
    }
}

QString FloatingOptions::format() const {
    return formatFields(static_cast<int>(std::size(kFields)));
}

QString FloatingOptions::formatFields(int count) const {
    FloatingOptions stored = *this;
    stored.iFloaterColumns -= 1;
    QString text = QStringLiteral("Floating:");
    for (int i = 0; i < count && i < static_cast<int>(std::size(kFields)); ++i) {
        const Field& field = kFields[i];
        if (const auto* n = std::get_if<int O::*>(&field)) {
            text += QStringLiteral(" %1").arg(stored.*(*n));
        } else {
            // By hand rather than "%3.3f": the C library would follow the locale's comma.
            text +=
                QLatin1Char(' ') +
                QString::number(static_cast<double>(stored.*std::get<float O::*>(field)), 'f', 3);
        }
    }
    return text;
}

void FloatingOptions::normalise() {
    if (iFloaterColumns < 1) {
        iFloaterColumns = FloatingOptions{}.iFloaterColumns;
    }
    if (faceType != kFlagFace && (faceType < 1 || faceType > kLastFace)) {
        faceType = kFlagFace;
    }
    // Written as "not at least" so that a NaN counts as missing.
    if (!(fFloaterSpacing >= 0.0f)) {
        fFloaterSpacing = 2.0f;
    }
    fFloaterSpacing = std::min(fFloaterSpacing, kMaxSpacing);
    if (!(fFloaterTransparency >= 0.1f)) {
        fFloaterTransparency = 0.75f;
    }
    fFloaterTransparency = std::min(fFloaterTransparency, 1.0f);
    if (!(fFloaterClockSize >= kMinClockSize)) {
        fFloaterClockSize = 48.0f;
    }
    fFloaterClockSize = std::min(fFloaterClockSize, kMaxClockSize);
    if (bShowText < 0) {
        bShowText = 1;
    }
    if (iFloaterWinLayer < 0 || iFloaterWinLayer > 2) {
        iFloaterWinLayer = 1;
    }
}

float FloatingOptions::spacingLimit(double screenWidth, int columnsIndex, float size) {
    // A row of n + 1 clocks has n gaps.
    const int gaps = std::max(0, columnsIndex);
    double w = screenWidth - static_cast<double>(gaps + 1) * static_cast<double>(size);
    if (gaps != 0) {
        w /= gaps;
    }
    if (!(w >= 100.0)) {
        return 100.0f;
    }
    return static_cast<float>(std::min(w, static_cast<double>(kMaxSpacing)));
}

int FloatingOptions::faceCodeForItem(int item) {
    if (item >= 1 && item <= kLastFace) {
        return item;
    }
    return kFlagFace;
}

int FloatingOptions::faceItemForCode(int code) {
    if (code >= 1 && code <= kLastFace) {
        return code;
    }
    return 0;
}

FloatingOptions::Layer FloatingOptions::layer() const {
    switch (iFloaterWinLayer) {
        case 0:
            return Layer::Desktop;
        case 2:
            return Layer::Above;
        default:
            return Layer::Normal;
    }
}

}  // namespace talvor
