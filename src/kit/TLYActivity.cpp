#include "kit/TLYActivity.h"

#include <condition_variable>
#include <mutex>

namespace talvor::kit {
namespace {

struct Counters {
    std::mutex mutex;
    std::condition_variable changed;
    int sudden = 0;
    int automatic = 0;
    std::uint64_t nextToken = 1;
};

Counters& counters() {
    static Counters instance;
    return instance;
}

}  // namespace

TLYActivity::TLYActivity(std::string reason, std::uint64_t options)
    : reason_(std::move(reason)), options_(options) {}

std::shared_ptr<TLYActivity> TLYActivity::beginActivity(std::string reason, std::uint64_t options) {
    std::shared_ptr<TLYActivity> activity(new TLYActivity(std::move(reason), options));
    Counters& c = counters();
    std::lock_guard lock(c.mutex);
    if (options & TLYActivitySuddenTerminationDisabled) {
        ++c.sudden;
    }
    if (options & TLYActivityAutomaticTerminationDisabled) {
        ++c.automatic;
    }
    activity->token_ = c.nextToken++;
    return activity;
}

TLYActivity::~TLYActivity() {
    end();
}

void TLYActivity::end() {
    Counters& c = counters();
    std::lock_guard lock(c.mutex);
    if (!token_) {
        return;
    }
    if (options_ & TLYActivitySuddenTerminationDisabled) {
        --c.sudden;
    }
    if (options_ & TLYActivityAutomaticTerminationDisabled) {
        --c.automatic;
    }
    token_.reset();
    c.changed.notify_all();
}

int TLYActivity::suddenTerminationDisabledCount() {
    std::lock_guard lock(counters().mutex);
    return counters().sudden;
}

int TLYActivity::automaticTerminationDisabledCount() {
    std::lock_guard lock(counters().mutex);
    return counters().automatic;
}

bool TLYActivity::waitUntilTerminationAllowed(std::chrono::milliseconds limit) {
    Counters& c = counters();
    std::unique_lock lock(c.mutex);
    return c.changed.wait_for(lock, limit, [&] { return c.sudden == 0 && c.automatic == 0; });
}

std::shared_ptr<TLYActivityOperation> TLYActivityOperation::operationByStartingActivityName(
    const std::string& name, std::uint64_t options) {
    auto operation = std::make_shared<TLYActivityOperation>();
    operation->setName(name);
    operation->activity_ = TLYActivity::beginActivity(name, options);
    return operation;
}

void TLYActivityOperation::main() {
    activity_->end();
}

}  // namespace talvor::kit
