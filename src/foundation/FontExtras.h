#pragma once

#include <QByteArray>
#include <QFont>

#include <optional>

namespace talvor::FontExtras {

// The font as a keyed archive (family, point size, weight, italic); empty for a font with
// no family.
QByteArray asData(const QFont& font);
// The font archived in `data`; nullopt when the data holds none.
std::optional<QFont> font(const QByteArray& data);

}  // namespace talvor::FontExtras
