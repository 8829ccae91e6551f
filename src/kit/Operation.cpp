#include "kit/Operation.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

#include "kit/DispatchQueue.h"
#include "kit/KitLog.h"

namespace talvor::kit {

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
    explicit State(std::string n) : name(std::move(n)) {}

    const std::string name;
    OperationQueue* owner = nullptr;
    mutable std::mutex mutex;
    std::condition_variable emptied;
    int maxCount = kDefaultMaxConcurrentOperationCount;
    std::vector<std::shared_ptr<Operation>> operations;  // unfinished, in the order added
    std::vector<const Operation*> started;
    bool released = false;
    std::unique_ptr<DispatchQueue> workers;

    void pump();
    void finished(const Operation* operation);
};

struct Operation::QueueLink {
    std::weak_ptr<OperationQueue::State> queue;
};

namespace {

thread_local OperationQueue* currentOperationQueue = nullptr;

constexpr std::string_view kExecuting = "isExecuting";
constexpr std::string_view kFinished = "isFinished";
constexpr std::string_view kCancelled = "isCancelled";

}  // namespace

// --- Operation

Operation::Operation() = default;
Operation::~Operation() = default;

void Operation::start() {
    if (isFinished() || isExecuting()) {
        return;
    }
    if (!isCancelled()) {
        willChangeValueForKey(kExecuting);
        executing_ = true;
        didChangeValueForKey(kExecuting);
        try {
            main();
        } catch (const std::exception& e) {
            log(KitLogLevel::Error,
                "[Trellis] Operation \"" + name() + "\" ended with an exception: " + e.what());
        }
        willChangeValueForKey(kExecuting);
        executing_ = false;
        didChangeValueForKey(kExecuting);
    }
    willChangeValueForKey(kFinished);
    finished_ = true;
    didChangeValueForKey(kFinished);
    deliverFinishIfNeeded();
}

void Operation::cancel() {
    if (cancelled_.load()) {
        return;
    }
    willChangeValueForKey(kCancelled);
    cancelled_ = true;
    didChangeValueForKey(kCancelled);
    readinessChanged();
}

bool Operation::isExecuting() const {
    return executing_.load();
}

bool Operation::isFinished() const {
    return finished_.load();
}

bool Operation::isReady() const {
    if (isCancelled()) {
        return true;
    }
    std::vector<std::shared_ptr<Operation>> deps;
    {
        std::lock_guard lock(mutex_);
        deps = dependencies_;
    }
    return std::all_of(deps.begin(), deps.end(), [](const auto& d) { return d->isFinished(); });
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
    if (!operation || operation.get() == this) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        dependencies_.push_back(operation);
    }
    {
        std::lock_guard lock(operation->mutex_);
        operation->dependants_.push_back(weak_from_this());
    }
    // It may have finished before it knew of this one.
    if (operation->isFinished()) {
        readinessChanged();
    }
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
    {
        std::lock_guard lock(mutex_);
        std::erase(dependencies_, operation);
    }
    readinessChanged();
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void Operation::setCompletionBlock(Block block) {
    std::lock_guard lock(mutex_);
    completionBlock_ = std::move(block);
}

Operation::Block Operation::completionBlock() const {
    std::lock_guard lock(mutex_);
    return completionBlock_;
}

void Operation::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::string Operation::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void Operation::setChangeObserver(ChangeObserver observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void Operation::waitUntilFinished() {
    std::unique_lock lock(mutex_);
    finishedChanged_.wait(lock, [this] { return finishDone_; });
}

void Operation::willChangeValueForKey(std::string_view) {}

void Operation::didChangeValueForKey(std::string_view key) {
    ChangeObserver observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer) {
        observer(key);
    }
    if (key == kFinished && isFinished()) {
        finishArmed_ = true;
    }
}

void Operation::deliverFinishIfNeeded() {
    if (!finishArmed_.load() || finishDelivered_.exchange(true)) {
        return;
    }
    // The queue may hold the last reference, and lets go of it below.
    const auto self = weak_from_this().lock();
    Block completion;
    std::vector<std::weak_ptr<Operation>> dependants;
    std::shared_ptr<QueueLink> link;
    {
        std::lock_guard lock(mutex_);
        completion = completionBlock_;
        dependants = dependants_;
        link = queue_;
    }
    if (completion) {
        completion();
    }
    for (const auto& weak : dependants) {
        if (const auto dependant = weak.lock()) {
            dependant->readinessChanged();
        }
    }
    if (link) {
        if (const auto queue = link->queue.lock()) {
            queue->finished(this);
        }
    }
    {
        std::lock_guard lock(mutex_);
        finishDone_ = true;
    }
    finishedChanged_.notify_all();
}

void Operation::readinessChanged() {
    std::shared_ptr<QueueLink> link;
    {
        std::lock_guard lock(mutex_);
        link = queue_;
    }
    if (link) {
        if (const auto queue = link->queue.lock()) {
            queue->pump();
        }
    }
}

// --- BlockOperation

std::shared_ptr<BlockOperation> BlockOperation::make(Block block) {
    auto operation = std::make_shared<BlockOperation>();
    operation->addExecutionBlock(std::move(block));
    return operation;
}

void BlockOperation::addExecutionBlock(Block block) {
    std::lock_guard lock(blocksMutex_);
    blocks_.push_back(std::move(block));
}

void BlockOperation::main() {
    std::vector<Block> blocks;
    {
        std::lock_guard lock(blocksMutex_);
        blocks = blocks_;
    }
    for (const Block& block : blocks) {
        if (block) {
            block();
        }
    }
}

// --- OperationQueue

void OperationQueue::State::pump() {
    std::vector<std::shared_ptr<Operation>> starting;
    {
        std::lock_guard lock(mutex);
        if (released) {
            return;
        }
        const std::size_t limit = maxCount < 0 ? std::numeric_limits<std::size_t>::max()
                                               : static_cast<std::size_t>(maxCount);
        for (const auto& operation : operations) {
            if (started.size() >= limit) {
                break;
            }
            if (std::find(started.begin(), started.end(), operation.get()) != started.end()) {
                continue;
            }
            if (operation->isReady()) {
                started.push_back(operation.get());
                starting.push_back(operation);
            }
        }
        if (starting.empty()) {
            return;
        }
        if (!workers) {
            workers = DispatchQueue::concurrent(name.empty() ? "operation-queue" : name);
        }
        // Under the lock: the queue's release takes the workers away under it too.
        for (auto& operation : starting) {
            workers->async([self = shared_from_this(), operation = std::move(operation)] {
                OperationQueue* const previous = std::exchange(currentOperationQueue, self->owner);
                operation->start();
                currentOperationQueue = previous;
            });
        }
    }
}

void OperationQueue::State::finished(const Operation* operation) {
    {
        std::lock_guard lock(mutex);
        std::erase_if(operations, [operation](const auto& o) { return o.get() == operation; });
        std::erase(started, operation);
        if (operations.empty()) {
            emptied.notify_all();
        }
    }
    pump();
}

OperationQueue::OperationQueue(std::string name)
    : state_(std::make_shared<State>(std::move(name))) {
    state_->owner = this;
}

OperationQueue::~OperationQueue() {
    std::unique_ptr<DispatchQueue> workers;
    {
        std::lock_guard lock(state_->mutex);
        state_->released = true;
        workers = std::move(state_->workers);
    }
    workers.reset();
}

const std::string& OperationQueue::name() const {
    return state_->name;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    {
        std::lock_guard lock(state_->mutex);
        state_->maxCount = count;
    }
    state_->pump();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->maxCount;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    if (!operation) {
        return;
    }
    // The state flags first: an asynchronous operation reads them under its own lock, which
    // it may hold while it takes the operation's mutex.
    bool refused = operation->isFinished() || operation->isExecuting();
    if (!refused) {
        std::lock_guard lock(operation->mutex_);
        refused = operation->queue_ != nullptr;
        if (!refused) {
            operation->queue_ = std::make_shared<Operation::QueueLink>();
            operation->queue_->queue = state_;
        }
    }
    if (refused) {
        log(KitLogLevel::Error, "[Trellis] Operation \"" + operation->name() +
                                    "\" is queued, running or finished already: not added");
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        state_->operations.push_back(std::move(operation));
    }
    state_->pump();
}

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                                   bool waitUntilFinished) {
    for (const auto& operation : operations) {
        addOperation(operation);
    }
    if (waitUntilFinished) {
        for (const auto& operation : operations) {
            operation->waitUntilFinished();
        }
    }
}

void OperationQueue::addOperation(Operation::Block block) {
    addOperation(BlockOperation::make(std::move(block)));
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(state_->mutex);
    return state_->operations;
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->operations.size();
}

void OperationQueue::cancelAllOperations() {
    for (const auto& operation : operations()) {
        operation->cancel();
    }
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(state_->mutex);
    state_->emptied.wait(lock, [this] { return state_->operations.empty(); });
}

OperationQueue* OperationQueue::currentQueue() {
    return currentOperationQueue;
}

}  // namespace talvor::kit
