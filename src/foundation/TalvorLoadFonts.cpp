#include "TalvorLoadFonts.h"

#include "PreferenceDomain.h"
#include "ScanFormat.h"
#include "platform/FontResolver.h"
#include "platform/Log.h"

#include <cmath>

namespace talvor::TalvorLoadFonts {
namespace {

const QString kTraits = QStringLiteral("Traits");
const QString kName = QStringLiteral("Name");
// Beyond this a stored size is a damaged value, not a font.
constexpr float kMaxFontSize = 512.0f;

double pointSizeOf(const QFont& font) {
    if (font.pointSizeF() > 0) {
        return font.pointSizeF();
    }
    return font.pixelSize() > 0 ? font.pixelSize() : 12.0;
}

// The named font, else the title-bar font of that size.
std::optional<QFont> resolvedFont(const QString& name, float size) {
    const platform::FontResolver& fonts = platform::FontResolver::shared();
    std::optional<QFont> font = fonts.fontNamed(name, size);
    return font ? font : fonts.titleBarFont(size);
}

}  // namespace

void TalvorSaveFont(const QString& key, const std::optional<QFont>& aFont) {
    if (!aFont) {
        platform::log(QStringLiteral("Save font nil = %1").arg(key));
        return;
    }
    const QString traits =
        QString::asprintf("Size: %3.3f Trait:%d Weight:%d", pointSizeOf(*aFont),
                          platform::fontTraitMask(*aFont), platform::fontManagerWeight(*aFont));
    const QString name = aFont->family();
    platform::PreferenceStore& store = PreferenceDomain::store();
    store.setValue(key + kTraits, QVariant(traits));
    store.setValue(key + kName, QVariant(name));
    platform::debugLog(QStringLiteral("Save: %1 = %2 - %3").arg(key, name, traits));
}

bool TalvorScanFontTraits(const QString& traits, float* fontSize) {
    *fontSize = 10.0f;
    if (!traits.startsWith(QLatin1String("Size: "))) {
        return false;
    }
    const std::vector<ScanValue> read = scanFormat(traits.mid(6), "%f");
    if (read.empty()) {
        return false;
    }
    *fontSize = static_cast<float>(scanValueAsDouble(read.front()));
    return true;
}

std::optional<QFont> TalvorLoadFont(const QString& key, float defaultSize,
                                    const QString& defaultName) {
    platform::PreferenceStore& store = PreferenceDomain::store();
    const std::optional<QString> traits = store.stringValue(key + kTraits);
    const std::optional<QString> storedName = store.stringValue(key + kName);

    float size = defaultSize;
    if (traits) {
        TalvorScanFontTraits(*traits, &size);
    }
    // NaN compares false with everything: treat it as too small.
    if (!(size >= 2.0f)) {
        size = defaultSize;
    }
    if (!(size >= 2.0f)) {
        size = 2.0f;
    }
    size = std::min(size, kMaxFontSize);

    QString name = storedName.value_or(defaultName);
    if (name.isNull()) {
        name = QStringLiteral("ComicSansMS");
    }

    std::optional<QFont> font = resolvedFont(name, size);
    if (!font) {
        platform::log(QString::asprintf("error font nil = key: %s - %s %f", qUtf8Printable(key),
                                        qUtf8Printable(name), static_cast<double>(size)));
        return std::nullopt;
    }
    platform::debugLog(QString::asprintf("Loaded: %s %s = %s - %f",
                                         qUtf8Printable(font->toString()), qUtf8Printable(key),
                                         qUtf8Printable(name), static_cast<double>(size)));
    return font;
}

QFont TalvorDefaultFont(float size, const QString& name) {
    const std::optional<QFont> font = resolvedFont(name, size);
    if (!font) {
        QFont described(name);
        described.setPointSizeF(size);
        return described;
    }
    return *font;
}

std::optional<QFont> TalvorLoadCopyFont(const QString& key, float defaultSize,
                                        const QString& defaultName) {
    return TalvorLoadFont(key, defaultSize, defaultName);
}

}  // namespace talvor::TalvorLoadFonts
