#include "SettingsScene.h"

#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "shell/SettingsWindowHost.h"

#include <QDesktopServices>

namespace talvor::shot {

namespace {

// The picture needs no calendar, alarm editor or browser.
class StillDelegate : public SettingsWindowHostDelegate {
  public:
    void SetAlarmPrefSetControllerDelegate(AlarmEditor*) override {}
    QWidget* minnowCalendarWindow() override { return nullptr; }
    void openURL(const QUrl&) override {}
};

}  // namespace

struct SettingsScene::Parts {
    platform::MemoryPreferenceStore store;
    platform::UserDefaults defaults{store};
    StillDelegate delegate;
    std::unique_ptr<SettingsWindowHost> host;
};

SettingsScene::SettingsScene(PaneTag tag) : parts_(std::make_unique<Parts>()) {
    platform::UserDefaults::setStandard(&parts_->defaults);
    parts_->host = std::make_unique<SettingsWindowHost>(parts_->delegate, PaneFactory::standard());
    parts_->host->doOnMain(tag);
}

SettingsScene::~SettingsScene() {
    parts_->host.reset();
    platform::UserDefaults::setStandard(nullptr);
}

SettingsWindowHost& SettingsScene::host() {
    return *parts_->host;
}

QWidget& SettingsScene::window() {
    return *parts_->host->window();
}

}  // namespace talvor::shot
