#include "NetworkButton.h"

namespace talvor {

NetworkButton::NetworkButton(const QString& text, QWidget* parent, NetworkMonitor* monitor,
                             platform::NotificationCenter& center)
    : QPushButton(text, parent), monitor_(monitor) {
    initNetworkButton(center);
}

void NetworkButton::initNetworkButton(platform::NotificationCenter& center) {
    otherEnabled_ = isEnabled();
    observation_ =
        center.addObserver(NetworkMonitorStatusChanged, QVariant(),
                           [this](const platform::Notification&) { networkStatusChanged(); });
    networkStatusChanged();
}

NetworkMonitor& NetworkButton::monitor() const {
    return monitor_ != nullptr ? *monitor_ : NetworkMonitor::sharedMonitor();
}

void NetworkButton::setEnabled(bool enabled) {
    otherEnabled_ = enabled;
    QPushButton::setEnabled(enabled && monitor().isOnline());
}

void NetworkButton::networkStatusChanged() {
    setEnabled(otherEnabled_);
}

}  // namespace talvor
