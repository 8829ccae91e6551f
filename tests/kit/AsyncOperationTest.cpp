// Asynchronous operations: the state table, cancellation before and during the work, and a
// completion that runs once.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KitErrorPrinter.h"
#include "kit/KitKeys.h"
#include "kit/Operation.h"
#include "kit/TRLAsyncOperation.h"
#include "kit/TRLCompoundOperation.h"

namespace talvor::kit {
namespace {

// An asynchronous operation whose work the test ends by hand.
class ManualOperation final : public TRLAsyncOperation {
  public:
    void main() override { ++mains; }
    std::atomic<int> mains{0};
};

enum class Step { Start, Cancel, Finish, FinishWithError };

std::string flags(const Operation& op) {
    return std::string(op.isExecuting() ? "E" : "-") + (op.isFinished() ? "F" : "-");
}

TEST(kitAsyncOperation, StateTable) {
    const KitError failure{"test", 7, std::nullopt, {}};
    struct Case {
        const char* what;
        std::vector<Step> steps;
        // Each state notice as key:flags, the flags read inside the notice.
        std::vector<std::string> notices;
        std::string finalFlags;
        int mains;
        std::vector<std::optional<KitError>> completions;
    };
    const Case cases[] = {
        {"runs, then its work ends",
         {Step::Start, Step::Finish},
         {"isExecuting:E-", "isExecuting:--", "isFinished:-F"},
         "-F",
         1,
         {std::nullopt}},
        {"started, work not ended yet", {Step::Start}, {"isExecuting:E-"}, "E-", 1, {}},
        {"cancelled before start: finished, no main, no completion",
         {Step::Cancel, Step::Start},
         {"isCancelled:--", "isExecuting:--", "isFinished:-F"},
         "-F",
         0,
         {}},
        {"cancelled while running: runs on until its work ends",
         {Step::Start, Step::Cancel, Step::FinishWithError},
         {"isExecuting:E-", "isCancelled:E-", "isExecuting:--", "isFinished:-F"},
         "-F",
         1,
         {failure}},
        {"ended twice: the completion runs once",
         {Step::Start, Step::Finish, Step::FinishWithError},
         {"isExecuting:E-", "isExecuting:--", "isFinished:-F"},
         "-F",
         1,
         {std::nullopt}},
        {"started twice: runs once",
         {Step::Start, Step::Start, Step::Finish},
         {"isExecuting:E-", "isExecuting:--", "isFinished:-F"},
         "-F",
         1,
         {std::nullopt}},
    };
    for (const Case& c : cases) {
        auto op = std::make_shared<ManualOperation>();
        std::vector<std::string> notices;
        std::vector<std::optional<KitError>> completions;
        // The notices come while the operation holds its lock: reading the flags there must
        // not block (the lock is recursive).
        op->setChangeObserver([&, raw = op.get()](std::string_view key) {
            notices.push_back(std::string(key) + ":" + flags(*raw));
        });
        op->setAsyncCompletion(
            [&](const std::optional<KitError>& error) { completions.push_back(error); });
        for (const Step step : c.steps) {
            switch (step) {
                case Step::Start:
                    op->start();
                    break;
                case Step::Cancel:
                    op->cancel();
                    break;
                case Step::Finish:
                    op->finishWithError(std::nullopt);
                    break;
                case Step::FinishWithError:
                    op->finishWithError(failure);
                    break;
            }
        }
        EXPECT_EQ(notices, c.notices) << c.what;
        EXPECT_EQ(flags(*op), c.finalFlags) << c.what;
        EXPECT_EQ(op->mains.load(), c.mains) << c.what;
        EXPECT_EQ(completions, c.completions) << c.what;
        EXPECT_TRUE(op->isAsynchronous() && op->isConcurrent());
    }
}

TEST(kitAsyncOperation, LockIsNamedAfterTheClass) {
    EXPECT_EQ(ManualOperation().lockName(), "com.quillon.TRLAsyncOperation-lock");
    EXPECT_EQ(TRLCompoundOperation().lockName(), "com.quillon.TRLCompoundOperation-lock");
}

TEST(kitAsyncOperation, QueueWaitsUntilTheWorkEndsOnAnotherThread) {
    OperationQueue queue("test.async");
    auto op = std::make_shared<ManualOperation>();
    std::atomic<bool> completed{false};
    op->setAsyncCompletion([&](const std::optional<KitError>&) { completed = true; });
    queue.addOperation(op);
    while (op->mains.load() == 0) {
        std::this_thread::yield();
    }
    // main has returned; the operation stays executing and the queue holds it.
    EXPECT_EQ(flags(*op), "E-");
    EXPECT_EQ(queue.operationCount(), 1u);
    std::thread([op] { op->finishWithError(std::nullopt); }).join();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(completed);
    EXPECT_EQ(flags(*op), "-F");
}

TEST(kitAsyncOperation, DependantsWaitForTheAsynchronousEnd) {
    OperationQueue queue("test.async-deps");
    auto first = std::make_shared<ManualOperation>();
    std::atomic<bool> secondRan{false};
    auto second = BlockOperation::make([&] { secondRan = true; });
    second->addDependency(first);
    queue.addOperation(second);
    queue.addOperation(first);
    while (first->mains.load() == 0) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(secondRan);
    first->finishWithError(std::nullopt);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(secondRan);
}

}  // namespace
}  // namespace talvor::kit
