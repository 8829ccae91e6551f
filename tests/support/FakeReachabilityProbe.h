#pragma once

#include "platform/ReachabilityProbe.h"

#include <cstdint>
#include <optional>

namespace talvor::test {

// Reachability flags set by hand; `change` calls the handler as the system would.
class FakeReachabilityProbe : public platform::ReachabilityProbe {
  public:
    explicit FakeReachabilityProbe(std::optional<std::uint32_t> flags = std::nullopt)
        : flags_(flags) {}

    std::optional<std::uint32_t> flags() const override { return flags_; }
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }

    void change(std::uint32_t flags) {
        flags_ = flags;
        if (handler_) {
            handler_(flags);
        }
    }
    bool hasHandler() const { return static_cast<bool>(handler_); }

  private:
    std::optional<std::uint32_t> flags_;
    ChangeHandler handler_;
};

}  // namespace talvor::test
