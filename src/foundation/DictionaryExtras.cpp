#include "DictionaryExtras.h"

#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>

namespace talvor::DictionaryExtras {

std::optional<QVariantMap> dictionaryWithContentsOfURLUnzipped(const QUrl& url) {
    if (!url.isLocalFile()) {
        platform::log(QStringLiteral("Not a file URL: %1").arg(url.toString()));
        return std::nullopt;
    }
    const platform::BoundedRead read =
        platform::readRegularFile(url.toLocalFile(), platform::kSettingsFileCap);
    if (!read.bytes) {
        // Other refusals are logged by the reader.
        if (read.refusal == platform::ReadRefusal::Missing) {
            platform::log(QStringLiteral("%1: %2").arg(url.toLocalFile(), read.reason));
        }
        return std::nullopt;
    }
    const std::optional<QVariant> value = platform::PropertyList::parse(*read.bytes);
    if (!value || value->typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return value->toMap();
}

}  // namespace talvor::DictionaryExtras
