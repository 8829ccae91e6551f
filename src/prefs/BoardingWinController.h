#pragma once

#include <QWidget>

#include <memory>
#include <optional>

namespace talvor {

// The first-run welcome window: what Talvor does, and a Close button.
class BoardingWinController {
  public:
    // The controller with its window; nullopt (and a log line) when no window can be made,
    // as in a process without a graphical application.
    static std::optional<BoardingWinController> init();

    QWidget* window() const { return window_.get(); }
    // Shows the window, in front and focused.
    void showWindow();

  private:
    explicit BoardingWinController(std::unique_ptr<QWidget> window);

    std::unique_ptr<QWidget> window_;
};

}  // namespace talvor
