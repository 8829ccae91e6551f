#pragma once

#include "SystemEventNames.h"
#include "platform/InterfaceWatcher.h"
#include "platform/NotificationCenter.h"

#include <QHash>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace talvor {

// One registration: the observer (identity only) and what to call on it.
struct IXSCNotificationObserver {
    using Selector = std::function<void(const platform::Notification&)>;
    const void* observer = nullptr;
    Selector selector;

    static IXSCNotificationObserver notificationObserverWithObject(const void* observer,
                                                                   Selector selector) {
        return {observer, std::move(selector)};
    }
    void notify(const platform::Notification& note) const { selector(note); }
};

// Tells observers, by key name, when network-interface keys change: addresses and links from
// the kernel, and every watched key again when the network's reachability changes. Main
// thread only.
class IXSCNotificationCenter {
  public:
    // initWithPattern: watches the keys that match `pattern` as a whole. No source: the
    // kernel's.
    explicit IXSCNotificationCenter(
        const QString& pattern = kIXSCDefaultPattern,
        std::unique_ptr<platform::InterfaceChangeSource> source = nullptr,
        platform::NotificationCenter& localCenter = platform::NotificationCenter::defaultCenter());
    ~IXSCNotificationCenter();
    IXSCNotificationCenter(const IXSCNotificationCenter&) = delete;
    IXSCNotificationCenter& operator=(const IXSCNotificationCenter&) = delete;

    // A null `name` registers for every key. Throws std::invalid_argument("Observer cannot be
    // nil") for a null observer.
    void addObserver(const void* observer, IXSCNotificationObserver::Selector selector,
                     const QString& name);
    // Removes every registration of the observer (before it goes away).
    void removeObserver(const void* observer);
    // Delivers a notification named `name` (no object) once per registration for every key
    // and once per registration for that name. Throws std::invalid_argument("Notification
    // name cannot be nil") for a null name.
    void postNotification(const QString& name);

    // Watches exactly the keys matching `pattern`.
    void setupKeyList(const QString& pattern);
    // Posts each changed key that is watched, in turn.
    void keysChanged(const QStringList& keys);

    platform::InterfaceChangeSource& getDynStoreRef() const { return *source_; }
    const QString& pattern() const { return pattern_; }

  private:
    std::unique_ptr<platform::InterfaceChangeSource> source_;
    QString pattern_;
    QRegularExpression regex_;
    QHash<QString, std::vector<IXSCNotificationObserver>> observersForKeys_;
    platform::Observation reachability_;
};

}  // namespace talvor
