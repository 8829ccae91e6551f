#pragma once

#include <QColor>
#include <QString>

namespace talvor::TalvorProColor {

// The colour as the text "[%f] [%f] [%f] [%f]" (red, green, blue, alpha, six decimals,
// a decimal point in any locale); empty for a colour with no RGB components.
QString colorText(const QColor& color);

// Writes the colour text under the key of the application domain, without synchronising.
// RGB colours are written with their own components, others (CMYK, HSV, HSL) converted to
// RGB first. An invalid colour writes nothing and keeps the key's previous value.
void saveColorToDefaults(const QColor& color, const QString& prefKey);

// The colour stored under the key, or `defaultColor` itself when the key is absent or does
// not hold text. Missing components read as 0 (alpha as 1); components are kept in 0...1.
QColor myGetColorFromDefaults(const QString& key, const QColor& defaultColor);

// The colour that the text describes, as read by myGetColorFromDefaults.
QColor colorFromText(const QString& text, const QString& keyForLog = QString());

}  // namespace talvor::TalvorProColor
