#include "crash/WRKQueue.h"

#include <pthread.h>

#include <future>

#include "crash/WRKPlatform.h"
#include "crash/WRKProcess.h"
#include "crash/WRKSignal.h"

namespace talvor::crash {

WRKQueue::WRKQueue(std::string label, std::function<void()> idleTask,
                   std::chrono::milliseconds idleInterval)
    : label_(std::move(label)),
      idleTask_(std::move(idleTask)),
      idleInterval_(idleInterval),
      worker_([this] { run(); }) {}

WRKQueue::~WRKQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void WRKQueue::async(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    wake_.notify_one();
}

void WRKQueue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    std::promise<void> done;
    async([&] {
        block();
        done.set_value();
    });
    done.get_future().wait();
}

void WRKQueue::run() {
    // The kernel keeps 15 bytes of a thread name: the label's last part.
    const std::size_t dot = label_.rfind('.');
    const std::string name = dot == std::string::npos ? label_ : label_.substr(dot + 1);
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
    WRKSignalInstallThreadStack();
    const pid_t self = WRKCurrentThread();
    WRKProcessSetThreadQueueLabel(self, label_.c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool woken =
            wake_.wait_for(lock, idleInterval_, [this] { return stopping_ || !blocks_.empty(); });
        if (!blocks_.empty()) {
            auto block = std::move(blocks_.front());
            blocks_.pop_front();
            lock.unlock();
            block();
            lock.lock();
        } else if (stopping_) {
            break;
        } else if (!woken && idleTask_) {
            lock.unlock();
            idleTask_();
            lock.lock();
        }
    }
    lock.unlock();
    WRKProcessClearThreadQueueLabel(self);
    WRKSignalReleaseThreadStack();
}

}  // namespace talvor::crash
