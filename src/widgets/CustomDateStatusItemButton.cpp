#include "CustomDateStatusItemButton.h"

#include "platform/StatusBarPainter.h"

#include <QPainter>

namespace talvor {
namespace {

constexpr double kImageGap = 3.0;

}  // namespace

CustomDateStatusItemButton::CustomDateStatusItemButton(CustomDateStatusItemButtonDelegate* delegate)
    : delegate_(delegate) {}

CustomDateStatusItemButton::~CustomDateStatusItemButton() = default;

// The tick sets the same title and frame every second; only a change is worth a redraw.
void CustomDateStatusItemButton::setAttributedTitle(const platform::AttributedString& title) {
    if (!(title_ == title)) {
        title_ = title;
        setNeedsDisplay();
    }
}

void CustomDateStatusItemButton::setImage(const QImage& image) {
    if (image_ != image) {
        image_ = image;
        setNeedsDisplay();
    }
}

void CustomDateStatusItemButton::setFrame(const QRectF& frame) {
    if (frame_ != frame) {
        frame_ = frame;
        setWidth(frame.width());
        setNeedsDisplay();
    }
}

void CustomDateStatusItemButton::setBordered(bool on) {
    if (bordered_ != on) {
        bordered_ = on;
        setNeedsDisplay();
    }
}

void CustomDateStatusItemButton::setAlignment(Qt::Alignment alignment) {
    if (alignment_ != alignment) {
        alignment_ = alignment;
        setNeedsDisplay();
    }
}

void CustomDateStatusItemButton::drawRect(QPainter& painter, const QRectF& bounds) {
    const platform::StatusBarStyle style = platform::defaultStatusBarStyle();
    const platform::TextDefaults defaults{style.font, style.text};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (bordered_) {
        painter.setPen(QPen(style.border, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
    const platform::TextMetrics metrics = platform::measureAttributedString(title_, defaults);
    const QSizeF imageSize = image_.isNull() ? QSizeF() : image_.deviceIndependentSize();
    const double contentWidth =
        metrics.width +
        (image_.isNull() ? 0.0 : imageSize.width() + (title_.isEmpty() ? 0 : kImageGap));
    double x = bounds.left();
    if (alignment_ & Qt::AlignHCenter) {
        x = bounds.center().x() - contentWidth / 2;
    } else if (alignment_ & Qt::AlignRight) {
        x = bounds.right() - contentWidth;
    }
    if (!image_.isNull()) {
        painter.drawImage(QPointF(x, bounds.center().y() - imageSize.height() / 2), image_);
        x += imageSize.width() + kImageGap;
    }
    const double baseline = bounds.center().y() - metrics.height() / 2 + metrics.ascent;
    platform::drawAttributedString(painter, title_, QPointF(x, baseline), defaults);
    painter.restore();
}

void CustomDateStatusItemButton::mouseDown(const platform::StatusItemMouseEvent&) {
    if (delegate_ != nullptr) {
        delegate_->dateStatusItemButtonClicked();
    }
}

}  // namespace talvor
