#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "kit/DispatchQueue.h"
#include "kit/KitError.h"
#include "kit/Operation.h"
#include "kit/TRLAsyncOperation.h"

namespace talvor::kit {

// Runs a group of asynchronous operations on a queue of its own and finishes once, when all
// of them have reported, with no error when none failed and otherwise one error gathering
// theirs; or, once cancelled, with the cancelled error. Make it with std::make_shared.
class TRLCompoundOperation : public TRLAsyncOperation {
  public:
    TRLCompoundOperation();
    ~TRLCompoundOperation() override;

    std::string className() const override { return "TRLCompoundOperation"; }

    // Starts the members. With none, the compound finishes at once without error.
    void main() override;
    // Before the start: cancels the members and lets them finish on the compound's queue.
    // Running: cancels the members and finishes at once with the cancelled error (members
    // reporting later change nothing).
    void cancel() override;

    // Set before the compound starts.
    void setOperations(std::vector<std::shared_ptr<TRLAsyncOperation>> operations);
    std::vector<std::shared_ptr<TRLAsyncOperation>> operations() const;
    OperationQueue& compoundQueue() { return compoundQueue_; }
    DispatchQueue& countingQueue() { return *countingQueue_; }
    std::uint64_t completedOperations();
    std::vector<KitError> errors();

    void injectCompoundAsyncCompletionInOperation(
        const std::shared_ptr<TRLAsyncOperation>& operation);
    void injectCompoundSyncCompletionInOperation(
        const std::shared_ptr<TRLAsyncOperation>& operation);
    void updateCompletionCountsWithError(const std::optional<KitError>& error);
    void attemptCompoundCompletion();

    // The error of a compound (or member) named `name` that was cancelled.
    static KitError cancelledError(const std::string& name);
    static KitError failedError(std::vector<KitError> errors);

  private:
    // On the counting queue (entered synchronously, or directly when already on it).
    void onCountingQueue(const DispatchQueue::Work& work);
    void countReport(const Operation* member, const std::optional<KitError>& error);
    void attemptOnCountingQueue();

    mutable std::mutex operationsMutex_;
    std::vector<std::shared_ptr<TRLAsyncOperation>> operations_;
    std::mutex startMutex_;  // orders `main` and `cancel`
    bool started_ = false;

    // Touched only on the counting queue.
    std::uint64_t completedOperations_ = 0;
    std::vector<KitError> errors_;
    std::set<const Operation*> reported_;
    bool completed_ = false;

    OperationQueue compoundQueue_;
    std::unique_ptr<DispatchQueue> countingQueue_;
};

}  // namespace talvor::kit
