#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;
class QNetworkInformation;

namespace talvor::platform {

// Reachability flags, with the platform's values.
enum ReachabilityFlag : std::uint32_t {
    kReachabilityTransientConnection = 1u << 0,
    kReachabilityReachable = 1u << 1,
    kReachabilityConnectionRequired = 1u << 2,
};

// Whether the network can be reached, as flags, with a call when that may have changed.
class ReachabilityProbe {
  public:
    using ChangeHandler = std::function<void(std::uint32_t flags)>;
    virtual ~ReachabilityProbe();

    // The current flags; nullopt when they cannot be read.
    virtual std::optional<std::uint32_t> flags() const = 0;
    // Called on the main loop with the new flags whenever they may have changed (possibly
    // with unchanged flags). One handler; an empty one stops the calls.
    virtual void setChangeHandler(ChangeHandler handler) = 0;

    // The probe of the running system: Qt's network information, else the routing table.
    static std::unique_ptr<ReachabilityProbe> createSystemProbe();
};

// Reachable when the kernel has a usable default route (IPv4 or IPv6).
class RouteReachabilityProbe : public QObject, public ReachabilityProbe {
    Q_OBJECT
  public:
    // The route tables in the /proc/net format (tests give files of their own).
    explicit RouteReachabilityProbe(QString ipv4Routes = QStringLiteral("/proc/net/route"),
                                    QString ipv6Routes = QStringLiteral("/proc/net/ipv6_route"),
                                    QObject* parent = nullptr);
    ~RouteReachabilityProbe() override;

    std::optional<std::uint32_t> flags() const override;
    void setChangeHandler(ChangeHandler handler) override;

    // Hears route and link changes through a routing netlink socket; false (with a log
    // line) when the socket cannot be opened.
    bool watchKernelRoutes();

  private:
    void onRoutesChanged();

    QString ipv4Routes_;
    QString ipv6Routes_;
    ChangeHandler handler_;
    int netlinkFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
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
    ChangeHandler handler_;
};

// The flags of the default route in the given tables: reachable when either table holds
// an up, non-rejecting default route off the loopback; nullopt when neither can be read.
std::optional<std::uint32_t> defaultRouteFlags(const QString& ipv4Routes,
                                               const QString& ipv6Routes);

}  // namespace talvor::platform
