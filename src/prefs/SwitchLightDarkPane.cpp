#include "SwitchLightDarkPane.h"

namespace talvor {

SwitchLightDarkPane::SwitchLightDarkPane(QString nibName, SwitchLightDarkDelegate delegate)
    : PreferencePane(QStringLiteral("SwitchLightDarkVC"), std::move(nibName),
                     QStringLiteral("Light/Dark Mode")),
      delegate_(std::move(delegate)) {}

SwitchLightDarkVC* SwitchLightDarkPane::controller() const {
    return qobject_cast<SwitchLightDarkVC*>(viewIfLoaded());
}

std::unique_ptr<QWidget> SwitchLightDarkPane::loadView() {
    return std::make_unique<SwitchLightDarkVC>(delegate_);
}

}  // namespace talvor
