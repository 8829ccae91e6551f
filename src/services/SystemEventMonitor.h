#pragma once

#include "platform/NotificationCenter.h"
#include "platform/SessionEvents.h"

#include <memory>

namespace talvor {

// Turns the machine's sleep and wake and the session's activation and locking into the
// workspace notifications on the local centre (SystemEventNames.h), and after a wake lets
// the minute scheduler catch up before anyone hears of it. Main thread only.
class SystemEventMonitor {
  public:
    // No source: logind on the system bus.
    explicit SystemEventMonitor(
        std::unique_ptr<platform::SessionEventSource> source = nullptr,
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~SystemEventMonitor();
    SystemEventMonitor(const SystemEventMonitor&) = delete;
    SystemEventMonitor& operator=(const SystemEventMonitor&) = delete;

    // Created on first use with the system's source.
    static SystemEventMonitor& sharedMonitor();

    platform::SessionEventSource& source() const { return *source_; }

  private:
    std::unique_ptr<platform::SessionEventSource> source_;
    platform::NotificationCenter& center_;
};

}  // namespace talvor
