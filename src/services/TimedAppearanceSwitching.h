#pragma once

#include "AppleInterfaceStyle.h"
#include "platform/Date.h"

#include <QTimeZone>

#include <optional>

namespace talvor {

// Step 1 of the one-second tick: switches light/dark by the mode of "AppearanceSwitch"
// ("Custom": two times of day; "SunSetRise": sunrise and sunset at the stored position;
// "Manual": nothing; anything else is stored as "Off"). Requests go through
// ChangeAppearance, which switches only on a change.
namespace TimedAppearanceSwitching {

// What the mode asks for at `now`, without switching; nullopt for "Manual", "Off", any
// other value, or "SunSetRise" without a position (0, 0).
std::optional<AppleInterfaceStyle> wantedAppearance(Date now, const QTimeZone& zone);

// The tick's step: rewrites an unknown mode as "Off", then asks for what the mode wants.
void tick(Date now, const QTimeZone& zone);

// The times of day that start the light and the dark appearance in the custom mode: light
// after L and before D (when D is later than L), dark otherwise; with L at or after D the
// other way round, and L equal to D is always light.
AppleInterfaceStyle customAppearance(int nowSeconds, int lightSeconds, int darkSeconds);

// Light between sunrise and sunset; a polar day is light and a polar night dark.
AppleInterfaceStyle sunAppearance(Date now, const QTimeZone& zone, double latitude,
                                  double longitude);

}  // namespace TimedAppearanceSwitching
}  // namespace talvor
