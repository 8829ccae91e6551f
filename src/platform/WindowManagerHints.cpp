#include "WindowManagerHints.h"

#include "SystemServices.h"

namespace talvor::platform {
namespace {

WindowManagerHints* gReplacement = nullptr;

class NoWindowManager : public WindowManagerHints {
  public:
    bool isAvailable() const override { return false; }
    bool setTopDock(WId, const QRect&) override { return false; }
    bool setSkipTaskbar(WId, bool, bool) override { return false; }
};

}  // namespace

WindowManagerHints::~WindowManagerHints() = default;

WindowManagerHints& WindowManagerHints::shared() {
    if (gReplacement != nullptr) {
        return *gReplacement;
    }
    static WindowManagerHints* real = []() -> WindowManagerHints* {
        if (const auto& make = systemServices().windowManagerHints) {
            if (std::unique_ptr<WindowManagerHints> hints = make()) {
                return hints.release();
            }
        }
        return new NoWindowManager();
    }();
    return *real;
}

void WindowManagerHints::setShared(WindowManagerHints* hints) {
    gReplacement = hints;
}

}  // namespace talvor::platform
