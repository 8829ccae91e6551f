#pragma once

#include <functional>
#include <memory>
#include <string>

#include "kit/KitClock.h"
#include "kit/Operation.h"

// A repeating timer that hands its block to an operation queue, on the kit clock (so a test
// drives it with a manual clock). It runs from its making until it is destroyed.
namespace talvor::kit {

class TLYTimer {
  public:
    TLYTimer(double timeInterval, const std::shared_ptr<OperationQueue>& queue,
             std::string timerIdentifier, std::function<void()> block, Clock* clock = nullptr);
    // No firing is handed to the queue after this returns.
    ~TLYTimer();
    TLYTimer(const TLYTimer&) = delete;
    TLYTimer& operator=(const TLYTimer&) = delete;

    const std::string& timerIdentifier() const { return identifier_; }
    double timeInterval() const { return interval_; }
    // The leeway the timer allows itself: a tenth of the interval.
    double tolerance() const { return interval_ / 10; }
    // Adds the block to the queue.
    void executeBlock();

    struct State;

  private:
    std::string identifier_;
    double interval_;
    std::shared_ptr<State> state_;
};

}  // namespace talvor::kit
