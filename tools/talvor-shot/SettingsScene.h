#pragma once

#include <QWidget>

#include <memory>

namespace talvor {
class SettingsWindowHost;
}

namespace talvor::shot {

// The settings window showing the pane of one sidebar choice, over settings of its own: the
// user's settings are neither read nor written.
class SettingsScene {
  public:
    explicit SettingsScene(int tag);
    ~SettingsScene();
    QWidget& window();
    SettingsWindowHost& host();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace talvor::shot
