#pragma once

#include "FloatingOptions.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

namespace talvor {

namespace platform {
class UserDefaults;
}

// The borderless, transparent window of the floating clocks. It is dragged by any point of
// its background (the top edge stays on the screens), keeps its frame and the frame of the
// screen it was last dropped on in the user defaults and comes back there, and can snap to
// the edges of its screen (off unless asked for; Alt held skips a snap).
class TimeZoneWindow : public QWidget {
    Q_OBJECT
  public:
    explicit TimeZoneWindow(platform::UserDefaults& defaults, QWidget* parent = nullptr);
    ~TimeZoneWindow() override;

    // Desktop: below every other window; normal; above: over other windows.
    void setLayer(FloatingOptions::Layer layer);
    FloatingOptions::Layer layer() const { return layer_; }

    bool snapsToEdges() const { return snapsToEdges_; }
    void setSnapsToEdges(bool snaps) { snapsToEdges_ = snaps; }
    float snapTolerance() const { return snapTolerance_; }
    void setSnapTolerance(float tolerance) { snapTolerance_ = tolerance; }
    float padding() const { return padding_; }
    void setPadding(float padding) { padding_ = padding; }

    // Snaps the window to its screen's edges when snapping is on and `modifiers` hold no Alt.
    void windowMoved(Qt::KeyboardModifiers modifiers);
    // What Escape does (without a window manager there is no other way to put the clocks
    // away); without an action, Escape hides the window.
    void setEscapeAction(std::function<void()> action) { escapeAction_ = std::move(action); }

    // The rectangle as text, "{{x, y}, {w, h}}", and back (nullopt for other text).
    static QString rectText(const QRect& rect);
    static std::optional<QRect> rectFromText(const QString& text);
    // Where a drag puts the window's origin: the mouse less the grab offset, its top edge
    // kept from rising above `bounds`.
    static QPoint draggedOrigin(const QPoint& mouse, const QPoint& grabOffset, const QRect& bounds);
    // The origin after snapping `frame` to the edges of `visible` that lie within
    // `tolerance`, `padding` away from them (bottom, left, right, top: later ones win).
    static QPoint snappedOrigin(const QRect& frame, const QRect& visible, float tolerance,
                                float padding);
    // What the window may be dragged over: the main screen and every screen's free area.
    static QRect dragBounds();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void restoreFrame();
    void saveFrame(const QPoint& mouse);

    platform::UserDefaults& defaults_;
    FloatingOptions::Layer layer_ = FloatingOptions::Layer::Normal;
    QPoint initialLocation_;
    bool dragging_ = false;
    bool snapsToEdges_ = false;
    float snapTolerance_ = 30.0f;
    bool snapping_ = false;
    float padding_ = 0.0f;
    std::function<void()> escapeAction_;
};

}  // namespace talvor
