#include "FontResolver.h"

#include "SharedInstance.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <QHash>
#include <QPointer>

#include <array>
#include <mutex>

namespace talvor::platform {
namespace {

bool haveFontDatabase() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// Asking the font database for a family makes fontconfig resolve the name and lists every
// family, each time: start-up alone asks for a dozen fonts. The answers hold until the
// application's fonts change (or another application object is made).
class FontAnswers {
  public:
    static FontAnswers& shared() {
        static FontAnswers answers;
        return answers;
    }

    bool hasFamily(const QString& family) {
        std::lock_guard lock(mutex_);
        refreshLocked();
        const auto known = families_.constFind(family);
        if (known != families_.constEnd()) {
            return *known;
        }
        const bool has = QFontDatabase::hasFamily(family);
        families_.insert(family, has);
        return has;
    }

    QFont titleFont() {
        std::lock_guard lock(mutex_);
        refreshLocked();
        if (!titleFont_) {
            titleFont_ = QFontDatabase::systemFont(QFontDatabase::TitleFont);
        }
        return *titleFont_;
    }

  private:
    void refreshLocked() {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == application_) {
            return;
        }
        families_.clear();
        titleFont_.reset();
        application_ = app;
        QObject::connect(qGuiApp, &QGuiApplication::fontDatabaseChanged, qGuiApp, [this] {
            std::lock_guard lock(mutex_);
            families_.clear();
            titleFont_.reset();
        });
    }

    std::recursive_mutex mutex_;
    QPointer<QCoreApplication> application_;
    QHash<QString, bool> families_;
    std::optional<QFont> titleFont_;
};

}  // namespace

FontResolver::~FontResolver() = default;

const FontResolver& FontResolver::shared() {
    return SharedInstance<const FontResolver>::getOr([]() -> const FontResolver& {
        static const QtFontResolver system;
        return system;
    });
}

void FontResolver::setShared(const FontResolver* resolver) {
    SharedInstance<const FontResolver>::setStandIn(resolver);
}

std::optional<QFont> QtFontResolver::fontNamed(const QString& family, double pointSize) const {
    if (family.isEmpty() || !haveFontDatabase() || !FontAnswers::shared().hasFamily(family)) {
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
    QFont font = FontAnswers::shared().titleFont();
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
