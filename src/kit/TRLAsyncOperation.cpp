#include "kit/TRLAsyncOperation.h"

#include <utility>

#include "kit/KitLog.h"

namespace talvor::kit {

bool TRLAsyncOperation::isExecuting() const {
    std::lock_guard guard(lock_);
    return internalExecuting_;
}

bool TRLAsyncOperation::isFinished() const {
    std::lock_guard guard(lock_);
    return internalFinished_;
}

void TRLAsyncOperation::start() {
    {
        std::lock_guard guard(lock_);
        if (internalExecuting_ || internalFinished_) {
            return;  // started twice
        }
    }
    if (checkForCancellation()) {
        return;
    }
    markStarted();
    main();
}

bool TRLAsyncOperation::checkForCancellation() {
    if (!isCancelled()) {
        return false;
    }
    markDone();
    return true;
}

void TRLAsyncOperation::markStarted() {
    lock([this] { unlockedMarkStarted(); });
}

void TRLAsyncOperation::markDone() {
    lock([this] {
        unlockedMarkComplete();
        changeValueForKey("isFinished", [this] { internalFinished_ = true; });
    });
    // The completion block, the dependants and the queue hear of it outside the lock, so
    // that they may wait for other operations that read their flags.
    deliverFinishIfNeeded();
}

void TRLAsyncOperation::unlockedMarkStarted() {
    changeValueForKey("isExecuting", [this] { internalExecuting_ = true; });
}

void TRLAsyncOperation::unlockedMarkComplete() {
    changeValueForKey("isExecuting", [this] { internalExecuting_ = false; });
}

void TRLAsyncOperation::changeValueForKey(std::string_view key,
                                          const std::function<void()>& block) {
    willChangeValueForKey(key);
    block();
    didChangeValueForKey(key);
}

void TRLAsyncOperation::lock(const std::function<void()>& block) {
    std::lock_guard guard(lock_);
    block();
}

void TRLAsyncOperation::finishWithError(const std::optional<KitError>& error) {
    Completion completion;
    {
        std::lock_guard guard(lock_);
        if (finishing_ || internalFinished_) {
            log(KitLogLevel::Debug,
                "[Trellis] " + className() + " \"" + name() + "\" finished twice; ignored");
            return;
        }
        finishing_ = true;
        completion = asyncCompletion_;
    }
    if (completion) {
        completion(error);
    }
    markDone();
}

TRLAsyncOperation::Completion TRLAsyncOperation::asyncCompletion() const {
    std::lock_guard guard(lock_);
    return asyncCompletion_;
}

void TRLAsyncOperation::setAsyncCompletion(Completion completion) {
    std::lock_guard guard(lock_);
    asyncCompletion_ = std::move(completion);
}

std::string TRLAsyncOperation::lockName() const {
    return "com.quillon." + className() + "-lock";
}

}  // namespace talvor::kit
