#pragma once

#include <QUrl>
#include <QVariantMap>

#include <optional>

namespace talvor::DictionaryExtras {

// dictionaryWithContentsOfURLUnzipped: -- the property-list dictionary in a local file
// (file: URLs only; nothing is decompressed, despite the name). A read error or another
// kind of URL is logged and gives nullopt, as does a file that holds no dictionary.
std::optional<QVariantMap> dictionaryWithContentsOfURLUnzipped(const QUrl& url);

}  // namespace talvor::DictionaryExtras
