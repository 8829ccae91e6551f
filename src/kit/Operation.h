#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Units of work with a life of their own (ready, executing, finished, cancelled), which wait
// for other operations and run on operation queues. Shared ownership throughout: a queue, a
// dependent operation and the caller may each hold one.
namespace talvor::kit {

class OperationQueue;

class Operation : public std::enable_shared_from_this<Operation> {
  public:
    using Block = std::function<void()>;
    // Called after a state key ("isExecuting", "isFinished", "isCancelled") changed.
    using ChangeObserver = std::function<void(std::string_view key)>;

    Operation();
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Runs the operation on the calling thread: a cancelled one goes straight to finished
    // without running `main`. Asynchronous operations override it.
    virtual void start();
    // The work; nothing by default.
    virtual void main() {}
    // Marks the operation cancelled; `main` checks it where it can stop early. A queued
    // operation that is cancelled becomes ready at once, whatever it waits for.
    virtual void cancel();
    bool isCancelled() const { return cancelled_.load(); }

    virtual bool isExecuting() const;
    virtual bool isFinished() const;
    virtual bool isAsynchronous() const { return false; }
    bool isConcurrent() const { return isAsynchronous(); }
    // Cancelled, or every dependency finished.
    bool isReady() const;

    // `operation` must finish before this one starts (may be added while this one waits in
    // a queue).
    void addDependency(const std::shared_ptr<Operation>& operation);
    void removeDependency(const std::shared_ptr<Operation>& operation);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    // Runs once when the operation has finished, on the thread that finished it.
    void setCompletionBlock(Block block);
    Block completionBlock() const;

    void setName(std::string name);
    std::string name() const;

    // Observes every state change (the tests' view of the state table).
    void setChangeObserver(ChangeObserver observer);

    // Blocks until the operation has finished and its completion block has run.
    void waitUntilFinished();

  protected:
    // A subclass that keeps its own flags tells of each change with these two; the second,
    // for "isFinished" with isFinished() true, arms the finishing (completion block,
    // dependants, queue), which `deliverFinishIfNeeded` then runs once, outside the
    // subclass's lock.
    void willChangeValueForKey(std::string_view key);
    void didChangeValueForKey(std::string_view key);
    void deliverFinishIfNeeded();

  private:
    friend class OperationQueue;
    struct QueueLink;

    void readinessChanged();

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> finishArmed_{false};
    std::atomic<bool> finishDelivered_{false};

    mutable std::mutex mutex_;  // guards the members below
    std::condition_variable finishedChanged_;
    bool finishDone_ = false;
    std::string name_;
    Block completionBlock_;
    ChangeObserver observer_;
    std::vector<std::shared_ptr<Operation>> dependencies_;
    std::vector<std::weak_ptr<Operation>> dependants_;
    std::shared_ptr<QueueLink> queue_;
};

// An operation running blocks, one after another, on one thread.
class BlockOperation : public Operation {
  public:
    static std::shared_ptr<BlockOperation> make(Block block);
    void addExecutionBlock(Block block);
    void main() override;

  private:
    std::mutex blocksMutex_;
    std::vector<Block> blocks_;
};

// Runs operations when they are ready, first come first served, at most
// `maxConcurrentOperationCount` at once (a negative count: as many as its threads allow).
class OperationQueue {
  public:
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(std::string name = {});
    // Cancels nothing and starts nothing more: waits only for operations being started at
    // that moment (asynchronous ones already started finish on their own).
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    const std::string& name() const;
    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    // An operation that is finished, or held by a queue already, is refused with a log line.
    void addOperation(std::shared_ptr<Operation> operation);
    void addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                       bool waitUntilFinished);
    void addOperation(Operation::Block block);

    // The operations not yet finished, in the order they were added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

    // The queue whose operation is starting on this thread, if any.
    static OperationQueue* currentQueue();

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace talvor::kit
