#pragma once

#include "foundation/NetworkMonitor.h"
#include "platform/NotificationCenter.h"

#include <QPushButton>

namespace talvor {

// A button that is enabled only while its owner wants it enabled and the network is online;
// it follows the monitor without being asked again.
class NetworkButton : public QPushButton {
    Q_OBJECT
  public:
    explicit NetworkButton(
        const QString& text = QString(), QWidget* parent = nullptr,
        NetworkMonitor* monitor = nullptr,
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    // The state the owner asks for; the button shows it only while online. (Hides
    // QWidget::setEnabled: call it on a NetworkButton.)
    void setEnabled(bool enabled);
    bool otherEnabled() const { return otherEnabled_; }

    void networkStatusChanged();

  private:
    void initNetworkButton(platform::NotificationCenter& center);
    NetworkMonitor& monitor() const;

    NetworkMonitor* monitor_;
    bool otherEnabled_ = true;
    platform::Observation observation_;
};

}  // namespace talvor
