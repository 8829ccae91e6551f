#pragma once

#include <QDate>
#include <QObject>
#include <QPointF>
#include <QPointer>

class QLabel;
class QWidget;

namespace talvor {

namespace platform {
class Clock;
class Screens;
}  // namespace platform
class MAAttachedWindow;
class ztCalendarMenuExtra;

// The moon on the big calendar: today's beside the settings button, and a picked day's in a
// window pointing at it. Its pictures and texts come from the menu extra handed to each call;
// without one no moon shows.
class BigCalendarMoon : public QObject {
    Q_OBJECT
  public:
    // The side of today's moon.
    static constexpr int kSide = 48;

    // Builds today's moon into `window`; all must outlive the moon.
    BigCalendarMoon(QWidget& window, platform::Clock& clock, platform::Screens& screens);

    QLabel* picture() const { return picture_; }
    QLabel* text() const { return text_; }
    // Today's moon, cleared without a menu extra.
    void showToday(ztCalendarMenuExtra* menuExtra);
    // The moon of `day` in a window pointing at `globalPoint`; a second call closes it.
    void toggleWindow(ztCalendarMenuExtra* menuExtra, const QDate& day, const QPointF& globalPoint);
    MAAttachedWindow* window() const { return window_; }
    void closeWindow();

  private:
    QWidget& parent_;
    platform::Clock& clock_;
    platform::Screens& screens_;
    QLabel* picture_ = nullptr;
    QLabel* text_ = nullptr;
    QPointer<MAAttachedWindow> window_;
};

}  // namespace talvor
