// The property-list reader on arbitrary bytes (binary lists through the kit's bounded
// reader, XML through libplist after the bounds scan): it never crashes, whatever it
// accepts can be written in both forms and read back, and under an entry limit it reads the
// same documents, or refuses them for a container beyond the limit.
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
    constexpr qint64 kLimit = 4;
    PropertyList::Refusal refusal;
    const std::optional<QVariant> limited = PropertyList::parse(bytes, {kLimit}, &refusal);
    if (limited ? !value : value && !(refusal.entries && *refusal.entries > kLimit)) {
        std::abort();
    }
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
