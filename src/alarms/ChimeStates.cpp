#include "ChimeStates.h"

#include "foundation/ScanFormat.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace talvor {
namespace {

constexpr const char* kFormat = "Chimes: %d %d %d %d %d %d %d %d";

int32_t toInt32(double v) {
    return static_cast<int32_t>(std::clamp<double>(v, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

}  // namespace

ChimeStates ChimeStates::parse(const QString& text) {
    ChimeStates s;
    int32_t* const fields[] = {&s.bSpeakHour,    &s.bPlayChimes, &s.bChimeOnlyOnce, &s.bChimeHour,
                               &s.bChimeQuarter, &s.bChimeHalf,  &s.bChime3Quarter, &s.OClockFlag};
    const std::vector<ScanValue> read = scanFormat(text, kFormat);
    for (std::size_t i = 0; i < read.size() && i < std::size(fields); ++i) {
        *fields[i] = toInt32(scanValueAsDouble(read[i]));
    }
    return s;
}

QString ChimeStates::format() const {
    return QString::asprintf(kFormat, bSpeakHour, bPlayChimes, bChimeOnlyOnce, bChimeHour,
                             bChimeQuarter, bChimeHalf, bChime3Quarter, OClockFlag);
}

}  // namespace talvor
