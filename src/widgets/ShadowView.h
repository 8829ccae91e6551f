#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>

namespace talvor {

// A drop shadow as the original system draws one: colour, offset (x right, y up) and blur radius.
struct Shadow {
    QColor color{Qt::black};
    QPointF offset{0, 0};
    double blurRadius = 3.0;
};

// The shadow of a filled rectangle of `size` points, blurred: an image `size` grown by the
// returned margin on every side (draw it at the rectangle's origin minus that margin).
QImage renderShadowImage(const QSizeF& size, const Shadow& shadow, qreal devicePixelRatio,
                         int* margin);

// A soft shadow behind a view: a white rectangle of the view's size, 5 points in from its
// own edges, with a black shadow blurred 3 points. It puts itself into the view's parent,
// directly below the view.
class ShadowView : public QWidget {
    Q_OBJECT
  public:
    explicit ShadowView(QWidget* view);

    const Shadow& shadow() const { return shadow_; }
    QRectF fillRect() const { return fillRect_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Shadow shadow_;
    QRectF fillRect_;
    QImage cache_;  // the blurred shadow of cacheSize_, kept while size and pixel ratio stay
    QSizeF cacheSize_;
    int cacheMargin_ = 0;
};

}  // namespace talvor
