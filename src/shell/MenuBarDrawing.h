#pragma once

#include "platform/AttributedString.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

namespace talvor {

namespace platform {
class UserDefaults;
}

// Colour components as the menu-bar checks see them: x 255.99998474121094, truncated.
struct Rgb8 {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb8&) const = default;
};
Rgb8 quantizedRgb(const QColor& color);
// red <= 33, green <= 36, blue <= 36 (the same test as red < 34, green < 37, blue < 37).
bool isNearBlack(const QColor& color);
bool isWhite(const QColor& color);

// The global "AppleInterfaceStyle" is a string equal to "dark" ignoring case.
bool isDarkAppearance(const platform::UserDefaults& defaults);

// A colour as the user picked it. QColor keeps no colour-space name, so a named system
// colour is carried beside it by name ("controlColor", "windowBackgroundColor"); colours
// read from the settings models are plain RGB and have no name, so for them the clear-colour
// branch of the table never applies.
struct MenuBarColor {
    QColor color;
    QString name;
};

enum class MenuBarItemKind { Time, Date };

struct MenuBarItemAttributes {
    platform::TextAttributes light;
    platform::TextAttributes dark;
};

// Both attribute sets of one item from the colour of the current appearance.
MenuBarItemAttributes menuBarItemAttributes(MenuBarItemKind kind, const MenuBarColor& color,
                                            const QFont& font, bool dropShadow);

// Degrees counter-clockwise from the positive x axis (90 points at 12).
struct ClockHandAngles {
    double minute = 0;
    double hour = 0;
};
ClockHandAngles clockHandAngles(int hour, int minute, int second);

// The bar's clock face, drawn by us: a light disc with a dark rim and twelve ticks.
inline constexpr double kClockIconSize = 16.0;
QImage drawClockBase(double size = kClockIconSize, double devicePixelRatio = 2.0);
// The face with the hands for that time; a null face gives a null image.
QImage drawAnalogClockIcon(const QImage& face, int hour, int minute, int second);

// The date button's frame in its view: beside the moon (its width + 2) or 8 points left of
// the origin, 4 above the item, ceil(width) + 8 wide and 30 taller than the item.
QRectF dateButtonFrame(double moonWidth, float textWidth, const QRectF& itemRect);

}  // namespace talvor
