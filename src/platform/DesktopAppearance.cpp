#include "DesktopAppearance.h"

#include "Log.h"
#include "SystemServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace talvor::platform {
namespace {

class UnknownAppearance : public AppearanceSource {
  public:
    std::optional<bool> isDark() override { return std::nullopt; }
    void setChangeHandler(ChangeHandler) override {}
};

class FixedAppearance : public AppearanceSetter {
  public:
    bool setDark(bool) override {
        if (!told_) {
            told_ = true;
            log(QStringLiteral("Appearance: no desktop service; light/dark is not switched"));
        }
        return false;
    }

  private:
    bool told_ = false;
};

QString rememberedPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/talvor/desktop-appearance");
}

const QByteArray kDark = QByteArrayLiteral("dark\n");
const QByteArray kLight = QByteArrayLiteral("light\n");

}  // namespace

std::optional<bool> RememberedAppearance::dark() {
    QFile file(rememberedPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray text = file.read(16);
    if (text == kDark || text == kLight) {
        return text == kDark;
    }
    return std::nullopt;  // anything else is no memory at all
}

void RememberedAppearance::remember(bool dark) {
    // A hint, written in place without a sync: a torn write reads as no memory at all.
    const QString path = rememberedPath();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(dark ? kDark : kLight) < 0) {
        debugLog(QStringLiteral("Appearance: cannot remember the desktop's look in %1").arg(path));
    }
}

AppearanceSource::~AppearanceSource() = default;
AppearanceSetter::~AppearanceSetter() = default;

std::unique_ptr<AppearanceSource> AppearanceSource::createSystemSource() {
    if (const auto& make = systemServices().appearanceSource) {
        if (std::unique_ptr<AppearanceSource> source = make()) {
            return source;
        }
    } else {
        log(
            QStringLiteral("Appearance: no desktop service; the light/dark setting is not known; "
                           "taken as light"));
    }
    return std::make_unique<UnknownAppearance>();
}

std::unique_ptr<AppearanceSetter> AppearanceSetter::createSystemSetter() {
    if (const auto& make = systemServices().appearanceSetter) {
        if (std::unique_ptr<AppearanceSetter> setter = make()) {
            return setter;
        }
    }
    return std::make_unique<FixedAppearance>();
}

}  // namespace talvor::platform
