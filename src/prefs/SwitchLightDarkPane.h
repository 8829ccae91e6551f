#pragma once

#include "PreferencePane.h"
#include "services/SwitchLightDarkVC.h"

namespace talvor {

// The light/dark pane of the services room, shown in the settings window like any other pane.
class SwitchLightDarkPane : public PreferencePane {
    Q_OBJECT
  public:
    SwitchLightDarkPane(QString nibName, SwitchLightDarkDelegate delegate);

    // The pane's controller once its view is built.
    SwitchLightDarkVC* controller() const;

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    SwitchLightDarkDelegate delegate_;
};

}  // namespace talvor
