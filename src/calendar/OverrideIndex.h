#pragma once

#include "ICalEvents.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace talvor::ical {

// The overrides (events with a RECURRENCE-ID) of each series of one calendar, by UID, found
// in one pass: matching every series against every event took n² steps, minutes for an
// export of 100,000 events. Points into `events`, which must outlive it unchanged.
class OverrideIndex {
  public:
    explicit OverrideIndex(const std::vector<CalendarEvent>& events) {
        for (const CalendarEvent& e : events) {
            if (e.recurrenceId) {
                byUid_[e.uid].push_back(&e);
            }
        }
    }

    const std::vector<const CalendarEvent*>& of(const std::string& uid) const {
        static const std::vector<const CalendarEvent*> kNone;
        const auto found = byUid_.find(uid);
        return found == byUid_.end() ? kNone : found->second;
    }

  private:
    std::unordered_map<std::string, std::vector<const CalendarEvent*>> byUid_;
};

}  // namespace talvor::ical
