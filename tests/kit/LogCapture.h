#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/KitLog.h"

namespace talvor::kit::test {

// Collects the kit's log lines while it lives.
class LogCapture {
  public:
    LogCapture()
        : previous_(setLogSink([this](std::string_view line) {
              std::lock_guard lock(mutex_);  // lines may come from several threads
              lines.emplace_back(line);
          })) {}
    ~LogCapture() { setLogSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines;

  private:
    std::mutex mutex_;
    LogSink previous_;
};

}  // namespace talvor::kit::test
