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

void FloatingOptions::scan(const QString& floatingStates) {
    static const QByteArray format = packedScanFormat();
    const std::vector<ScanValue> read = scanFormat(floatingStates, format.constData());
    for (std::size_t i = 0; i < std::size(kFields) && i < read.size(); ++i) {
        if (const auto* n = std::get_if<int O::*>(&kFields[i])) {
            this->*(*n) = asInt(read[i]);
        } else {
            this->*std::get<float O::*>(kFields[i]) = asFloat(read[i]);
        }
    }
    // Stored as the count minus one; the default -1 becomes 0 here and 10 when normalised.
    if (iFloaterColumns != std::numeric_limits<int>::max()) {
        iFloaterColumns += 1;
    }
    ShowSeconds = 1;
}

QString FloatingOptions::format() const {
    FloatingOptions stored = *this;
    stored.iFloaterColumns -= 1;
    QString text = QStringLiteral("Floating:");
    for (const Field& field : kFields) {
        if (const auto* n = std::get_if<int O::*>(&field)) {
            text += QStringLiteral(" %1").arg(stored.*(*n));
        } else {
            text += QString::asprintf(" %3.3f",
                                      static_cast<double>(stored.*std::get<float O::*>(field)));
        }
    }
    return text;
}

void FloatingOptions::normalise() {
    if (iFloaterColumns < 1) {
        iFloaterColumns = 10;
    }
    if (faceType < 0) {
        faceType = kFlagFace;
    }
    // Written as "not at least" so that a NaN counts as missing.
    if (!(fFloaterSpacing >= 0.0f)) {
        fFloaterSpacing = 2.0f;
    }
    fFloaterSpacing = std::min(fFloaterSpacing, kMaxSpacing);
    if (!(fFloaterTransparency >= 0.0f)) {
        fFloaterTransparency = 1.0f;
    }
    fFloaterTransparency = std::min(fFloaterTransparency, 1.0f);
    if (!(fFloaterClockSize >= 16.0f)) {
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
