#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace talvor::platform {

// Calls `done` once, just after `window` has painted for the first time while shown: its
// first frame is then on its way to the display. Owned by the window; gone after `done`.
class FirstFrameWatch : public QObject {
  public:
    FirstFrameWatch(QWidget& window, std::function<void()> done);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void()> done_;
    bool painted_ = false;
};

// When TALVOR_FIRST_FRAME_FILE names a file, writes one line to it: the monotonic clock's time
// (CLOCK_MONOTONIC) and the process's CPU time so far (CLOCK_PROCESS_CPUTIME_ID), nanoseconds,
// as text, separated by a blank: a start-up benchmark compares the first with when it started
// the program. Otherwise does nothing.
void recordFirstFrameTime();

}  // namespace talvor::platform
