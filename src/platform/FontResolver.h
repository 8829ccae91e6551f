#pragma once

#include <QFont>
#include <QString>

#include <optional>

namespace talvor::platform {

// Finds fonts by family name, and the system's title-bar font.
class FontResolver {
  public:
    virtual ~FontResolver();
    // The font of that family at that point size, when the system knows the family.
    virtual std::optional<QFont> fontNamed(const QString& family, double pointSize) const = 0;
    // The title-bar font at that point size, when there is one.
    virtual std::optional<QFont> titleBarFont(double pointSize) const = 0;

    static const FontResolver& shared();
    // Replaces the shared resolver (tests); nullptr restores the system's.
    static void setShared(const FontResolver* resolver);
};

// The system's fonts, through Qt's font database (fontconfig); needs a GUI application.
class QtFontResolver : public FontResolver {
  public:
    std::optional<QFont> fontNamed(const QString& family, double pointSize) const override;
    std::optional<QFont> titleBarFont(double pointSize) const override;
};

// The font manager's view of a font: trait mask (italic 1, bold 2) and weight on the
// 0-15 scale (regular 5, bold 9).
int fontTraitMask(const QFont& font);
int fontManagerWeight(const QFont& font);

}  // namespace talvor::platform
