#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>

class QWidget;

namespace talvor {

namespace platform {
class Screens;
class UserDefaults;
}  // namespace platform

// Placement of the calendar window: its style by the stored window type ("iWinType"), its
// frame kept under one name, dragging by its body, snapping to the edges of the usable area
// when moved, and seven named positions. Global screen coordinates, y down. Holding Alt (the
// old Option key; Shift too, since window managers often take Alt-drags) drags a body-movable
// window and moves any window without snapping.
class TalvorCustomWindow : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTitled = 1, kClosable = 2, kMiniaturizable = 4, kResizable = 8,
                         kTexturedBackground = 256;
    // 1, 2: titled, closable, miniaturizable, resizable (15); 3: borderless (0); others 271.
    static int TalvorGetMaskFromType(int type);
    // The frame's key in the standard user defaults, and its text "x y width height".
    static QString frameKey() { return QStringLiteral("NSWindow Frame calendar window"); }

    // Where the window goes when moved to `frame` in the usable area `area`: each edge that
    // comes within `tolerance` of the area's edge (or beyond it) snaps onto it, `padding` away.
    static QRectF snapped(const QRectF& frame, const QRectF& area, qreal tolerance, qreal padding);
    // The frame at a named position ("center left", "center right", "top left", "top right",
    // "bottom left", "bottom center", "bottom right"); any other name centres it.
    static QRectF positioned(const QString& name, const QRectF& frame, const QRectF& area);

    // Whether the window's frame style follows the stored type, or stays as the window's
    // owner made it (the calendar window's panel chooses its own).
    enum class Style { FromType, Kept };

    // Manages `window` (not owned): reads the type, restores the saved frame; while the window
    // shows, snaps it when moved and saves its frame when moved or resized.
    TalvorCustomWindow(QWidget& window, platform::UserDefaults& defaults,
                       platform::Screens& screens, Style style = Style::FromType);

    int iWinType() const { return iWinType_; }
    bool snapsToEdges() const { return snapsToEdges_; }
    void setSnapsToEdges(bool on) { snapsToEdges_ = on; }
    qreal snapTolerance() const { return snapTolerance_; }
    void setSnapTolerance(qreal tolerance) { snapTolerance_ = tolerance; }
    qreal padding() const { return padding_; }
    void setPadding(qreal padding) { padding_ = padding; }

    // A frame was restored at the start or saved since: the window has a place of its own.
    bool hasSavedFrame() const { return hasSavedFrame_; }

    void positionWindow(const QString& name);
    // After the window moved (by the user or the window manager).
    void windowMoved();
    void saveFrame();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static bool optionHeld();
    void moveTo(const QPointF& topLeft);

    QWidget& window_;
    platform::UserDefaults& defaults_;
    platform::Screens& screens_;
    QPointF initialLocation_;
    int iWinType_ = 0;
    bool snapsToEdges_ = true;
    qreal snapTolerance_ = 30;
    bool snapping_ = false;
    qreal padding_ = 0;
    bool hasSavedFrame_ = false;
};

}  // namespace talvor
