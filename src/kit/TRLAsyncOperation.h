#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/KitError.h"
#include "kit/Operation.h"

namespace talvor::kit {

// An operation whose work ends later, in a callback: it stays executing after `main`
// returns, until the subclass calls `finishWithError`.
class TRLAsyncOperation : public Operation {
  public:
    using Completion = std::function<void(const std::optional<KitError>& error)>;

    TRLAsyncOperation() = default;

    bool isAsynchronous() const override { return true; }
    bool isExecuting() const override;
    bool isFinished() const override;

    // A cancelled operation goes straight to finished, without `main` and without
    // `asyncCompletion`; otherwise it becomes executing and runs `main`.
    void start() override;
    // Not cancelled: NO. Cancelled: marks the operation done and answers YES.
    bool checkForCancellation();
    void markStarted();
    void markDone();
    void unlockedMarkStarted();
    void unlockedMarkComplete();
    // `block` between the will-change and did-change notices of `key`.
    void changeValueForKey(std::string_view key, const std::function<void()>& block);
    // Runs `block` holding the operation's lock.
    void lock(const std::function<void()>& block);
    // Ends the work: `asyncCompletion` with the error (none: success), then done. Only the
    // first call counts; a later one is logged and ignored, so the completion runs once.
    void finishWithError(const std::optional<KitError>& error);

    Completion asyncCompletion() const;
    void setAsyncCompletion(Completion completion);

    // "com.quillon.<class name>-lock".
    std::string lockName() const;
    virtual std::string className() const { return "TRLAsyncOperation"; }

  private:
    mutable std::recursive_mutex lock_;  // guards the members below
    bool internalExecuting_ = false;
    bool internalFinished_ = false;
    bool finishing_ = false;
    Completion asyncCompletion_;
};

}  // namespace talvor::kit
