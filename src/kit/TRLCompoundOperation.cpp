#include "kit/TRLCompoundOperation.h"

#include <utility>

#include "kit/KitKeys.h"

namespace talvor::kit {

TRLCompoundOperation::TRLCompoundOperation()
    : countingQueue_(
          std::make_unique<DispatchQueue>(keys::TRLCompoundOperationCountingQueueLabel)) {}

TRLCompoundOperation::~TRLCompoundOperation() = default;

KitError TRLCompoundOperation::cancelledError(const std::string& name) {
    return {keys::TRLCompoundOperationErrorDomain,
            keys::TRLCompoundOperationErrorCodeCancelled,
            name + " cancelled",
            {}};
}

KitError TRLCompoundOperation::failedError(std::vector<KitError> errors) {
    return {keys::TRLCompoundOperationErrorDomain, keys::TRLCompoundOperationErrorCodeFailed,
            std::nullopt, std::move(errors)};
}

void TRLCompoundOperation::setOperations(std::vector<std::shared_ptr<TRLAsyncOperation>> ops) {
    std::lock_guard lock(operationsMutex_);
    operations_ = std::move(ops);
}

std::vector<std::shared_ptr<TRLAsyncOperation>> TRLCompoundOperation::operations() const {
    std::lock_guard lock(operationsMutex_);
    return operations_;
}

std::uint64_t TRLCompoundOperation::completedOperations() {
    std::uint64_t count = 0;
    onCountingQueue([&] { count = completedOperations_; });
    return count;
}

std::vector<KitError> TRLCompoundOperation::errors() {
    std::vector<KitError> copy;
    onCountingQueue([&] { copy = errors_; });
    return copy;
}

void TRLCompoundOperation::onCountingQueue(const DispatchQueue::Work& work) {
    if (countingQueue_->isCurrent()) {
        work();
    } else {
        countingQueue_->sync(work);
    }
}

void TRLCompoundOperation::main() {
    bool finishNow = false;
    {
        // A cancel waits for the members to be handed over, so it never misses one.
        std::lock_guard lock(startMutex_);
        started_ = true;
        // Cancelled between the start's check and now: the members were dealt with there.
        finishNow = isCancelled();
        const auto members = finishNow ? decltype(operations()){} : operations();
        for (const auto& member : members) {
            injectCompoundAsyncCompletionInOperation(member);
            injectCompoundSyncCompletionInOperation(member);
            compoundQueue_.addOperation(member);
        }
        // With no members nothing would ever complete the count.
        finishNow = finishNow || members.empty();
    }
    // Outside the lock: the owner's completion may cancel the compound.
    if (finishNow) {
        attemptCompoundCompletion();
    }
}

void TRLCompoundOperation::cancel() {
    {
        std::lock_guard lock(startMutex_);
        if (!started_) {
            const auto members = operations();
            for (const auto& member : members) {
                member->cancel();
            }
            compoundQueue_.addOperations({members.begin(), members.end()}, false);
            TRLAsyncOperation::cancel();
            return;
        }
    }
    // The compound is cancelled before its members, so that a member finishing cancelled
    // meanwhile finishes the compound as cancelled, not as failed; and the completion below
    // finishes it now rather than waiting for a member that may never report.
    TRLAsyncOperation::cancel();
    compoundQueue_.cancelAllOperations();
    attemptCompoundCompletion();
}

void TRLCompoundOperation::injectCompoundAsyncCompletionInOperation(
    const std::shared_ptr<TRLAsyncOperation>& operation) {
    std::weak_ptr<TRLCompoundOperation> weak =
        std::static_pointer_cast<TRLCompoundOperation>(shared_from_this());
    const Operation* member = operation.get();
    operation->setAsyncCompletion([weak, member, previous = operation->asyncCompletion()](
                                      const std::optional<KitError>& error) {
        const auto compound = weak.lock();
        if (!compound) {
            if (previous) {
                previous(error);
            }
            return;
        }
        compound->onCountingQueue([&] {
            if (previous) {
                previous(error);
            }
            compound->countReport(member, error);
        });
    });
}

void TRLCompoundOperation::injectCompoundSyncCompletionInOperation(
    const std::shared_ptr<TRLAsyncOperation>& operation) {
    std::weak_ptr<TRLCompoundOperation> weak =
        std::static_pointer_cast<TRLCompoundOperation>(shared_from_this());
    std::weak_ptr<TRLAsyncOperation> weakMember = operation;
    const Operation* member = operation.get();
    operation->setCompletionBlock(
        [weak, weakMember, member, previous = operation->completionBlock()] {
            const auto compound = weak.lock();
            if (!compound) {
                if (previous) {
                    previous();
                }
                return;
            }
            compound->onCountingQueue([&] {
                if (previous) {
                    previous();
                }
                if (!compound->reported_.contains(member)) {
                    // Finished without reporting (cancelled before it started): counted as a
                    // cancelled member, or the compound would wait for it for ever.
                    const auto finished = weakMember.lock();
                    compound->countReport(member, cancelledError(finished ? finished->name() : ""));
                }
                compound->attemptOnCountingQueue();
            });
        });
}

void TRLCompoundOperation::updateCompletionCountsWithError(const std::optional<KitError>& error) {
    onCountingQueue([&] {
        if (error) {
            errors_.push_back(*error);
        } else {
            ++completedOperations_;
        }
    });
}

void TRLCompoundOperation::countReport(const Operation* member,
                                       const std::optional<KitError>& error) {
    if (!reported_.insert(member).second) {
        return;  // a member reports once
    }
    if (error) {
        errors_.push_back(*error);
    } else {
        ++completedOperations_;
    }
}

void TRLCompoundOperation::attemptCompoundCompletion() {
    onCountingQueue([this] { attemptOnCountingQueue(); });
}

void TRLCompoundOperation::attemptOnCountingQueue() {
    if (completed_) {
        return;  // the compound's completion runs once, however many members report after
    }
    if (isCancelled()) {
        completed_ = true;
        finishWithError(cancelledError(name()));
        setAsyncCompletion(nullptr);
        return;
    }
    if (completedOperations_ + errors_.size() >= operations().size()) {
        completed_ = true;
        finishWithError(errors_.empty() ? std::nullopt
                                        : std::optional<KitError>(failedError(errors_)));
    }
}

}  // namespace talvor::kit
