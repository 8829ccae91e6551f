// Operations and operation queues: order, dependencies, cancellation, concurrency limits.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "kit/Operation.h"

namespace talvor::kit {
namespace {

using test::LogCapture;

// An operation that records its name into a shared list when it runs.
std::shared_ptr<BlockOperation> recorder(std::vector<std::string>& out, std::mutex& mutex,
                                         std::string name) {
    auto op = BlockOperation::make([&out, &mutex, name] {
        std::lock_guard lock(mutex);
        out.push_back(name);
    });
    op->setName(name);
    return op;
}

TEST(kitOperationQueue, FifoSerial) {
    OperationQueue queue("io.tally.EventQueue");
    queue.setMaxConcurrentOperationCount(1);
    std::vector<std::string> ran;
    std::mutex mutex;
    std::vector<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        expected.push_back(std::to_string(i));
        queue.addOperation(recorder(ran, mutex, expected.back()));
    }
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, expected);
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(kitOperationQueue, DependencyAddedWhileQueued) {
    OperationQueue queue("test.deps");
    queue.setMaxConcurrentOperationCount(1);
    std::vector<std::string> ran;
    std::mutex mutex;
    std::latch release(1);
    auto gate = BlockOperation::make([&] { release.wait(); });
    auto write = recorder(ran, mutex, "write");
    auto activity = recorder(ran, mutex, "activity");
    queue.addOperation(gate);
    queue.addOperation(activity);  // waits behind the gate
    activity->addDependency(write);
    EXPECT_FALSE(activity->isReady());
    queue.addOperation(write);  // queued after the operation that depends on it
    release.count_down();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, (std::vector<std::string>{"write", "activity"}));
}

TEST(kitOperationQueue, CancelledBeforeStartFinishesWithoutMain) {
    struct Case {
        const char* what;
        bool queued;
    };
    for (const Case c : {Case{"started by hand", false}, Case{"on a queue", true}}) {
        std::atomic<int> ran{0};
        std::atomic<int> completions{0};
        auto op = BlockOperation::make([&] { ++ran; });
        op->setCompletionBlock([&] { ++completions; });
        op->cancel();
        EXPECT_TRUE(op->isReady()) << c.what;
        OperationQueue queue("test.cancelled");
        if (c.queued) {
            queue.addOperation(op);
            queue.waitUntilAllOperationsAreFinished();
        } else {
            op->start();
        }
        EXPECT_TRUE(op->isFinished()) << c.what;
        EXPECT_FALSE(op->isExecuting()) << c.what;
        EXPECT_EQ(ran.load(), 0) << c.what;
        EXPECT_EQ(completions.load(), 1) << c.what;
    }
}

TEST(kitOperationQueue, NoWorkAfterCancelAll) {
    OperationQueue queue("test.cancel-all");
    queue.setMaxConcurrentOperationCount(1);
    std::latch started(1);
    std::latch release(1);
    queue.addOperation([&] {
        started.count_down();
        release.wait();
    });
    std::atomic<int> ran{0};
    std::vector<std::shared_ptr<Operation>> waiting;
    for (int i = 0; i < 50; ++i) {
        waiting.push_back(BlockOperation::make([&] { ++ran; }));
        queue.addOperation(waiting.back());
    }
    // One that waits for another: cancelled, it no longer waits.
    auto never = BlockOperation::make([] {});
    waiting.back()->addDependency(never);
    started.wait();
    queue.cancelAllOperations();
    release.count_down();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 0);
    for (const auto& op : waiting) {
        EXPECT_TRUE(op->isFinished() && op->isCancelled());
    }
}

TEST(kitOperationQueue, CurrentQueueIdentity) {
    OperationQueue first("first");
    OperationQueue second("second");
    OperationQueue* seenFirst = nullptr;
    OperationQueue* seenSecond = nullptr;
    first.addOperation([&] { seenFirst = OperationQueue::currentQueue(); });
    second.addOperation([&] { seenSecond = OperationQueue::currentQueue(); });
    first.waitUntilAllOperationsAreFinished();
    second.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(seenFirst, &first);
    EXPECT_EQ(seenSecond, &second);
    EXPECT_EQ(OperationQueue::currentQueue(), nullptr);
}

TEST(kitOperationQueue, MaxConcurrentOperationCountIsKept) {
    for (const int limit : {1, 2, 3}) {
        OperationQueue queue("test.limit");
        queue.setMaxConcurrentOperationCount(limit);
        std::atomic<int> running{0};
        std::atomic<int> peak{0};
        for (int i = 0; i < 60; ++i) {
            queue.addOperation([&] {
                const int now = ++running;
                int seen = peak.load();
                while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                --running;
            });
        }
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_LE(peak.load(), limit);
        EXPECT_GE(peak.load(), 1);
    }
}

TEST(kitOperationQueue, CompletionBlockRunsOnceAfterFinishedAndWaitersWakeAfterIt) {
    OperationQueue queue("test.completion");
    std::atomic<int> completions{0};
    std::atomic<bool> finishedInCompletion{false};
    auto op = BlockOperation::make([] {});
    op->setCompletionBlock([&] {
        finishedInCompletion = op->isFinished();
        ++completions;
    });
    queue.addOperation(op);
    op->waitUntilFinished();
    EXPECT_EQ(completions.load(), 1);
    EXPECT_TRUE(finishedInCompletion);
    op->start();  // a finished operation does not run again
    EXPECT_EQ(completions.load(), 1);
    op->setCompletionBlock(nullptr);  // breaks the block's hold on the operation
}

TEST(kitOperationQueue, AnOperationIsQueuedOnce) {
    LogCapture log;
    OperationQueue queue("test.once");
    std::latch release(1);
    auto op = BlockOperation::make([&] { release.wait(); });
    op->setName("twice");
    queue.addOperation(op);
    OperationQueue other("test.other");
    other.addOperation(op);
    release.count_down();
    queue.waitUntilAllOperationsAreFinished();
    queue.addOperation(op);  // finished
    EXPECT_EQ(other.operationCount(), 0u);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0],
              "[Trellis] Operation \"twice\" is queued, running or finished already: not added");
}

TEST(kitOperationQueue, StateChangesAreObservable) {
    auto op = BlockOperation::make([] {});
    std::vector<std::string> seen;
    op->setChangeObserver([&](std::string_view key) {
        seen.push_back(std::string(key) + "=" +
                       (key == "isExecuting" ? (op->isExecuting() ? "YES" : "NO")
                                             : (op->isFinished() ? "YES" : "NO")));
    });
    op->start();
    op->setChangeObserver(nullptr);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"isExecuting=YES", "isExecuting=NO", "isFinished=YES"}));
}

}  // namespace
}  // namespace talvor::kit
