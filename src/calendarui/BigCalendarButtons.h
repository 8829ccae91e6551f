#pragma once

#include <functional>

class QHBoxLayout;
class QMenu;
class QToolButton;
class QWidget;

namespace talvor {

// The big calendar's buttons: the title row's close button on the left and its ≡ menu, month
// back, today, month on and zoom buttons on the right; the settings button and the size grip
// of the bottom row. What they do is the window's, handed in as `Actions`.
class BigCalendarButtons {
  public:
    struct Actions {
        std::function<void()> close;
        std::function<void()> prevMonth;
        std::function<void()> today;
        std::function<void()> nextMonth;
        std::function<void(bool on)> zoom;
        std::function<void()> settings;
    };

    // Builds the buttons into `window`, the ≡ button opening `menu`; both must outlive them.
    BigCalendarButtons(QWidget& window, QMenu& menu, const Actions& actions);

    // The title row, new on each call: for the window's layout to take.
    QHBoxLayout* titleRow() const;
    QToolButton* settingsButton() const { return settings_; }
    QWidget* sizeGrip() const { return sizeGrip_; }
    // The zoom button shows `on` without asking for a zoom.
    void showZoomed(bool on);

  private:
    QToolButton* close_ = nullptr;
    QToolButton* menu_ = nullptr;
    QToolButton* prevMonth_ = nullptr;
    QToolButton* today_ = nullptr;
    QToolButton* nextMonth_ = nullptr;
    QToolButton* zoom_ = nullptr;
    QToolButton* settings_ = nullptr;
    QWidget* sizeGrip_ = nullptr;
};

}  // namespace talvor
