#pragma once

// A calendar store held in memory: tests put calendars and occurrences in, and read back
// what was saved and removed. Recurrences are whatever occurrences the test lists.

#include "platform/CalendarStore.h"

#include <algorithm>
#include <vector>

namespace talvor::test {

class FakeCalendarStore : public platform::CalendarStore {
  public:
    std::vector<platform::StoreCalendar> calendars() const override {
        ++calendarCalls;
        return calendarList;
    }
    std::vector<platform::StoreOccurrence> events(Date start, Date end,
                                                  const QStringList& ids) const override {
        ++eventCalls;
        std::vector<platform::StoreOccurrence> out;
        for (const auto& o : occurrences) {
            const bool overlaps = o.end > start || (o.end == o.start && o.start >= start);
            if (overlaps && o.start < end && (ids.isEmpty() || ids.contains(o.calendarId))) {
                out.push_back(o);
            }
        }
        std::stable_sort(out.begin(), out.end(),
                         [](const auto& a, const auto& b) { return a.start < b.start; });
        return out;
    }
    platform::StoreSaveResult saveEvent(const platform::NewStoreEvent& event) override {
        saved.push_back(event);
        if (saveError) {
            return {QString(), saveError};
        }
        return {QStringLiteral("fake#%1").arg(saved.size()), std::nullopt};
    }
    std::optional<QString> removeEvent(const platform::StoreOccurrence& occurrence,
                                       platform::RemoveScope scope) override {
        removed.emplace_back(occurrence, scope);
        return removeError;
    }
    void fireChanged() { emit changed(); }

    std::vector<platform::StoreCalendar> calendarList;
    std::vector<platform::StoreOccurrence> occurrences;
    std::vector<platform::NewStoreEvent> saved;
    std::vector<std::pair<platform::StoreOccurrence, platform::RemoveScope>> removed;
    std::optional<QString> saveError;
    std::optional<QString> removeError;
    mutable int calendarCalls = 0;
    mutable int eventCalls = 0;
};

}  // namespace talvor::test
