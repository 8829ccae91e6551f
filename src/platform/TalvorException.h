#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace talvor {

// The base of the exceptions our own code throws. It takes the stack where it is made, so
// that a report of an exception that escapes shows where it was thrown, not only where the
// event loop caught it.
class TalvorException : public std::runtime_error {
  public:
    explicit TalvorException(const std::string& what);
    explicit TalvorException(const char* what);

    // Return addresses of the throw site, innermost first (the constructor's own frame is
    // left out).
    std::span<const std::uintptr_t> throwSite() const { return {frames_.data(), count_}; }

    static constexpr std::size_t kMaxFrames = 64;

  private:
    void captureThrowSite();

    std::array<std::uintptr_t, kMaxFrames> frames_{};
    std::size_t count_ = 0;
};

}  // namespace talvor
