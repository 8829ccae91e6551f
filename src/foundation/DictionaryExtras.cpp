#include "DictionaryExtras.h"

#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>

namespace talvor::DictionaryExtras {

std::optional<QVariantMap> dictionaryWithContentsOfURLUnzipped(const QUrl& url) {
    if (!url.isLocalFile()) {
        platform::log(QStringLiteral("Not a file URL: %1").arg(url.toString()));
        return std::nullopt;
    }
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        platform::log(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
        return std::nullopt;
    }
    const std::optional<QVariant> value = platform::PropertyList::parse(file.readAll());
    if (!value || value->typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return value->toMap();
}

}  // namespace talvor::DictionaryExtras
