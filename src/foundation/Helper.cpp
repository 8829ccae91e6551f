#include "Helper.h"

#include "NetworkMonitor.h"

#include <algorithm>
#include <cstdint>

namespace talvor {

bool Helper::isInternetConnection() {
    return isInternetConnection(platform::RouteReachabilityProbe());
}

bool Helper::isInternetConnection(const platform::ReachabilityProbe& probe) {
    const std::optional<std::uint32_t> flags = probe.flags();
    return flags && NetworkMonitor::flagsAreOnline(*flags);
}

QColor Helper::colorWithHexColorString(const QString& string) {
    qsizetype i = 0;
    while (i < string.size() && string.at(i).isSpace()) {
        ++i;
    }
    if (string.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        i += 2;
    } else if (string.mid(i, 1) == QLatin1String("#")) {
        i += 1;
    }
    std::uint64_t value = 0;
    bool any = false;
    for (; i < string.size(); ++i) {
        const char16_t c = string.at(i).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            break;
        }
        value =
            std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(digit), 0xFFFFFFFFull);
        any = true;
    }
    if (!any) {
        return QColor::fromRgbF(0, 0, 0, 1);
    }
    const auto rgb = static_cast<std::uint32_t>(value);
    return QColor::fromRgbF(((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f,
                            (rgb & 0xFF) / 255.0f, 1.0f);
}

}  // namespace talvor
