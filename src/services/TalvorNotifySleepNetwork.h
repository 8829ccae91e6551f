#pragma once

#include "platform/Menu.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace talvor {

// Keeps the three warn-me items of a menu (wake from sleep, network change, network lost) in
// step with the alert dictionaries in the per-user data folder: an item offers to cancel
// while its dictionary exists.
class TalvorNotifySleepNetwork : public std::enable_shared_from_this<TalvorNotifySleepNetwork> {
    struct Key {};

  public:
    static constexpr qint64 kWakeFromSleepTag = -3;
    static constexpr qint64 kNetworkChangeTag = -4;
    static constexpr qint64 kNetworkLostTag = -5;

    // init: — keeps the menu (may be null), takes the folder (the per-user data folder unless
    // given) and reads the dictionaries.
    static std::shared_ptr<TalvorNotifySleepNetwork> create(
        std::shared_ptr<platform::Menu> menu, const QString& supportFolder = QString());
    TalvorNotifySleepNetwork(Key, std::shared_ptr<platform::Menu> menu, QString supportFolder);

    void readSleepNetwork();
    void notifySleepNetUpateMenu();
    // Appends a separator and the wake-from-sleep item (tag -3) to the menu.
    void makeMenuItems();

    void menuWakeFromSleepWarnMeCancel(platform::MenuItem& sender);
    void menuNetworkWarnMeCancel(platform::MenuItem& sender);
    void menuNetworkLostWarnMeCancel(platform::MenuItem& sender);

    const std::optional<QVariantMap>& SleepAlertDict() const { return sleep_; }
    const std::optional<QVariantMap>& NetworkAlertDict() const { return network_; }
    const std::optional<QVariantMap>& NetworkLostAlertDict() const { return networkLost_; }
    void setSleepAlertDict(std::optional<QVariantMap> d) { sleep_ = std::move(d); }
    void setNetworkAlertDict(std::optional<QVariantMap> d) { network_ = std::move(d); }
    void setNetworkLostAlertDict(std::optional<QVariantMap> d) { networkLost_ = std::move(d); }

    const QString& TalvorProSupportFolder() const { return folder_; }
    const std::shared_ptr<platform::Menu>& WarnMenu() const { return menu_; }

  private:
    void cancel(std::optional<QVariantMap>& dict, const QString& fileName,
                const QString& absentTitle, platform::MenuItem& sender);

    std::shared_ptr<platform::Menu> menu_;
    QString folder_;
    std::optional<QVariantMap> sleep_;
    std::optional<QVariantMap> network_;
    std::optional<QVariantMap> networkLost_;
};

}  // namespace talvor
