#include "TalvorNotifySleepNetwork.h"

#include "ServicesKeys.h"
#include "foundation/StringsBundle.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/BoundedFile.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QFile>

namespace talvor {
namespace {

const QString kSleepFile = QStringLiteral("SleepAlertDict.plist");
const QString kNetworkFile = QStringLiteral("NetworkAlertDict.plist");
const QString kNetworkLostFile = QStringLiteral("NetworkLostAlertDict.plist");

QString localized(const QString& text) {
    return StringsBundle::mainBundle()
        .localizedString(text, keys::LocalizableMETalvor2)
        .value_or(text);
}

struct Row {
    qint64 tag;
    const char* present;
    const char* absent;
};
constexpr Row kRows[] = {
    {TalvorNotifySleepNetwork::kWakeFromSleepTag, "Cancel Wake from Sleep",
     "Notify on Wake from Sleep"},
    {TalvorNotifySleepNetwork::kNetworkChangeTag, "Cancel Network Change",
     "Notify on Network Change"},
    {TalvorNotifySleepNetwork::kNetworkLostTag, "Cancel Network Lost Change",
     "Notify on Network Lost Change"},
};

std::optional<QVariantMap> readDictionary(const QString& path) {
    const platform::BoundedRead read = platform::readRegularFile(path, platform::kSmallFileCap);
    if (!read.bytes) {
        return std::nullopt;
    }
    const std::optional<QVariant> value = platform::PropertyList::parse(*read.bytes);
    if (!value || value->typeId() != QMetaType::QVariantMap) {
        return std::nullopt;
    }
    return value->toMap();
}

}  // namespace

std::shared_ptr<TalvorNotifySleepNetwork> TalvorNotifySleepNetwork::create(
    std::shared_ptr<platform::Menu> menu, const QString& supportFolder) {
    auto self = std::make_shared<TalvorNotifySleepNetwork>(
        Key{}, std::move(menu),
        supportFolder.isEmpty() ? TalvorFilePaths::vltGetUsersTalvorProSupportDir()
                                : supportFolder);
    self->readSleepNetwork();
    return self;
}

TalvorNotifySleepNetwork::TalvorNotifySleepNetwork(Key, std::shared_ptr<platform::Menu> menu,
                                                   QString supportFolder)
    : menu_(std::move(menu)), folder_(std::move(supportFolder)) {}

void TalvorNotifySleepNetwork::readSleepNetwork() {
    platform::debugLog(QStringLiteral("entering readSleepNetwork"));
    sleep_ = readDictionary(folder_ + QLatin1Char('/') + kSleepFile);
    network_ = readDictionary(folder_ + QLatin1Char('/') + kNetworkFile);
    networkLost_ = readDictionary(folder_ + QLatin1Char('/') + kNetworkLostFile);
    notifySleepNetUpateMenu();
}

void TalvorNotifySleepNetwork::notifySleepNetUpateMenu() {
    if (!menu_) {
        return;
    }
    const bool present[] = {sleep_.has_value(), network_.has_value(), networkLost_.has_value()};
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        if (platform::MenuItem* item = menu_->itemWithTag(kRows[i].tag)) {
            item->setTitle(
                localized(QString::fromUtf8(present[i] ? kRows[i].present : kRows[i].absent)));
        }
    }
}

void TalvorNotifySleepNetwork::makeMenuItems() {
    if (!menu_) {
        return;
    }
    menu_->addItem(platform::MenuItem::separatorItem());
    std::weak_ptr<TalvorNotifySleepNetwork> weak = weak_from_this();
    auto item =
        menu_->addItemWithTitle(QStringLiteral("updating"), [weak](platform::MenuItem& sender) {
            if (auto self = weak.lock()) {
                self->menuWakeFromSleepWarnMeCancel(sender);
            }
        });
    item->setTag(kWakeFromSleepTag);
    notifySleepNetUpateMenu();
}

void TalvorNotifySleepNetwork::cancel(std::optional<QVariantMap>& dict, const QString& fileName,
                                      const QString& absentTitle, platform::MenuItem& sender) {
    if (!dict) {
        return;
    }
    dict.reset();
    sender.setTitle(localized(absentTitle));
    QFile file(folder_ + QLatin1Char('/') + fileName);
    if (!file.remove()) {
        platform::log(QStringLiteral("error %1").arg(file.errorString()));
    }
}

void TalvorNotifySleepNetwork::menuWakeFromSleepWarnMeCancel(platform::MenuItem& sender) {
    cancel(sleep_, kSleepFile, QString::fromUtf8(kRows[0].absent), sender);
}

void TalvorNotifySleepNetwork::menuNetworkWarnMeCancel(platform::MenuItem& sender) {
    cancel(network_, kNetworkFile, QString::fromUtf8(kRows[1].absent), sender);
}

void TalvorNotifySleepNetwork::menuNetworkLostWarnMeCancel(platform::MenuItem& sender) {
    cancel(networkLost_, kNetworkLostFile, QString::fromUtf8(kRows[2].absent), sender);
}

}  // namespace talvor
