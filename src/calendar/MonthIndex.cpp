#include "MonthIndex.h"

#include "platform/Clock.h"

#include <algorithm>

namespace talvor {

namespace {

std::shared_ptr<MonthReference> nodeFor(CalMonthPtr month) {
    auto node = std::make_shared<MonthReference>();
    node->setMonth(std::move(month));
    return node;
}

}  // namespace

int monthRefRelation(const MonthReference& node, int32_t month, int32_t year, int32_t era) {
    const CalMonthPtr m = node.month();
    auto cmp = [](int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); };
    if (const int c = cmp(m->era(), era); c != 0) {
        return c;
    }
    if (const int c = cmp(m->year(), year); c != 0) {
        return c;
    }
    return cmp(m->month(), month);
}

MonthIndex::MonthIndex(const Calendar& calendar)
    : refCalendar_(calendar.isNull() ? Calendar::current() : calendar) {
    first_ = nodeFor(CalMonth::initWithDate(platform::Clock::shared().now(), refCalendar_));
    last_ = first_;
    current_ = first_;
}

MonthIndex::~MonthIndex() {
    // Node by node, so that a long chain is not freed by deep recursion.
    current_.reset();
    std::shared_ptr<MonthReference> node = std::move(first_);
    while (node) {
        std::shared_ptr<MonthReference> next = node->next();
        node->setNext(nullptr);
        node = std::move(next);
    }
}

std::shared_ptr<MonthReference> MonthIndex::addPrevMonth() {
    auto node = nodeFor(first_->month()->lastMonth());
    node->setNext(first_);
    first_->setPrev(node);
    first_ = node;
    return node;
}

std::shared_ptr<MonthReference> MonthIndex::addNextMonth() {
    const auto last = last_.lock();
    auto node = nodeFor(last->month()->nextMonth());
    node->setPrev(last);
    last->setNext(node);
    last_ = node;
    return node;
}

std::shared_ptr<MonthReference> MonthIndex::prevMonthRef(
    const std::shared_ptr<MonthReference>& node) {
    auto prev = node->prev();
    return prev ? prev : (node == first_ ? addPrevMonth() : nullptr);
}

std::shared_ptr<MonthReference> MonthIndex::nextMonthRef(
    const std::shared_ptr<MonthReference>& node) {
    auto next = node->next();
    return next ? next : (node == last_.lock() ? addNextMonth() : nullptr);
}

void MonthIndex::updateCurrentMonth() {
    const CalMonthPtr today = CalMonth::initWithDate(platform::Clock::shared().now(), refCalendar_);
    while (monthRefRelation(*current_, today->month(), today->year(), today->era()) < 0) {
        current_ = nextMonthRef(current_);
    }
    while (monthRefRelation(*current_, today->month(), today->year(), today->era()) > 0) {
        current_ = prevMonthRef(current_);
    }
}

const std::vector<CalEventDay>* MonthIndex::eventsForDate(Date date) const {
    const CalMonthPtr target = CalMonth::initWithDate(date, refCalendar_);
    std::shared_ptr<MonthReference> node = current_;
    while (node) {
        const int rel = monthRefRelation(*node, target->month(), target->year(), target->era());
        if (rel == 0) {
            return node->month()->eventsForDay(target->dayOfDate(date));
        }
        node = rel < 0 ? node->next() : node->prev();
    }
    return nullptr;
}

template <typename F>
void MonthIndex::forEachMonth(F f) const {
    for (auto node = first_; node; node = node->next()) {
        f(*node->month());
    }
}

std::vector<CalMonthPtr> MonthIndex::monthsInRange(int32_t start, int32_t end) {
    auto node = current_;
    for (int32_t i = 0; i > start; --i) {
        node = prevMonthRef(node);
    }
    for (int32_t i = 0; i < start; ++i) {
        node = nextMonthRef(node);
    }
    std::vector<CalMonthPtr> out;
    for (int32_t i = start; i <= end; ++i) {
        out.push_back(node->month());
        if (i < end) {
            node = nextMonthRef(node);
        }
    }
    removeEventsFromDisabledSources();
    return out;
}

void MonthIndex::makeMonthsPerform(const std::function<void(CalMonth&)>& action) const {
    forEachMonth(action);
}

void MonthIndex::removeAllEvents() {
    forEachMonth([](CalMonth& m) { m.removeAllEvents(); });
}

void MonthIndex::removeEventsFromSource(const CalSource& source) {
    forEachMonth([&](CalMonth& m) { m.removeEventsFromSource(source); });
}

void MonthIndex::removeEventsFromDisabledSources() {
    forEachMonth([](CalMonth& m) { m.removeEventsFromDisabledSources(); });
}

void MonthIndex::removeEventsFromSource(const CalSource&, Date from, Date to) {
    forEachMonth([&](CalMonth& m) {
        if (m.latestDate() > from && m.earliestDate() <= to) {
            m.removeInvalidEvents();
        }
    });
}

void MonthIndex::addEvents(const std::vector<CalEventPtr>& events) {
    addEvents(events, first_, nullptr);
}

void MonthIndex::addEvents(const std::vector<CalEventPtr>& events,
                           std::shared_ptr<MonthReference> from,
                           const std::shared_ptr<MonthReference>& end) {
    std::vector<CalEventDay> days;
    for (const CalEventPtr& e : events) {
        const auto more = e->adjustedDaysForCalendar(refCalendar_);
        days.insert(days.end(), more.begin(), more.end());
    }
    std::stable_sort(days.begin(), days.end(),
                     [](const CalEventDay& a, const CalEventDay& b) { return a.compare(b) < 0; });
    untouchMonths();
    auto node = std::move(from);
    for (const CalEventDay& d : days) {
        while (node && node != end && monthRefRelation(*node, d.month(), d.year(), d.era()) < 0) {
            node = node->next();
        }
        if (!node || node == end) {
            break;
        }
        if (monthRefRelation(*node, d.month(), d.year(), d.era()) == 0) {
            node->month()->addEvent(d, d.day());
            node->setTouched(1);
        }
    }
    finalizeTouchedMonths();
}

Date MonthIndex::earliestDate() const {
    return first_->month()->earliestDate();
}

Date MonthIndex::latestDate() const {
    return last_.lock()->month()->latestDate();
}

void MonthIndex::untouchMonths() {
    for (auto node = first_; node; node = node->next()) {
        node->setTouched(0);
    }
}

void MonthIndex::finalizeTouchedMonths() {
    for (auto node = first_; node; node = node->next()) {
        if (node->touched()) {
            node->month()->finalizeEventAdd();
        }
    }
}

QString MonthIndex::debug() const {
    QString out;
    for (auto node = first_; node; node = node->next()) {
        out += node->month()->description();
        out += node == current_ ? QStringLiteral(" (current)\n") : QStringLiteral("\n");
    }
    return out;
}

}  // namespace talvor
