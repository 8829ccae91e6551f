#include "kit/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "kit/KitLog.h"

namespace talvor::kit {

struct DispatchQueue::Impl : std::enable_shared_from_this<Impl> {
    Impl(std::string l, std::size_t w, bool m) : label(std::move(l)), width(w), isMain(m) {}

    const std::string label;
    const std::size_t width;
    const bool isMain;

    std::mutex mutex;
    std::condition_variable available;
    std::deque<Work> pending;
    std::vector<std::thread> threads;
    std::size_t idle = 0;
    bool stopping = false;
    std::function<void(Work)> executor;  // the main queue's, when the application set one

    void enqueue(Work work);
    void runOne(const Work& work);
    void workerLoop();
    void stop();
};

namespace {

thread_local const DispatchQueue::Impl* currentQueue = nullptr;

// Marks the running work as the queue's for isCurrent and currentLabel.
class CurrentQueueScope {
  public:
    explicit CurrentQueueScope(const DispatchQueue::Impl* queue)
        : previous_(std::exchange(currentQueue, queue)) {}
    ~CurrentQueueScope() { currentQueue = previous_; }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

  private:
    const DispatchQueue::Impl* previous_;
};

std::size_t processorWidth() {
    return std::max<std::size_t>(2, std::thread::hardware_concurrency());
}

}  // namespace

void DispatchQueue::Impl::runOne(const Work& work) {
    CurrentQueueScope scope(this);
    try {
        work();
    } catch (const std::exception& e) {
        // One faulty item must not take the queue's thread, and every later item, with it.
        log(KitLogLevel::Error,
            "[Trellis] Work on the queue \"" + label + "\" ended with an exception: " + e.what());
    } catch (...) {
        log(KitLogLevel::Error,
            "[Trellis] Work on the queue \"" + label + "\" ended with an exception");
    }
}

void DispatchQueue::Impl::enqueue(Work work) {
    std::unique_lock lock(mutex);
    if (isMain) {
        if (executor) {
            auto run = executor;
            lock.unlock();
            run([self = shared_from_this(), work = std::move(work)] { self->runOne(work); });
            return;
        }
        pending.push_back(std::move(work));
        return;
    }
    pending.push_back(std::move(work));
    // Each waiting thread takes one item; items beyond them get a thread of their own while
    // the width allows.
    if (pending.size() > idle && threads.size() < width && !stopping) {
        threads.emplace_back([self = shared_from_this()] { self->workerLoop(); });
    }
    if (idle > 0) {
        available.notify_one();
    }
}

void DispatchQueue::Impl::workerLoop() {
    std::unique_lock lock(mutex);
    for (;;) {
        if (pending.empty()) {
            if (stopping) {
                return;
            }
            ++idle;
            available.wait(lock, [this] { return !pending.empty() || stopping; });
            --idle;
            continue;
        }
        Work work = std::move(pending.front());
        pending.pop_front();
        lock.unlock();
        runOne(work);
        work = nullptr;  // the work's captures go before the lock is taken again
        lock.lock();
    }
}

void DispatchQueue::Impl::stop() {
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        workers.swap(threads);
    }
    available.notify_all();
    for (std::thread& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id()) {
            worker.detach();  // the queue was released by its own work; that thread ends it
        } else {
            worker.join();
        }
    }
}

DispatchQueue::DispatchQueue(std::string label) : DispatchQueue(std::move(label), 1, false) {}

DispatchQueue::DispatchQueue(std::string label, std::size_t width, bool main)
    : impl_(std::make_shared<Impl>(std::move(label), width, main)) {}

std::unique_ptr<DispatchQueue> DispatchQueue::concurrent(std::string label, std::size_t width) {
    return std::unique_ptr<DispatchQueue>(
        new DispatchQueue(std::move(label), width == 0 ? processorWidth() : width, false));
}

DispatchQueue::~DispatchQueue() {
    impl_->stop();
}

DispatchQueue& DispatchQueue::global() {
    // Never destroyed: work may be given to it while the process exits.
    static DispatchQueue* queue = new DispatchQueue("global", processorWidth(), false);
    return *queue;
}

DispatchQueue& DispatchQueue::main() {
    static DispatchQueue* queue = new DispatchQueue("main", 1, true);
    return *queue;
}

void DispatchQueue::setMainExecutor(std::function<void(Work)> executor) {
    Impl& impl = *main().impl_;
    std::deque<Work> waiting;
    {
        std::lock_guard lock(impl.mutex);
        impl.executor = std::move(executor);
        if (impl.executor) {
            waiting.swap(impl.pending);
        }
    }
    for (Work& work : waiting) {
        impl.enqueue(std::move(work));
    }
}

std::size_t DispatchQueue::drainMain() {
    Impl& impl = *main().impl_;
    std::size_t ran = 0;
    for (;;) {
        Work work;
        {
            std::lock_guard lock(impl.mutex);
            if (impl.pending.empty()) {
                return ran;
            }
            work = std::move(impl.pending.front());
            impl.pending.pop_front();
        }
        impl.runOne(work);
        ++ran;
    }
}

const std::string& DispatchQueue::label() const {
    return impl_->label;
}

bool DispatchQueue::isSerial() const {
    return impl_->width == 1;
}

void DispatchQueue::async(Work work) {
    impl_->enqueue(std::move(work));
}

void DispatchQueue::sync(const Work& work) {
    if (isCurrent()) {
        throw std::logic_error("sync onto the queue \"" + label() + "\" from its own work");
    }
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    std::exception_ptr failure;
    impl_->enqueue([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        doneChanged.notify_one();
    });
    std::unique_lock lock(mutex);
    doneChanged.wait(lock, [&] { return done; });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

struct DispatchQueue::Timer::State {
    std::atomic<bool> cancelled{false};
    Clock* clock = nullptr;
    std::atomic<Clock::TimerId> id{0};
};

DispatchQueue::Timer DispatchQueue::after(Clock::Duration delay, Work work) {
    return after(Clock::shared(), delay, std::move(work));
}

DispatchQueue::Timer DispatchQueue::after(Clock& clock, Clock::Duration delay, Work work) {
    Timer timer;
    timer.state_ = std::make_shared<Timer::State>();
    timer.state_->clock = &clock;
    std::weak_ptr<Impl> queue = impl_;
    timer.state_->id =
        clock.schedule(delay, [queue, state = timer.state_, work = std::move(work)]() mutable {
            if (state->cancelled) {
                return;
            }
            if (const auto impl = queue.lock()) {
                impl->enqueue([state, work = std::move(work)] {
                    if (!state->cancelled) {
                        work();
                    }
                });
            }
        });
    return timer;
}

void DispatchQueue::Timer::cancel() {
    if (state_ && !state_->cancelled.exchange(true)) {
        state_->clock->cancel(state_->id);
    }
}

bool DispatchQueue::Timer::isCancelled() const {
    return state_ && state_->cancelled;
}

bool DispatchQueue::isCurrent() const {
    return currentQueue == impl_.get();
}

std::optional<std::string> DispatchQueue::currentLabel() {
    return currentQueue ? std::optional<std::string>(currentQueue->label) : std::nullopt;
}

struct DispatchTimer::State : std::enable_shared_from_this<State> {
    std::mutex mutex;
    bool cancelled = false;
    Clock* clock = nullptr;
    Clock::TimerId id = 0;
    std::weak_ptr<DispatchQueue::Impl> queue;
    DispatchQueue::Work handler;
    Clock::Duration interval{};
    Clock::Duration deadline{};

    // Under the mutex.
    void arm() {
        std::weak_ptr<State> weak = weak_from_this();
        id = clock->schedule(deadline - clock->monotonic(), [weak] {
            if (const auto state = weak.lock()) {
                state->fire();
            }
        });
    }

    void fire() {
        std::shared_ptr<DispatchQueue::Impl> target;
        {
            std::lock_guard lock(mutex);
            if (cancelled) {
                return;
            }
            // The next deadline follows the last one, not the late firing, so the timer does
            // not drift; deadlines missed altogether (a suspended machine) are not made up.
            const auto now = clock->monotonic();
            deadline += interval;
            if (deadline <= now) {
                deadline = now + interval;
            }
            arm();
            target = queue.lock();
        }
        if (target) {
            target->enqueue([weak = weak_from_this()] {
                const auto state = weak.lock();
                if (!state) {
                    return;
                }
                DispatchQueue::Work work;
                {
                    std::lock_guard lock(state->mutex);
                    if (state->cancelled) {
                        return;
                    }
                    work = state->handler;
                }
                work();
            });
        }
    }
};

DispatchTimer::DispatchTimer(DispatchQueue& queue, Clock::Duration interval,
                             DispatchQueue::Work handler, Clock& clock)
    : DispatchTimer(queue, interval, interval, Clock::Duration::zero(), std::move(handler), clock) {
}

DispatchTimer::DispatchTimer(DispatchQueue& queue, Clock::Duration start, Clock::Duration interval,
                             Clock::Duration leeway, DispatchQueue::Work handler, Clock& clock)
    : state_(std::make_shared<State>()),
      interval_(std::max(interval, Clock::Duration(1))),
      leeway_(leeway) {
    state_->clock = &clock;
    state_->queue = queue.impl_;
    state_->handler = std::move(handler);
    state_->interval = interval_;
    std::lock_guard lock(state_->mutex);
    state_->deadline = clock.monotonic() + std::max(start, Clock::Duration::zero());
    state_->arm();
}

DispatchTimer::~DispatchTimer() {
    cancel();
}

void DispatchTimer::cancel() {
    std::lock_guard lock(state_->mutex);
    if (!state_->cancelled) {
        state_->cancelled = true;
        state_->clock->cancel(state_->id);
    }
}

bool DispatchTimer::isCancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

}  // namespace talvor::kit
