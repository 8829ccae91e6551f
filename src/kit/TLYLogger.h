#pragma once

#include <atomic>
#include <string_view>

// The analytics kit's progress log: "[Tally] " lines, written only in debug mode.
namespace talvor::kit {

class TLYLogger {
  public:
    static TLYLogger& sharedLogger();

    bool debugMode() const { return debugMode_.load(); }
    void setDebugMode(bool on) { debugMode_.store(on); }
    // "[Tally] <line>".
    void log(std::string_view line) const;
    // "[Tally:<label>] <line>".
    void logWithLabel(std::string_view label, std::string_view line) const;

  private:
    std::atomic<bool> debugMode_{false};
};

}  // namespace talvor::kit
