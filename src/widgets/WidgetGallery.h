#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

namespace talvor {

// One window showing the reusable views, cells, controls and drawing helpers of this room
// with sample values, for screenshots and a look by eye.
std::unique_ptr<QWidget> makeWidgetGallery();

// The gallery drawn offscreen at the given device pixel ratio.
QImage renderWidgetGallery(qreal devicePixelRatio = 1.0);

}  // namespace talvor
