// The floating clocks' packed options on arbitrary text: reading never crashes, normalised
// values stay drawable, and what is read is written and read back the same.
#include "world/FloatingOptions.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    using talvor::FloatingOptions;
    FloatingOptions o = FloatingOptions::fromText(text);
    o.normalise();
    if (o.iFloaterColumns < 1 || !(o.fFloaterClockSize >= FloatingOptions::kMinClockSize) ||
        o.fFloaterClockSize > FloatingOptions::kMaxClockSize || !(o.fFloaterSpacing >= 0.0f) ||
        o.fFloaterSpacing > FloatingOptions::kMaxSpacing || !(o.fFloaterTransparency >= 0.1f) ||
        o.fFloaterTransparency > 1.0f) {
        std::abort();
    }
    if (o.iFloaterColumns < 1000000) {
        const QString written = o.format();
        if (FloatingOptions::fromText(written).format() != written) {
            std::abort();
        }
    }
    return 0;
}
