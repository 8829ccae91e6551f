#pragma once

// A light desktop for tests of windows that read the appearance: fake portal and setter.
#include "services/AppleInterfaceStyle.h"
#include "support/FakeSystemEvents.h"

#include <memory>

namespace talvor::test {

// Makes the appearance service over a light fake desktop and installs it as the shared one;
// the caller keeps it and calls AppearanceService::setShared(nullptr) before letting it go.
inline std::unique_ptr<AppearanceService> installLightAppearance() {
    auto service = std::make_unique<AppearanceService>(
        std::make_unique<FakeAppearanceSource>(false), std::make_unique<FakeAppearanceSetter>());
    AppearanceService::setShared(service.get());
    return service;
}

}  // namespace talvor::test
