#include "kit/NotificationCenter.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace talvor::kit {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    return addObserver(std::move(name), nullptr,
                       [observer = std::move(observer)](const Notification&) { observer(); });
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object,
                                                          NotificationObserver observer) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    entries_.push_back({token, std::move(name), object,
                        std::make_shared<NotificationObserver>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const std::string& name) {
    post(name, nullptr);
}

void NotificationCenter::post(const std::string& name, const void* object,
                              PlistDictionary userInfo) {
    const Notification notification{name, object, std::move(userInfo)};
    std::vector<std::pair<Token, std::shared_ptr<NotificationObserver>>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if ((e.name.empty() || e.name == name) && (!e.object || e.object == object)) {
                matching.emplace_back(e.token, e.observer);
            }
        }
    }
    for (const auto& [token, observer] : matching) {
        // One removed by an earlier observer of this post is not called.
        bool present = false;
        {
            std::lock_guard lock(mutex_);
            present = std::any_of(entries_.begin(), entries_.end(),
                                  [token = token](const Entry& e) { return e.token == token; });
        }
        if (present) {
            (*observer)(notification);
        }
    }
}

}  // namespace talvor::kit
