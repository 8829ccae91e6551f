#include "CustomDateStatusItem.h"

#include "MenuBarDrawing.h"
#include "foundation/TalvorDateSettings.h"

#include <QPainter>

#include <algorithm>

namespace talvor {
namespace {

const QColor kHighlight = QColor::fromRgbF(30.0f / 255, 144.0f / 255, 255.0f / 255, 1.0f);
// The original system's borderless button keeps its title this far inside its frame, which is
// why the frame starts 8 points left of the view without a moon.
constexpr double kButtonTitleInset = 8.0;

}  // namespace

CustomDateStatusItem::CustomDateStatusItem(CustomDateStatusItemHost* appDelegate,
                                           const TalvorDateSettings& dateSettings)
    : appDelegate_(appDelegate),
      dateSettings_(dateSettings),
      dateButton_(std::make_shared<CustomDateStatusItemButton>(
          static_cast<CustomDateStatusItemButtonDelegate*>(this))) {
    dateButton_->setBordered(false);
    dateButton_->setAlignment(Qt::AlignLeft);
    backgroundColor_ = kHighlight;
    connect(dateButton_.get(), &platform::StatusItemView::needsDisplay, this,
            &platform::StatusItemView::setNeedsDisplay);
}

CustomDateStatusItem::~CustomDateStatusItem() {
    dateButton_->setDelegate(nullptr);
}

void CustomDateStatusItem::setText(const platform::AttributedString& text, float width,
                                   const QRectF& rect) {
    dateButton_->setAttributedTitle(text);
    dateButton_->setFrame(dateButtonFrame(moonFrame_.width(), width, rect));
    updateWidth();
}

void CustomDateStatusItem::setImage(const QImage& image, const QSizeF& size) {
    const QSizeF moonSize(size.width(), size.height() + 2.0);
    // The moon is drawn afresh every minute; the same picture needs no redraw.
    const bool changed = moonFrame_.size() != moonSize || moonImage_ != image;
    moonFrame_.setSize(moonSize);
    moonImage_ = image;
    QRectF frame = dateButton_->frame();
    frame.moveLeft(size.width() == 0.0 ? 0.0 : moonFrame_.width() + 2.0);
    dateButton_->setFrame(frame);
    updateWidth();
    if (changed) {
        setNeedsDisplay();
    }
}

bool CustomDateStatusItem::changeColorToWhite() const {
    return isNearBlack(dateSettings_.dateColor);
}

void CustomDateStatusItem::setIsTransparent(bool on) {
    isTransparent_ = on;
    setNeedsDisplay();
}

QRectF CustomDateStatusItem::buttonDrawRect(const QRectF& bounds) const {
    const QRectF frame = dateButton_->frame();
    // Only the horizontal place counts in our bar: the button's vertical slack is the
    // original system's bezel, and the title is centred in the bar either way.
    return {bounds.left() + frame.x() + kButtonTitleInset, bounds.top(),
            std::max(0.0, frame.width() - kButtonTitleInset), bounds.height()};
}

void CustomDateStatusItem::updateWidth() {
    setWidth(std::max({0.0, moonFrame_.right(), dateButton_->frame().right()}));
}

void CustomDateStatusItem::drawRect(QPainter& painter, const QRectF& bounds) {
    painter.save();
    if (!isTransparent_ && wantsLayer_) {
        painter.fillRect(bounds, backgroundColor_);
    }
    if (!moonImage_.isNull() && moonFrame_.width() > 0) {
        const QRectF target(bounds.left() + moonFrame_.x(),
                            bounds.center().y() - moonFrame_.height() / 2, moonFrame_.width(),
                            moonFrame_.height());
        painter.drawImage(target, moonImage_);
    }
    const QRectF buttonRect = buttonDrawRect(bounds);
    painter.translate(buttonRect.topLeft());
    dateButton_->drawRect(painter, QRectF(QPointF(0, 0), buttonRect.size()));
    painter.restore();
}

void CustomDateStatusItem::mouseDown(const platform::StatusItemMouseEvent& event) {
    const QRectF buttonRect = buttonDrawRect(QRectF(0, 0, width(), platform::StatusBarThickness));
    if (event.position.x() >= buttonRect.left() && event.position.x() < buttonRect.right()) {
        dateButton_->mouseDown(event);
        return;
    }
    beginHighlight();
}

void CustomDateStatusItem::dateStatusItemButtonClicked() {
    beginHighlight();
}

void CustomDateStatusItem::beginHighlight() {
    isTransparent_ = false;
    wantsLayer_ = true;
    backgroundColor_ = kHighlight;
    setNeedsDisplay();
    if (changeColorToWhite()) {
        isMenuOpen_ = true;
        if (appDelegate_ != nullptr) {
            appDelegate_->drawHighlight(true, QStringLiteral("datePath"));
        }
    }
    if (appDelegate_ != nullptr) {
        appDelegate_->showCal();
    }
}

void CustomDateStatusItem::mouseUp(const platform::StatusItemMouseEvent&) {
    isTransparent_ = true;
    wantsLayer_ = false;
    isMenuOpen_ = false;
    setNeedsDisplay();
    if (changeColorToWhite() && appDelegate_ != nullptr) {
        appDelegate_->drawHighlight(false, QStringLiteral("datePath"));
    }
}

}  // namespace talvor
