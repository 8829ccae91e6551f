#pragma once

#include "CivilTime.h"
#include "ICalValues.h"
#include "RecurrenceRule.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace talvor::ical {

// One STANDARD or DAYLIGHT part of a VTIMEZONE, already checked: from its start (wall-clock
// time in `offsetFrom`) and at each time its rules and dates give, the zone turns to
// `offsetTo`. Offsets in seconds east of UTC.
struct ZonePart {
    civil::DateTime start;
    int32_t offsetFrom = 0;
    int32_t offsetTo = 0;
    std::vector<RecurrenceRule> rules;  // yearly rules
    std::vector<TimeValue> dates;       // date-times, wall-clock in `offsetFrom` or UTC
};

// The offsets of one zone from UTC as a table of transitions, so that the recurrence engine
// converts between wall-clock and UTC seconds with a binary search. Rules come from the
// system's zone database (named zones) or from a calendar's own VTIMEZONE (expanded by the
// recurrence engine);
// before the first and after the last transition the nearest offset holds.
class ZoneRules {
  public:
    ZoneRules(std::string id, int32_t initialOffset, std::vector<int64_t> transitions,
              std::vector<int32_t> offsetsAfter);

    static std::shared_ptr<const ZoneRules> utc();
    // The rules of a zone of the system database ("Europe/Berlin"); null for an unknown name.
    // Shared: each zone is read once per process (unknown names are asked again each time).
    static std::shared_ptr<const ZoneRules> system(std::string_view name);
    // The rules of a VTIMEZONE's parts, tabulated over the same years as system zones; null
    // without parts. A part that changes the offset thousands of times is cut short.
    static std::shared_ptr<const ZoneRules> fromParts(std::string id,
                                                      const std::vector<ZonePart>& parts);

    const std::string& id() const { return id_; }
    // Seconds east of UTC at the UTC second `utc`.
    int32_t offsetAt(int64_t utc) const;
    // The UTC second of a wall-clock second. A time skipped by a change to daylight saving
    // takes the offset before the change; a time that happens twice is its first occurrence.
    int64_t toUtc(int64_t local) const;
    int64_t toLocal(int64_t utc) const { return utc + offsetAt(utc); }

  private:
    std::string id_;
    int32_t initial_;
    std::vector<int64_t> at_;
    std::vector<int32_t> after_;
};

using ZonePtr = std::shared_ptr<const ZoneRules>;

}  // namespace talvor::ical
