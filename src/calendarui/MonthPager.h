#pragma once

#include <QObject>

#include <cstdint>

namespace talvor {

namespace platform {
class Clock;
class UserDefaults;
}  // namespace platform
class MonthGridView;

// Steps a month grid view through the months: it shows the month `currOffset` months after
// today's, weeks from the user's first weekday, and follows the view's buttons.
class MonthPager : public QObject {
    Q_OBJECT
  public:
    // None is owned; the clock and defaults must outlive the pager. It is the view's child.
    MonthPager(MonthGridView& view, platform::Clock& clock, platform::UserDefaults& defaults);

    void nextMonth();
    void prevMonth();
    // Months stepped away from today's (negative: earlier).
    int32_t currOffset() const { return currOffset_; }
    // Rebuilds the grid for the offset, today and the first weekday.
    void updateMonths();
    // Back to today's month.
    void showToday();

  private:
    MonthGridView& view_;
    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    int32_t currOffset_ = 0;
};

}  // namespace talvor
