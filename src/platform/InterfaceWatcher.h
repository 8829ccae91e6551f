#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace talvor::platform {

// "State:/Network/Interface/<name>/<entity>": the key under which the system configuration
// store of the original platform keeps an interface's addresses ("IPv4", "IPv6") or link.
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

    // The kernel's routing netlink; without it, a source that never reports (after one log
    // line).
    static std::unique_ptr<InterfaceChangeSource> createSystemSource();
};

// Address and link notifications of the kernel (NETLINK_ROUTE) in the network namespace of
// the thread that creates it.
class NetlinkInterfaceWatcher : public QObject, public InterfaceChangeSource {
    Q_OBJECT
  public:
    explicit NetlinkInterfaceWatcher(QObject* parent = nullptr);
    ~NetlinkInterfaceWatcher() override;

    // False when the socket could not be opened (logged once).
    bool isWatching() const { return fd_ >= 0; }
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    QStringList currentKeys() const override;

  private:
    void onReadable();
    void requestLinkNames();

    int fd_ = -1;
    unsigned portId_ = 0;
    unsigned dumpSeq_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QHash<int, QString> names_;
    ChangeHandler handler_;
};

}  // namespace talvor::platform
