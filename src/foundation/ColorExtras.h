#pragma once

#include "platform/UserDefaults.h"

#include <QByteArray>
#include <QColor>

#include <optional>

namespace talvor {

// Colours as archived data.
namespace ColorExtras {

// The colour as a keyed archive (RGB components and alpha); empty for an invalid colour.
QByteArray asData(const QColor& color);
// The colour archived in `data`; nullopt when the data holds none.
std::optional<QColor> color(const QByteArray& data);

}  // namespace ColorExtras

// Colours kept in the user defaults as archived data.
namespace UserDefaultsExtras {

// The colour stored under the key; nullopt when absent or not a colour archive.
std::optional<QColor> colorForKey(const platform::UserDefaults& defaults, const QString& key);
// Stores the colour's archive under the key; an invalid colour removes the key.
void setColor(platform::UserDefaults& defaults, const QColor& color, const QString& key);

}  // namespace UserDefaultsExtras
}  // namespace talvor
