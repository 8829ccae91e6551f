#include "FloatingOptions.h"

#include "foundation/ScanFormat.h"

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

void FloatingOptions::scan(const QString& floatingStates) {
    int* const ints[] = {&floatingOn,    &iFloaterWinLayer, &bShowText,       &bIncCountry,
                         &hotKeyEnabled, &aDigital,         &iFloaterColumns, &faceType};
    float* const reals[] = {&fFloaterClockSize, &fFloaterSpacing, &fFloaterTransparency};
    int* const tail[] = {&ShowAMPM,           &ShowSeconds,       &ShowDay,
                         &ShowDate,           &ShowDayForDigital, &ShowDateForDigital,
                         &ShowYearForDigital, &ShowTimeWithClock, &ShowDateWithClock};

    const std::vector<ScanValue> read = scanFormat(floatingStates, kScanFormat);
    std::size_t i = 0;
    for (int* field : ints) {
        if (i < read.size()) {
            *field = asInt(read[i++]);
        }
    }
    for (float* field : reals) {
        if (i < read.size()) {
            *field = asFloat(read[i++]);
        }
    }
    for (int* field : tail) {
        if (i < read.size()) {
            *field = asInt(read[i++]);
        }
    }
    // Stored as the count minus one; the default -1 becomes 0 here and 10 when normalised.
    if (iFloaterColumns != std::numeric_limits<int>::max()) {
        iFloaterColumns += 1;
    }
    ShowSeconds = 1;
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
