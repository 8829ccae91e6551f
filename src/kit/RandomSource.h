#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>

// The kit's source of random numbers (retry jitter), behind a seam so that a test can
// draw a known sequence. The system's source is seeded from the kernel once per process,
// so two processes do not draw the same jitter.
namespace talvor::kit {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // Uniform in [0, 1).
    virtual double nextUniform() = 0;

    static RandomSource& shared();
    // Puts `source` in place of the shared one (nullptr: the system's again). The caller
    // keeps it alive while it is in place.
    static void setShared(RandomSource* source);
};

class SystemRandomSource final : public RandomSource {
  public:
    SystemRandomSource();
    double nextUniform() override;

  private:
    std::mutex mutex_;
    std::mt19937_64 engine_;
};

}  // namespace talvor::kit
