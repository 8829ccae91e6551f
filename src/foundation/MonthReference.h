#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace talvor {

// The month object of the calendar data; a node holds one and never looks inside it.
class CalMonth;

// One node of the doubly linked list of months kept by the month index. A node owns the
// following node and only observes the preceding one, so a chain held by its first node is
// freed without cycles; the month index keeps the first node. The links and the month may be
// read and written from any thread.
class MonthReference {
  public:
    MonthReference() = default;
    MonthReference(const MonthReference&) = delete;
    MonthReference& operator=(const MonthReference&) = delete;
    ~MonthReference();

    std::shared_ptr<MonthReference> next() const { return next_.load(); }
    void setNext(std::shared_ptr<MonthReference> next) { next_.store(std::move(next)); }

    // Null once the preceding node is gone.
    std::shared_ptr<MonthReference> prev() const { return prev_.load().lock(); }
    void setPrev(const std::shared_ptr<MonthReference>& prev) { prev_.store(prev); }

    std::shared_ptr<CalMonth> month() const { return month_.load(); }
    void setMonth(std::shared_ptr<CalMonth> month) { month_.store(std::move(month)); }

    // A mark the month index sets and reads.
    std::intptr_t touched() const { return touched_; }
    void setTouched(std::intptr_t touched) { touched_ = touched; }

  private:
    std::atomic<std::shared_ptr<MonthReference>> next_;
    std::atomic<std::weak_ptr<MonthReference>> prev_;
    std::atomic<std::shared_ptr<CalMonth>> month_;
    std::intptr_t touched_ = 0;
};

}  // namespace talvor
