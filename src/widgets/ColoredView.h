#pragma once

#include "ShyControls.h"

#include <QColor>
#include <QPainterPath>
#include <QVariantList>

#include <vector>

namespace talvor {

// A filled background with optional rounded corners, a left margin left unpainted, and
// light border lines; a click on it does not bring its window forward (ShyView).
class ColoredView : public ShyView {
    Q_OBJECT
  public:
    explicit ColoredView(QWidget* parent = nullptr);

    QColor backgroundColor() const { return backgroundColor_; }
    // Stores and redraws; an invalid colour fills nothing.
    void setBackgroundColor(const QColor& color);
    float cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(float radius) { cornerRadius_ = radius; }
    float leftMargin() const { return leftMargin_; }
    void setLeftMargin(float margin) { leftMargin_ = margin; }

    // Adds a stepped border line in the view's coordinates: from the left margin along the
    // lower point's height to the lower point, a one-point bevel, up to the upper point, and
    // on to the right edge. Without `doLeft` it starts at the lower point, without `doRight`
    // it ends at the upper point.
    void addBorderPoint(QPointF lower, QPointF upper, bool doLeft, bool doRight);
    void removeBorderLines();
    const std::vector<QPainterPath>& borderLines() const { return borderLines_; }

    // The view's own values in coding order: background colour (as colour text), corner
    // radius, left margin. The border lines are not kept.
    QVariantList encodeWithCoder() const;
    // False, changing nothing, when the values are not such a list.
    bool initWithCoder(const QVariantList& values);

    static const QColor& borderColor();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor backgroundColor_{Qt::white};
    float cornerRadius_ = 0;
    float leftMargin_ = 0;
    std::vector<QPainterPath> borderLines_;
};

}  // namespace talvor
