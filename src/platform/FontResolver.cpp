#include "FontResolver.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <array>
#include <atomic>

namespace talvor::platform {
namespace {

std::atomic<const FontResolver*> gShared{nullptr};

bool haveFontDatabase() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

FontResolver::~FontResolver() = default;

const FontResolver& FontResolver::shared() {
    if (const FontResolver* r = gShared.load()) {
        return *r;
    }
    static const QtFontResolver system;
    return system;
}

void FontResolver::setShared(const FontResolver* resolver) {
    gShared.store(resolver);
}

std::optional<QFont> QtFontResolver::fontNamed(const QString& family, double pointSize) const {
    if (family.isEmpty() || !haveFontDatabase() || !QFontDatabase::hasFamily(family)) {
        return std::nullopt;
    }
    QFont font(family);
    font.setPointSizeF(pointSize);
    return font;
}

std::optional<QFont> QtFontResolver::titleBarFont(double pointSize) const {
    if (!haveFontDatabase()) {
        return std::nullopt;
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    if (font.family().isEmpty()) {
        return std::nullopt;
    }
    font.setPointSizeF(pointSize);
    return font;
}

int fontTraitMask(const QFont& font) {
    int mask = 0;
    if (font.italic()) {
        mask |= 1;
    }
    if (font.weight() >= QFont::DemiBold) {
        mask |= 2;
    }
    return mask;
}

int fontManagerWeight(const QFont& font) {
    // CSS weights 100..900 against the font manager's scale.
    static constexpr std::array<int, 9> kScale = {2, 3, 4, 5, 6, 8, 9, 10, 11};
    const int w = std::clamp(static_cast<int>(font.weight()), 100, 900);
    return kScale[static_cast<std::size_t>((w + 50) / 100 - 1)];
}

}  // namespace talvor::platform
