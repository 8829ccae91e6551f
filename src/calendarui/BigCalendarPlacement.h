#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>

#include <optional>

class QEvent;

namespace talvor {

namespace platform {
class Screens;
class UserDefaults;
}  // namespace platform
class CalendarWindow;
class TalvorCustomWindow;

// Where the big calendar's window is: hung below the date item until the user places it (its
// frame then kept, and kept on the screen), below or above the other windows, filling its
// screen while zoomed, and dragged by its background when the window style allows.
class BigCalendarPlacement {
  public:
    // All must outlive the placement.
    BigCalendarPlacement(CalendarWindow& window, platform::UserDefaults& defaults,
                         platform::Screens& screens);

    // The saved frame, the snapping to the screen's edges and the named positions.
    TalvorCustomWindow& frame() const { return *frame_; }

    // Hangs the window below `anchor` (a frame on the screen), on the screen holding it; once
    // the user has placed it, it stays where it was put (kept on the screen).
    void belowView(const QRectF& anchor);

    // Window level (-1 below others, 0 normal, 1 above others) and style (true: framed) of
    // the stored choices.
    static int windowLayer(int choice);
    static bool windowType(int choice);
    // Keeps the window below the others on the desktop layer, above them on the others.
    void setLayer(int choice);

    // Zoom on: the window fills the usable area of its screen; off: it goes back to its frame
    // from before.
    void zoomIn();
    void zoomOut();
    bool isZoomed() const { return frameBeforeZoom_.has_value(); }

    bool isMovableByBackground() const { return movableByBackground_; }
    void setMovableByBackground(bool on) { movableByBackground_ = on; }
    // A mouse event on the window's background; true when it moved the window.
    bool dragByBackground(const QEvent& event);

  private:
    CalendarWindow& window_;
    platform::Screens& screens_;
    TalvorCustomWindow* frame_ = nullptr;  // owned by the window
    std::optional<QRect> frameBeforeZoom_;
    bool movableByBackground_ = true;
    QPointF dragFrom_;
};

}  // namespace talvor
