#pragma once

#include "platform/UserTimers.h"

#include <map>
#include <vector>

namespace talvor::test {

// Keeps the timers it is handed, by group, instead of asking a service manager; installed
// while alive.
class FakeUserTimers : public platform::UserTimers {
  public:
    FakeUserTimers() { platform::UserTimers::setShared(this); }
    ~FakeUserTimers() override { platform::UserTimers::setShared(nullptr); }
    FakeUserTimers(const FakeUserTimers&) = delete;
    FakeUserTimers& operator=(const FakeUserTimers&) = delete;

    bool isAvailable() override { return available; }
    HandOver handOver(const QString& group, const std::vector<Timer>& given) override {
        ++handOvers;
        HandOver out;
        std::vector<Timer>& kept = groups[group];
        kept.clear();
        for (std::size_t i = 0; i < given.size(); ++i) {
            if (!available || i >= takesAtMost) {
                out.notTaken.push_back(i);
            } else {
                kept.push_back(given[i]);
            }
        }
        if (!out.notTaken.empty()) {
            out.reason = QStringLiteral("the fake took %1").arg(kept.size());
        }
        return out;
    }
    bool takeBack(const QString& group, const QString& legacyPrefix) override {
        ++takeBacks;
        groups.erase(group);
        takenBackLegacy = legacyPrefix;
        return available;
    }

    // Everything handed over, in any group.
    std::vector<Timer> timers() const {
        std::vector<Timer> all;
        for (const auto& [group, kept] : groups) {
            all.insert(all.end(), kept.begin(), kept.end());
        }
        return all;
    }

    bool available = true;
    // Takes the first this many of a hand-over, as a manager whose folder fills up.
    std::size_t takesAtMost = static_cast<std::size_t>(-1);
    int handOvers = 0;
    int takeBacks = 0;
    QString takenBackLegacy;
    std::map<QString, std::vector<Timer>> groups;
};

}  // namespace talvor::test
