#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A serial queue: one worker thread runs the blocks in the order they were added. An idle
// task, when given, runs whenever the queue has had nothing to do for `idleInterval`.
namespace talvor::crash {

class WRKQueue {
  public:
    explicit WRKQueue(std::string label, std::function<void()> idleTask = {},
                      std::chrono::milliseconds idleInterval = std::chrono::seconds(2));
    ~WRKQueue();
    WRKQueue(const WRKQueue&) = delete;
    WRKQueue& operator=(const WRKQueue&) = delete;

    const std::string& label() const { return label_; }
    void async(std::function<void()> block);
    // Runs the block on the queue and waits for it. Called from the queue's own thread it
    // runs the block at once, since waiting there for itself would never end.
    void sync(const std::function<void()>& block);
    bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

  private:
    void run();

    std::string label_;
    std::function<void()> idleTask_;
    std::chrono::milliseconds idleInterval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace talvor::crash
