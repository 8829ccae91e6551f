#pragma once

#include "platform/NotificationCenter.h"
#include "platform/ReachabilityProbe.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace talvor {

// Posted on the local centre, with the monitor as object, each time the online state
// changes.
inline const QString NetworkMonitorStatusChanged = QStringLiteral("NetworkMonitorStatusChanged");

// The process-wide watcher of the network: whether it is online, and a notification when
// that changes. Lives on the main thread; `isOnline` may be read from any thread.
class NetworkMonitor {
  public:
    // Reads the probe's flags without notifying, then follows its changes.
    explicit NetworkMonitor(
        std::unique_ptr<platform::ReachabilityProbe> probe,
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~NetworkMonitor();
    NetworkMonitor(const NetworkMonitor&) = delete;
    NetworkMonitor& operator=(const NetworkMonitor&) = delete;

    // Created on first use (from the main thread) with the system's probe.
    static NetworkMonitor& sharedMonitor();
    // Tests: replaces the shared monitor (nullptr: the system's one on next use).
    static void setSharedMonitor(std::shared_ptr<NetworkMonitor> monitor);

    bool isOnline() const { return online_.load(); }

    // Takes the state from the flags; with `notify`, posts NetworkMonitorStatusChanged when
    // the state changed.
    void processFlags(std::uint32_t flags, bool notify);
    // The probe's change callback.
    void ConnectionChangedCallback(std::uint32_t flags) { processFlags(flags, true); }

    // Online means reachable without a connection to be set up first: flag 2 set and flag
    // 4 clear. (A connection still to be made, or a transient one alone, is offline.)
    static bool flagsAreOnline(std::uint32_t flags);

  private:
    std::unique_ptr<platform::ReachabilityProbe> probe_;
    platform::NotificationCenter& center_;
    std::atomic<bool> online_{false};
};

}  // namespace talvor
