#pragma once

#include <QString>

// Names the services room shares with the rooms above it.
namespace talvor::keys {

// The strings table of the spoken chime texts, the alert texts and the floating-clock menu.
inline const QString LocalizableMETalvor2 = QStringLiteral("LocalizableMETalvor2");

}  // namespace talvor::keys
