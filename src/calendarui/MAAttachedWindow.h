#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <optional>

namespace talvor {

// A borderless translucent window that wraps a view in a rounded panel with an arrow pointing
// at a point on the screen (global coordinates, y down). It stands on one of twelve sides of
// the point, or picks the side that fits. The sides, by where the window stands:
//   0 left, 1 below, 2 right, 3 above (centred on the point);
//   4 left extending up, 5 left extending down, 6 right extending up, 7 right extending down,
//   8 above extending left, 9 above extending right, 10 below extending left,
//   11 below extending right; 12 chooses.
class MAAttachedWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kAutomatic = 12;

    // The panel's shape; lengths in points.
    struct Shape {
        float borderWidth = 2;
        float viewMargin = 2;
        float arrowBaseWidth = 20;
        float arrowHeight = 16;
        bool hasArrow = true;
        float cornerRadius = 8;
        bool drawsRoundCornerBesideArrow = true;
    };

    // `view` is taken into the window; `attachedTo` (may be null) is the window whose frame the
    // automatic side keeps to; `visible` is the usable area of the screen.
    MAAttachedWindow(QWidget* view, const QPointF& point, const QWidget* attachedTo, int side,
                     float distance, const QRectF& visible);

    int side() const { return side_; }
    const Shape& shape() const { return shape_; }
    QWidget* view() const { return view_; }

    // Setters keep their limits: the border within the margin, the margin not negative, the
    // corner radius and arrow base within what the view's size leaves.
    void setBorderWidth(float width);
    void setViewMargin(float margin);
    void setArrowBaseWidth(float width);
    void setArrowHeight(float height);
    void setHasArrow(bool on);
    void setCornerRadius(float radius);
    void setDrawsRoundCornerBesideArrow(bool on);
    void setWindowBackgroundColor(const QColor& colour);
    void setBorderColor(const QColor& colour);

    // The frame and the view's place in it, for a view size, point, side and distance.
    struct Geometry {
        QRectF frame;
        QRectF viewFrame;  // inside the window
    };
    static Geometry geometryFor(const QSizeF& view, const QPointF& point, int side, float distance,
                                const Shape& shape);
    // The side that fits: below, right, left, above, then the corner variants that keep the
    // window inside the attached window's frame `keep` (the visible area when there is none).
    static int bestSide(const QSizeF& view, const QPointF& point, float distance,
                        const Shape& shape, const QRectF& visible, const QRectF& keep);
    // From a window corner to the arrow's tip on the corner sides.
    static float arrowInset(const Shape& shape);
    // The outline of the panel in window coordinates.
    static QPainterPath backgroundPath(const QSizeF& windowSize, const QRectF& viewFrame, int side,
                                       const Shape& shape);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void updateGeometryNow();

    QWidget* view_;
    QPointF point_;
    int side_;
    float distance_;
    Shape shape_;
    QColor background_ = QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f);
    QColor border_ = Qt::white;
    QRectF viewFrame_;
};

}  // namespace talvor
