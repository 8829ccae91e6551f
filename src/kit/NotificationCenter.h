#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/PropertyList.h"

// The kit's in-process notification centre (the kit has no Qt). Observers run on the
// posting thread, synchronously, and may remove themselves while they run.
namespace talvor::kit {

struct Notification {
    std::string name;
    // The sender, compared by address only; nullptr: none.
    const void* object = nullptr;
    PlistDictionary userInfo;
};

class NotificationCenter {
  public:
    using Observer = std::function<void()>;
    using NotificationObserver = std::function<void(const Notification& notification)>;
    using Token = std::uint64_t;

    static NotificationCenter& defaultCenter();

    Token addObserver(std::string name, Observer observer);
    // Observes `name` (empty: every name) posted by `object` (nullptr: any sender).
    Token addObserver(std::string name, const void* object, NotificationObserver observer);
    void removeObserver(Token token);
    void post(const std::string& name);
    void post(const std::string& name, const void* object, PlistDictionary userInfo = {});

  private:
    struct Entry {
        Token token;
        std::string name;
        const void* object;
        std::shared_ptr<NotificationObserver> observer;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token next_ = 1;
};

}  // namespace talvor::kit
