#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace talvor::platform {

// "State:/Network/Interface/<name>/<entity>": the key under which the system configuration
// store of the original system keeps an interface's addresses ("IPv4", "IPv6") or link.
QString interfaceKey(const QString& interfaceName, const QString& entity);

// Tells which network-interface keys changed: addresses added or removed, links appearing,
// going or changing state. Handlers run on the main thread.
class InterfaceChangeSource {
  public:
    using ChangeHandler = std::function<void(const QStringList& keys)>;
    virtual ~InterfaceChangeSource();

    // One call per batch of changes, each key once.
    virtual void setChangeHandler(ChangeHandler handler) = 0;
    // The address keys that exist now: one per interface and address family.
    virtual QStringList currentKeys() const = 0;

    // The installed system's source (on Linux the kernel's routing netlink); without one, a
    // source that never reports (after one log line).
    static std::unique_ptr<InterfaceChangeSource> createSystemSource();
};

}  // namespace talvor::platform
