#pragma once

#include "platform/UserTimers.h"

#include <algorithm>
#include <vector>

namespace talvor::test {

// Keeps the timers it is given instead of asking a service manager; installed while alive.
class FakeUserTimers : public platform::UserTimers {
  public:
    FakeUserTimers() { platform::UserTimers::setShared(this); }
    ~FakeUserTimers() override { platform::UserTimers::setShared(nullptr); }
    FakeUserTimers(const FakeUserTimers&) = delete;
    FakeUserTimers& operator=(const FakeUserTimers&) = delete;

    bool isAvailable() override { return available; }
    bool schedule(const Timer& timer) override {
        ++attempts;
        if (!available || refuses) {
            return false;
        }
        timers.push_back(timer);
        return true;
    }
    void removeAll(const QString& prefix) override {
        std::erase_if(timers, [&](const Timer& t) { return t.unit.startsWith(prefix); });
    }
    QStringList list(const QString& prefix) override {
        QStringList units;
        for (const Timer& t : timers) {
            if (t.unit.startsWith(prefix)) {
                units << t.unit;
            }
        }
        return units;
    }

    bool available = true;
    // Answers, but takes no timer.
    bool refuses = false;
    int attempts = 0;
    std::vector<Timer> timers;
};

}  // namespace talvor::test
