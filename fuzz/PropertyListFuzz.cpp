// The property-list reader on arbitrary bytes: it never crashes, and whatever it accepts
// can be written in both forms and read back.
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <cstdint>
#include <cstdlib>

namespace PropertyList = talvor::platform::PropertyList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Rejected input is logged; millions of runs would drown the fuzzer's own output.
    static const bool quiet = [] {
        talvor::platform::setLogSink([](const QString&) {});
        return true;
    }();
    (void)quiet;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QVariant> value = PropertyList::parse(bytes);
    if (!value) {
        return 0;
    }
    for (const PropertyList::Format format :
         {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        const std::optional<QByteArray> written = PropertyList::serialize(*value, format);
        if (!written || !PropertyList::parse(*written)) {
            std::abort();
        }
    }
    return 0;
}
