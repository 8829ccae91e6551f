#include "IXSCNotificationCenter.h"

#include "foundation/NetworkMonitor.h"
#include "platform/Log.h"

#include <stdexcept>

namespace talvor {

IXSCNotificationCenter::IXSCNotificationCenter(
    const QString& pattern, std::unique_ptr<platform::InterfaceChangeSource> source,
    platform::NotificationCenter& localCenter)
    : source_(source ? std::move(source) : platform::InterfaceChangeSource::createSystemSource()) {
    setupKeyList(pattern);
    source_->setChangeHandler([this](const QStringList& keys) { keysChanged(keys); });
    // The kernel reports addresses, not reachability: when that changes, every watched key
    // that exists may read differently.
    reachability_ = localCenter.addObserver(
        NetworkMonitorStatusChanged, QVariant(),
        [this](const platform::Notification&) { keysChanged(source_->currentKeys()); });
}

IXSCNotificationCenter::~IXSCNotificationCenter() {
    source_->setChangeHandler({});
}

void IXSCNotificationCenter::addObserver(const void* observer,
                                         IXSCNotificationObserver::Selector selector,
                                         const QString& name) {
    if (observer == nullptr) {
        throw std::invalid_argument("Observer cannot be nil");
    }
    const QString key = name.isNull() ? IXSCNotificationCenterAnyNotification : name;
    observersForKeys_[key].push_back(
        IXSCNotificationObserver::notificationObserverWithObject(observer, std::move(selector)));
}

void IXSCNotificationCenter::removeObserver(const void* observer) {
    for (auto& list : observersForKeys_) {
        std::erase_if(
            list, [observer](const IXSCNotificationObserver& o) { return o.observer == observer; });
    }
}

void IXSCNotificationCenter::postNotification(const QString& name) {
    if (name.isNull()) {
        throw std::invalid_argument("Notification name cannot be nil");
    }
    const platform::Notification note{name, QVariant(), QVariantMap()};
    // Copies: an observer may register or leave while being told.
    std::vector<IXSCNotificationObserver> targets =
        observersForKeys_.value(IXSCNotificationCenterAnyNotification);
    if (name != IXSCNotificationCenterAnyNotification) {
        const auto named = observersForKeys_.value(name);
        targets.insert(targets.end(), named.begin(), named.end());
    }
    for (const IXSCNotificationObserver& o : targets) {
        o.notify(note);
    }
}

void IXSCNotificationCenter::setupKeyList(const QString& pattern) {
    pattern_ = pattern;
    regex_ = QRegularExpression(QRegularExpression::anchoredPattern(pattern));
    if (myDebug != 0) {
        QStringList matching;
        for (const QString& key : source_->currentKeys()) {
            if (regex_.match(key).hasMatch()) {
                matching.append(key);
            }
        }
        platform::log(QStringLiteral("%1 = %2").arg(pattern, matching.join(QStringLiteral(", "))));
    }
}

void IXSCNotificationCenter::keysChanged(const QStringList& keys) {
    for (const QString& key : keys) {
        if (regex_.match(key).hasMatch()) {
            postNotification(key);
        }
    }
}

}  // namespace talvor
