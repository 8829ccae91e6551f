#pragma once

#include "platform/AttributedString.h"
#include "platform/StatusBar.h"
#include "widgets/CustomDateStatusItemButton.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <memory>

namespace talvor {

class TalvorDateSettings;

// What the date item's view asks of the application delegate.
class CustomDateStatusItemHost {
  public:
    virtual ~CustomDateStatusItemHost() = default;
    // `drawHighlight:fromPath:` with "timePath" or "datePath".
    virtual void drawHighlight(bool highlight, const QString& path) = 0;
    virtual void showCal() = 0;
};

// The date status item's view: the moon picture at the left, the date button beside it.
// A press paints the blue highlight and opens the calendar; the release removes it.
class CustomDateStatusItem : public platform::StatusItemView,
                             private CustomDateStatusItemButtonDelegate {
    Q_OBJECT
  public:
    // Neither is owned; both must outlive the view.
    CustomDateStatusItem(CustomDateStatusItemHost* appDelegate,
                         const TalvorDateSettings& dateSettings);
    ~CustomDateStatusItem() override;

    const std::shared_ptr<CustomDateStatusItemButton>& dateButton() const { return dateButton_; }
    const QImage& moonImage() const { return moonImage_; }
    QRectF moonFrame() const { return moonFrame_; }
    const QColor& backgroundColor() const { return backgroundColor_; }
    const QColor& foregroundColor() const { return foregroundColor_; }

    // `setText:withSize:andRect:`: title, and frame after `dateButtonFrame`.
    void setText(const platform::AttributedString& text, float width, const QRectF& rect);
    // `setImage:setSize:`: the moon picture; the button moves beside it.
    void setImage(const QImage& image, const QSizeF& size);

    // The date colour is dark enough that the highlight needs white text.
    bool changeColorToWhite() const;

    bool isMenuOpen() const { return isMenuOpen_; }
    void setIsMenuOpen(bool on) { isMenuOpen_ = on; }
    bool isTransparent() const { return isTransparent_; }
    void setIsTransparent(bool on);
    // The highlight is painted as a layer background while this is set.
    bool wantsLayer() const { return wantsLayer_; }

    void drawRect(QPainter& painter, const QRectF& bounds) override;
    // A press on the button goes through the button, as on the original system.
    void mouseDown(const platform::StatusItemMouseEvent& event) override;
    void mouseUp(const platform::StatusItemMouseEvent& event) override;
    QString text() const override { return dateButton_->attributedTitle().string(); }

  private:
    void dateStatusItemButtonClicked() override;
    // `mouseDown:` with no event.
    void beginHighlight();
    QRectF buttonDrawRect(const QRectF& bounds) const;
    void updateWidth();

    CustomDateStatusItemHost* appDelegate_;
    const TalvorDateSettings& dateSettings_;
    std::shared_ptr<CustomDateStatusItemButton> dateButton_;
    QImage moonImage_;
    QRectF moonFrame_;
    QColor backgroundColor_;
    QColor foregroundColor_;
    bool isMenuOpen_ = false;
    bool isTransparent_ = true;
    bool wantsLayer_ = false;
};

}  // namespace talvor
