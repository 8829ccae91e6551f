#pragma once

#include "platform/ReachabilityProbe.h"

#include <QObject>

#include <functional>
#include <memory>

class QNetworkInformation;
class QSocketNotifier;

namespace talvor::platform {

// Hears the kernel's route, address and link changes through a routing netlink socket.
class KernelRouteWatcher : public QObject {
    Q_OBJECT
  public:
    explicit KernelRouteWatcher(QObject* parent = nullptr);
    ~KernelRouteWatcher() override;

    // Calls `changed` on the main loop after each batch of changes; false (with a log line)
    // when the socket cannot be opened.
    bool watch(std::function<void()> changed);

  private:
    void onReadable();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> changed_;
};

// The routing table, read again each time the kernel says the routes changed.
class KernelRouteProbe : public ReachabilityProbe {
  public:
    KernelRouteProbe();
    std::optional<std::uint32_t> flags() const override { return routes_.flags(); }
    void setChangeHandler(ChangeHandler handler) override;

  private:
    RouteReachabilityProbe routes_;
    KernelRouteWatcher watcher_;
};

// Qt's network information backend (NetworkManager, else GLib); the routing table answers
// while the backend does not know.
class NetworkInformationProbe : public QObject, public ReachabilityProbe {
    Q_OBJECT
  public:
    // Null when no backend loads.
    static std::unique_ptr<NetworkInformationProbe> create();
    ~NetworkInformationProbe() override;

    std::optional<std::uint32_t> flags() const override;
    void setChangeHandler(ChangeHandler handler) override;

  private:
    explicit NetworkInformationProbe(QNetworkInformation* info);
    void notify();

    QNetworkInformation* info_;
    RouteReachabilityProbe routes_;
    KernelRouteWatcher watcher_;
    ChangeHandler handler_;
};

// Qt's network information when a backend loads, else the routing table with the kernel's
// changes (said once in the log).
std::unique_ptr<ReachabilityProbe> createSystemReachabilityProbe();

}  // namespace talvor::platform
