#include "ObjectExtras.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <future>
#include <mutex>
#include <unordered_map>

namespace talvor::ObjectExtras {
namespace {

// Fulfils the waiter's promise when the last copy of the posted work goes away, whether the
// work ran or was dropped.
class Completion {
  public:
    explicit Completion(std::promise<void> promise) : promise_(std::move(promise)) {}
    ~Completion() { promise_.set_value(); }
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

  private:
    std::promise<void> promise_;
};

// The handles of delayed performs not yet fired. Kept outside the timers' own actions so
// that a scheduler destroyed with timers pending never has its handles call back into it;
// never destroyed for the same reason.
struct PendingTimers {
    std::mutex mutex;
    std::unordered_map<std::uint64_t, platform::TimerHandle> handles;
    std::uint64_t nextKey = 1;
};

PendingTimers& pendingTimers() {
    static auto* pending = new PendingTimers;
    return *pending;
}

}  // namespace

bool isMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void performSelector(Invocation<> invocation, double afterDelay, platform::Scheduler& scheduler) {
    if (!(afterDelay > 0)) {
        invocation.invoke();
        return;
    }
    // Timers live on the main loop, so a delay asked for on another thread is set up there.
    auto schedule = [invocation = std::move(invocation), afterDelay, &scheduler] {
        PendingTimers& pending = pendingTimers();
        std::uint64_t key = 0;
        {
            std::lock_guard lock(pending.mutex);
            key = pending.nextKey++;
        }
        platform::TimerHandle handle = scheduler.scheduleAfter(afterDelay, [invocation, key] {
            platform::TimerHandle fired;
            {
                PendingTimers& p = pendingTimers();
                std::lock_guard lock(p.mutex);
                if (auto it = p.handles.find(key); it != p.handles.end()) {
                    fired = std::move(it->second);
                    p.handles.erase(it);
                }
            }
            invocation.invoke();
        });
        std::lock_guard lock(pending.mutex);
        pending.handles.emplace(key, std::move(handle));
    };
    if (isMainThread()) {
        schedule();
    } else {
        scheduler.postToMain(std::move(schedule));
    }
}

void performSelectorOnMainThread(Invocation<> invocation, bool waitUntilDone,
                                 platform::Scheduler& scheduler) {
    if (waitUntilDone && isMainThread()) {
        invocation.invoke();
        return;
    }
    if (!waitUntilDone) {
        scheduler.postToMain([invocation = std::move(invocation)] { invocation.invoke(); });
        return;
    }
    std::promise<void> promise;
    std::future<void> done = promise.get_future();
    {
        auto completion = std::make_shared<Completion>(std::move(promise));
        scheduler.postToMain(
            [invocation = std::move(invocation), completion] { invocation.invoke(); });
    }
    done.wait();
}

}  // namespace talvor::ObjectExtras
