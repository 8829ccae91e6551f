#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The kit's in-process notification centre (the kit has no Qt). Observers run on the
// posting thread, synchronously, and may remove themselves while they run.
namespace talvor::kit {

class NotificationCenter {
  public:
    using Observer = std::function<void()>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    Token addObserver(std::string name, Observer observer);
    void removeObserver(Token token);
    void post(const std::string& name);

  private:
    struct Entry {
        Token token;
        std::string name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token next_ = 1;
};

}  // namespace talvor::kit
