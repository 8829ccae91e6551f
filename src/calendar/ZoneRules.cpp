#include "ZoneRules.h"

#include "CivilTime.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <map>
#include <mutex>

namespace talvor::ical {

namespace {

// The span over which rules are tabulated; recurrences outside it keep the edge offsets.
constexpr int64_t kFirstSecond = civil::daysFromCivil(1800, 1, 1) * civil::kSecondsPerDay;
constexpr int64_t kLastSecond = civil::daysFromCivil(2200, 1, 1) * civil::kSecondsPerDay;
// More than any offset from UTC, so a window of this size around a wall-clock time holds
// every transition that can matter to it.
constexpr int64_t kWidestOffset = 26 * 3600;

}  // namespace

ZoneRules::ZoneRules(std::string id, int32_t initialOffset, std::vector<int64_t> transitions,
                     std::vector<int32_t> offsetsAfter)
    : id_(std::move(id)),
      initial_(initialOffset),
      at_(std::move(transitions)),
      after_(std::move(offsetsAfter)) {}

std::shared_ptr<const ZoneRules> ZoneRules::utc() {
    static const auto rules =
        std::make_shared<const ZoneRules>("UTC", 0, std::vector<int64_t>{}, std::vector<int32_t>{});
    return rules;
}

std::shared_ptr<const ZoneRules> ZoneRules::system(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ZoneRules>, std::less<>> cache;
    const std::lock_guard lock(mutex);
    if (const auto found = cache.find(name); found != cache.end()) {
        return found->second;
    }
    const QByteArray id(name.data(), static_cast<qsizetype>(name.size()));
    std::shared_ptr<const ZoneRules> rules;
    if (!id.isEmpty() && QTimeZone::isTimeZoneIdAvailable(id)) {
        const QTimeZone zone(id);
        const QDateTime from = QDateTime::fromSecsSinceEpoch(kFirstSecond, QTimeZone::utc());
        const QDateTime to = QDateTime::fromSecsSinceEpoch(kLastSecond, QTimeZone::utc());
        std::vector<int64_t> at;
        std::vector<int32_t> after;
        int32_t last = zone.offsetFromUtc(from);
        const int32_t initial = last;
        for (const QTimeZone::OffsetData& data : zone.transitions(from, to)) {
            if (data.offsetFromUtc == last) {
                continue;  // a change of name or of daylight saving only
            }
            at.push_back(data.atUtc.toSecsSinceEpoch());
            after.push_back(data.offsetFromUtc);
            last = data.offsetFromUtc;
        }
        rules = std::make_shared<const ZoneRules>(std::string(name), initial, std::move(at),
                                                  std::move(after));
    }
    // Only zones of the database are kept, so the cache is bounded whatever names files use.
    if (rules) {
        cache.emplace(std::string(name), rules);
    }
    return rules;
}

std::shared_ptr<const ZoneRules> ZoneRules::fromParts(std::string id,
                                                      const std::vector<ZonePart>& parts) {
    struct Onset {
        int64_t utc;
        int32_t from;
        int32_t to;
    };
    std::vector<Onset> onsets;
    // A part that would switch the offset more often than this is hostile, not a zone; the
    // rules of real zones give a few hundred changes over the tabulated years.
    constexpr size_t kMostOnsetsPerPart = 4000;
    for (const ZonePart& part : parts) {
        const size_t first = onsets.size();
        auto add = [&](int64_t utc) {
            if (utc < kLastSecond && onsets.size() - first < kMostOnsetsPerPart) {
                onsets.push_back({utc, part.offsetFrom, part.offsetTo});
            }
        };
        // Wall-clock times of a part are read in the offset in force before its onsets.
        add(part.start.seconds() - part.offsetFrom);
        for (const RecurrenceRule& rule : part.rules) {
            std::optional<int64_t> untilLocal;
            if (rule.until) {
                untilLocal = rule.until->isDate ? rule.until->local.days() * civil::kSecondsPerDay +
                                                      civil::kSecondsPerDay - 1
                                                : rule.until->local.seconds() +
                                                      (rule.until->utc ? part.offsetFrom : 0);
            }
            RecurrenceIterator it(rule, part.start, untilLocal);
            it.stopAfter(kLastSecond + kWidestOffset);
            while (const auto local = it.next()) {
                if (onsets.size() - first >= kMostOnsetsPerPart) {
                    break;
                }
                add(*local - part.offsetFrom);
            }
        }
        for (const TimeValue& date : part.dates) {
            add(date.local.seconds() - (date.utc ? 0 : part.offsetFrom));
        }
    }
    if (onsets.empty()) {
        return nullptr;
    }
    std::stable_sort(onsets.begin(), onsets.end(),
                     [](const Onset& a, const Onset& b) { return a.utc < b.utc; });
    // Before its first onset a zone keeps the offset that onset changes from.
    int32_t current = onsets.front().from;
    int32_t initial = current;
    std::vector<int64_t> at;
    std::vector<int32_t> after;
    for (const Onset& o : onsets) {
        if (o.utc < kFirstSecond) {
            initial = current = o.to;
            continue;
        }
        if (!at.empty() && at.back() == o.utc) {
            // Two onsets at one instant: the later part has the last word.
            at.pop_back();
            after.pop_back();
            current = after.empty() ? initial : after.back();
        }
        if (o.to != current) {
            at.push_back(o.utc);
            after.push_back(o.to);
            current = o.to;
        }
    }
    return std::make_shared<const ZoneRules>(std::move(id), initial, std::move(at),
                                             std::move(after));
}

int32_t ZoneRules::offsetAt(int64_t utc) const {
    const auto it = std::upper_bound(at_.begin(), at_.end(), utc);
    return it == at_.begin() ? initial_ : after_[static_cast<size_t>(it - at_.begin() - 1)];
}

int64_t ZoneRules::toUtc(int64_t local) const {
    if (at_.empty()) {
        return local - initial_;
    }
    // Candidate offsets: the one in force a day before, and each one a transition near the
    // time brings; a candidate is right when the instant it gives really has that offset.
    const auto begin = std::upper_bound(at_.begin(), at_.end(), local - kWidestOffset);
    const auto end = std::upper_bound(begin, at_.end(), local + kWidestOffset);
    int64_t best = 0;
    bool found = false;
    auto consider = [&](int32_t offset) {
        const int64_t u = local - offset;
        if (offsetAt(u) == offset && (!found || u < best)) {
            best = u;
            found = true;
        }
    };
    consider(offsetAt(local - kWidestOffset));
    for (auto it = begin; it != end; ++it) {
        consider(after_[static_cast<size_t>(it - at_.begin())]);
    }
    if (found) {
        return best;
    }
    // In a gap: the offset before the change that opened it.
    for (auto it = begin; it != end; ++it) {
        const size_t i = static_cast<size_t>(it - at_.begin());
        const int32_t before = i == 0 ? initial_ : after_[i - 1];
        if (local >= at_[i] + before && local < at_[i] + after_[i]) {
            return local - before;
        }
    }
    return local - offsetAt(local);
}

}  // namespace talvor::ical
