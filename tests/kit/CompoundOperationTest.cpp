// Compound operations: outcomes of their members, cancellation before and during the run,
// and one completion under a thousand members finishing on many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KitErrorPrinter.h"
#include "kit/DispatchQueue.h"
#include "kit/KitKeys.h"
#include "kit/Operation.h"
#include "kit/TRLAsyncOperation.h"
#include "kit/TRLCompoundOperation.h"

namespace talvor::kit {
namespace {

const std::string kCountingQueue = keys::TRLCompoundOperationCountingQueueLabel;

KitError memberError(int i) {
    return {"test.member", i, "member " + std::to_string(i), {}};
}

// A member whose work ends on another thread, with `error`, unless it is held: then it ends
// when the test releases it.
class Member final : public TRLAsyncOperation {
  public:
    explicit Member(std::optional<KitError> error, bool held = false)
        : error_(std::move(error)), held_(held) {}

    void main() override {
        ++mains;
        if (held_) {
            return;
        }
        DispatchQueue::global().async(
            [self = std::static_pointer_cast<Member>(shared_from_this())] { self->release(); });
    }
    void release() { finishWithError(error_); }

    std::atomic<int> mains{0};

  private:
    std::optional<KitError> error_;
    bool held_;
};

// What the compound and its members' own callbacks saw.
struct Watch {
    std::atomic<int> completions{0};
    std::optional<KitError> error;
    std::atomic<int> memberCompletions{0};
    std::atomic<int> memberBlocks{0};
    std::atomic<int> offCountingQueue{0};

    void attach(TRLCompoundOperation& compound) {
        compound.setAsyncCompletion([this](const std::optional<KitError>& e) {
            error = e;
            ++completions;
        });
    }
    // The members' own completions keep running, now on the counting queue.
    void attach(TRLAsyncOperation& member) {
        member.setAsyncCompletion([this](const std::optional<KitError>&) {
            ++memberCompletions;
            if (DispatchQueue::currentLabel() != kCountingQueue) {
                ++offCountingQueue;
            }
        });
        member.setCompletionBlock([this] {
            ++memberBlocks;
            if (DispatchQueue::currentLabel() != kCountingQueue) {
                ++offCountingQueue;
            }
        });
    }
};

enum class Outcome { Succeeds, Fails, CancelledBeforeStart };

TEST(kitCompoundOperation, OutcomeTable) {
    struct Case {
        const char* what;
        std::vector<Outcome> members;
        std::optional<KitError> expected;
        std::uint64_t completed;
    };
    const auto failed = [](std::vector<KitError> errors) {
        return TRLCompoundOperation::failedError(std::move(errors));
    };
    const Case cases[] = {
        {"all succeed", {Outcome::Succeeds, Outcome::Succeeds, Outcome::Succeeds}, std::nullopt, 3},
        {"one of two fails", {Outcome::Succeeds, Outcome::Fails}, failed({memberError(1)}), 1},
        {"all fail", {Outcome::Fails, Outcome::Fails}, failed({memberError(0), memberError(1)}), 0},
        {"no members: finishes at once", {}, std::nullopt, 0},
        {"a member cancelled before it started counts as cancelled",
         {Outcome::Succeeds, Outcome::CancelledBeforeStart},
         failed({TRLCompoundOperation::cancelledError("member-1")}),
         1},
    };
    for (const Case& c : cases) {
        auto compound = std::make_shared<TRLCompoundOperation>();
        Watch watch;
        watch.attach(*compound);
        std::vector<std::shared_ptr<TRLAsyncOperation>> members;
        for (std::size_t i = 0; i < c.members.size(); ++i) {
            const int n = static_cast<int>(i);
            auto member = std::make_shared<Member>(c.members[i] == Outcome::Fails
                                                       ? std::optional<KitError>(memberError(n))
                                                       : std::nullopt);
            member->setName("member-" + std::to_string(n));
            if (c.members[i] == Outcome::CancelledBeforeStart) {
                member->cancel();
            }
            members.push_back(member);
        }
        compound->setOperations(members);
        OperationQueue queue("test.compound");
        queue.addOperation(compound);
        compound->waitUntilFinished();

        EXPECT_EQ(watch.completions.load(), 1) << c.what;
        // Failed errors list their members in the order they reported.
        std::optional<KitError> error = watch.error;
        if (error) {
            std::sort(error->underlyingErrors.begin(), error->underlyingErrors.end(),
                      [](const KitError& a, const KitError& b) { return a.code < b.code; });
        }
        EXPECT_EQ(error, c.expected) << c.what;
        EXPECT_EQ(compound->completedOperations(), c.completed) << c.what;
        // The compound ends when every member has reported; the last may still be
        // finishing then.
        compound->compoundQueue().waitUntilAllOperationsAreFinished();
        for (const auto& member : members) {
            EXPECT_TRUE(member->isFinished()) << c.what;
        }
    }
}

TEST(kitCompoundOperation, CancellingARunningCompoundFinishesItOnceWithTheCancelledError) {
    auto compound = std::make_shared<TRLCompoundOperation>();
    compound->setName("Upload batch");
    Watch watch;
    watch.attach(*compound);
    std::vector<std::shared_ptr<Member>> members;
    for (int i = 0; i < 3; ++i) {
        members.push_back(std::make_shared<Member>(std::nullopt, /*held=*/true));
        watch.attach(*members.back());
    }
    compound->setOperations({members.begin(), members.end()});
    OperationQueue queue("test.cancel-running");
    queue.addOperation(compound);
    for (const auto& member : members) {
        while (member->mains.load() == 0) {
            std::this_thread::yield();
        }
    }
    members[0]->release();  // one reports before the cancel
    compound->cancel();
    compound->waitUntilFinished();
    EXPECT_EQ(watch.completions.load(), 1);
    const KitError expected{
        keys::TRLCompoundOperationErrorDomain, 0xFFFFFFFE, "Upload batch cancelled", {}};
    EXPECT_EQ(watch.error, expected);
    EXPECT_FALSE(members[0]->isCancelled()) << "finished before the cancel";
    EXPECT_TRUE(members[1]->isCancelled() && members[2]->isCancelled());
    // The members report afterwards: nothing more reaches the compound's owner.
    members[1]->release();
    members[2]->release();
    compound->compoundQueue().waitUntilAllOperationsAreFinished();
    EXPECT_EQ(watch.completions.load(), 1);
    EXPECT_EQ(watch.memberCompletions.load(), 3);
    EXPECT_EQ(watch.memberBlocks.load(), 3);
    EXPECT_EQ(watch.offCountingQueue.load(), 0);
}

TEST(kitCompoundOperation, CancellingBeforeTheStartFinishesTheMembersWithoutRunningThem) {
    auto compound = std::make_shared<TRLCompoundOperation>();
    Watch watch;
    watch.attach(*compound);
    std::vector<std::shared_ptr<Member>> members;
    for (int i = 0; i < 3; ++i) {
        members.push_back(std::make_shared<Member>(std::nullopt));
    }
    compound->setOperations({members.begin(), members.end()});
    compound->cancel();
    for (const auto& member : members) {
        member->waitUntilFinished();
        EXPECT_EQ(member->mains.load(), 0);
    }
    OperationQueue queue("test.cancel-before");
    queue.addOperation(compound);
    compound->waitUntilFinished();
    EXPECT_FALSE(compound->isExecuting());
    EXPECT_EQ(watch.completions.load(), 0);  // a cancelled operation never started
}

TEST(kitCompoundOperation, OneCompletionUnderAThousandConcurrentMembers) {
    constexpr int kMembers = 1000;
    for (int round = 0; round < 5; ++round) {
        auto compound = std::make_shared<TRLCompoundOperation>();
        Watch watch;
        watch.attach(*compound);
        std::vector<std::shared_ptr<TRLAsyncOperation>> members;
        int failures = 0;
        for (int i = 0; i < kMembers; ++i) {
            const bool fails = (i + round) % 7 == 0;
            failures += fails ? 1 : 0;
            members.push_back(std::make_shared<Member>(
                fails ? std::optional<KitError>(memberError(i)) : std::nullopt));
            watch.attach(*members.back());
        }
        compound->setOperations(members);
        OperationQueue queue("test.thousand");
        queue.addOperation(compound);
        compound->waitUntilFinished();
        queue.waitUntilAllOperationsAreFinished();
        compound->compoundQueue().waitUntilAllOperationsAreFinished();

        EXPECT_EQ(watch.completions.load(), 1) << "round " << round;
        ASSERT_TRUE(watch.error.has_value());
        EXPECT_EQ(watch.error->code, keys::TRLCompoundOperationErrorCodeFailed);
        EXPECT_EQ(watch.error->underlyingErrors.size(), static_cast<std::size_t>(failures));
        EXPECT_EQ(compound->errors().size(), static_cast<std::size_t>(failures));
        EXPECT_EQ(compound->completedOperations(), static_cast<std::uint64_t>(kMembers - failures));
        EXPECT_EQ(watch.memberCompletions.load(), kMembers);
        EXPECT_EQ(watch.memberBlocks.load(), kMembers);
        EXPECT_EQ(watch.offCountingQueue.load(), 0);
    }
}

TEST(kitCompoundOperation, OneCompletionWhenACancelRacesAThousandMembers) {
    constexpr int kMembers = 1000;
    for (int round = 0; round < 5; ++round) {
        auto compound = std::make_shared<TRLCompoundOperation>();
        compound->setName("race");
        Watch watch;
        watch.attach(*compound);
        std::vector<std::shared_ptr<TRLAsyncOperation>> members;
        for (int i = 0; i < kMembers; ++i) {
            members.push_back(std::make_shared<Member>(std::nullopt));
        }
        compound->setOperations(members);
        OperationQueue queue("test.race");
        queue.addOperation(compound);
        while (!compound->isExecuting() && !compound->isFinished()) {
            std::this_thread::yield();
        }
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(100 * round));
            compound->cancel();
        });
        canceller.join();
        compound->waitUntilFinished();
        compound->compoundQueue().waitUntilAllOperationsAreFinished();
        EXPECT_EQ(watch.completions.load(), 1) << "round " << round;
        // Cancelled, unless every member had reported before the cancel.
        if (watch.error) {
            EXPECT_EQ(*watch.error, TRLCompoundOperation::cancelledError("race"));
        } else {
            EXPECT_EQ(compound->completedOperations(), static_cast<std::uint64_t>(kMembers));
        }
    }
}

TEST(kitCompoundOperation, TheOwnersCompletionMayCancelTheCompound) {
    for (const int memberCount : {0, 1, 3}) {
        auto compound = std::make_shared<TRLCompoundOperation>();
        std::atomic<int> completions{0};
        compound->setAsyncCompletion([&, raw = compound.get()](const std::optional<KitError>&) {
            ++completions;
            raw->cancel();  // an owner tidying up from its callback must not hang
        });
        std::vector<std::shared_ptr<TRLAsyncOperation>> members;
        for (int i = 0; i < memberCount; ++i) {
            members.push_back(std::make_shared<Member>(std::nullopt));
        }
        compound->setOperations(members);
        OperationQueue queue("test.cancel-in-completion");
        queue.addOperation(compound);
        compound->waitUntilFinished();
        compound->compoundQueue().waitUntilAllOperationsAreFinished();
        EXPECT_EQ(completions.load(), 1) << memberCount << " members";
        EXPECT_TRUE(compound->isCancelled());
    }
}

TEST(kitCompoundOperation, AReleasedCompoundStopsCountingButMembersKeepTheirCallbacks) {
    Watch watch;
    std::vector<std::shared_ptr<Member>> members;
    {
        auto compound = std::make_shared<TRLCompoundOperation>();
        watch.attach(*compound);
        for (int i = 0; i < 2; ++i) {
            members.push_back(std::make_shared<Member>(std::nullopt, /*held=*/true));
            watch.attach(*members.back());
        }
        compound->setOperations({members.begin(), members.end()});
        compound->start();
        for (const auto& member : members) {
            while (member->mains.load() == 0) {
                std::this_thread::yield();
            }
        }
    }
    for (const auto& member : members) {
        member->release();
        EXPECT_TRUE(member->isFinished());
    }
    EXPECT_EQ(watch.completions.load(), 0);
    EXPECT_EQ(watch.memberCompletions.load(), 2);
    EXPECT_EQ(watch.memberBlocks.load(), 2);
}

}  // namespace
}  // namespace talvor::kit
