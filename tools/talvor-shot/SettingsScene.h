#pragma once

#include "shell/SettingsWindowHost.h"

#include <QWidget>

#include <memory>

namespace talvor::shot {

// The settings window showing the pane of one sidebar choice, over settings of its own: the
// user's settings are neither read nor written.
class SettingsScene {
  public:
    explicit SettingsScene(PaneTag tag);
    ~SettingsScene();
    QWidget& window();
    SettingsWindowHost& host();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace talvor::shot
