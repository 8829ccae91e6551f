#pragma once

// A machine zone that is never changed: tests read the requests and answer them when they
// choose, as the system does after its password dialog.

#include "platform/TimeZoneSetter.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace talvor::test {

class FakeTimeZoneSetter : public platform::TimeZoneSetter {
  public:
    void setTimeZone(const QString& zoneId, Reply reply) override {
        requests << zoneId;
        pending.push_back(std::move(reply));
    }
    // Answers the oldest open request; false when none is open.
    bool answer(std::optional<platform::TimeZoneFailure> failure = std::nullopt) {
        if (pending.empty()) {
            return false;
        }
        Reply reply = std::move(pending.front());
        pending.erase(pending.begin());
        reply(std::move(failure));
        return true;
    }
    QStringList requests;
    std::vector<Reply> pending;
};

}  // namespace talvor::test
