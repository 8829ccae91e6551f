#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kit/Operation.h"

// Keeps the program from ending while the analytics have work in hand (an event not yet
// written, a file being rotated). The desktop has no such switches, so they are counters
// that the application's quit path waits on, for a bounded time.
namespace talvor::kit {

inline constexpr std::uint64_t TLYActivitySuddenTerminationDisabled = 0x4000;
inline constexpr std::uint64_t TLYActivityAutomaticTerminationDisabled = 0x8000;
inline constexpr std::uint64_t TLYActivityTerminationDisabled = 0xC000;
inline constexpr std::uint64_t TLYActivityBackground = 0xFF;

class TLYActivity {
  public:
    static std::shared_ptr<TLYActivity> beginActivity(std::string reason, std::uint64_t options);
    // Ends the activity when it is still active.
    ~TLYActivity();
    TLYActivity(const TLYActivity&) = delete;
    TLYActivity& operator=(const TLYActivity&) = delete;

    // Re-enables termination; a second call changes nothing.
    void end();
    bool active() const { return token_.has_value(); }
    std::uint64_t options() const { return options_; }
    const std::string& reason() const { return reason_; }
    std::uint64_t backgroundTaskIdentifier() const { return 0; }

    // How many activities keep sudden (and automatic) termination off right now.
    static int suddenTerminationDisabledCount();
    static int automaticTerminationDisabledCount();
    // Waits until no activity keeps termination off, at most `limit`; whether none does.
    static bool waitUntilTerminationAllowed(std::chrono::milliseconds limit);

  private:
    TLYActivity(std::string reason, std::uint64_t options);

    std::string reason_;
    std::uint64_t options_;
    std::optional<std::uint64_t> token_;
};

// An operation that ends its activity when it runs: made to depend on the work the activity
// protects.
class TLYActivityOperation final : public Operation {
  public:
    // Begins the activity at once.
    static std::shared_ptr<TLYActivityOperation> operationByStartingActivityName(
        const std::string& name, std::uint64_t options);
    void main() override;
    const std::shared_ptr<TLYActivity>& activity() const { return activity_; }

  private:
    std::shared_ptr<TLYActivity> activity_;
};

}  // namespace talvor::kit
