#include "DesktopAppearance.h"

#include "Log.h"
#include "SystemServices.h"

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

}  // namespace

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
