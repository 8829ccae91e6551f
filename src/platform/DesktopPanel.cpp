#include "DesktopPanel.h"

#include "Log.h"
#include "SystemServices.h"
#include "UserDefaults.h"

#include <QPointer>
#include <QTimer>

namespace talvor::platform {
namespace {

// Where nothing can show status items but our own strip.
class NoDesktopPanel : public DesktopPanel {
  public:
    void findHost(QObject* context, std::function<void(bool)> answer) override {
        sayOnce();
        QTimer::singleShot(0, context, [answer = std::move(answer)] { answer(false); });
    }
    std::unique_ptr<QObject> present(StatusBar&) override {
        sayOnce();
        return nullptr;
    }

  private:
    void sayOnce() {
        if (!said_) {
            said_ = true;
            log(QStringLiteral(
                "Desktop panel: no panel service here; the items show on the strip"));
        }
    }
    bool said_ = false;
};

DesktopPanel*& replacement() {
    static DesktopPanel* panel = nullptr;
    return panel;
}

}  // namespace

const QString StatusItemsPlaceKey = QStringLiteral("StatusItemsPlace");

std::optional<StatusItemsPlace> storedStatusItemsPlace() {
    const QString value = UserDefaults::standard().stringForKey(StatusItemsPlaceKey);
    if (value == QLatin1String("strip")) {
        return StatusItemsPlace::Strip;
    }
    if (value == QLatin1String("panel")) {
        return StatusItemsPlace::DesktopPanel;
    }
    return std::nullopt;
}

void storeStatusItemsPlace(StatusItemsPlace place) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setObject(
        place == StatusItemsPlace::Strip ? QStringLiteral("strip") : QStringLiteral("panel"),
        StatusItemsPlaceKey);
    defaults.synchronize();
}

StatusItemsPlace effectiveStatusItemsPlace(std::optional<StatusItemsPlace> chosen,
                                           bool hostPresent) {
    // A panel without a host would show nothing at all: the strip stands in.
    if (!hostPresent) {
        return StatusItemsPlace::Strip;
    }
    return chosen.value_or(StatusItemsPlace::DesktopPanel);
}

DesktopPanel::~DesktopPanel() = default;

DesktopPanel& DesktopPanel::shared() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    // Never destroyed: presenters made from it may outlive main's scope.
    static DesktopPanel* const panel = []() -> DesktopPanel* {
        if (const auto& make = systemServices().desktopPanel) {
            if (std::unique_ptr<DesktopPanel> made = make()) {
                return made.release();
            }
        }
        return new NoDesktopPanel;
    }();
    return *panel;
}

void DesktopPanel::setShared(DesktopPanel* panel) {
    replacement() = panel;
}

}  // namespace talvor::platform
