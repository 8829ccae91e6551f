#include "kit/NotificationCenter.h"

#include <algorithm>
#include <memory>

namespace talvor::kit {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    entries_.push_back({token, std::move(name), std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::post(const std::string& name) {
    std::vector<std::pair<Token, std::shared_ptr<Observer>>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.name == name) {
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
            (*observer)();
        }
    }
}

}  // namespace talvor::kit
