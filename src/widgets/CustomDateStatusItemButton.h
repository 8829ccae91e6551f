#pragma once

#include "platform/AttributedString.h"
#include "platform/StatusBar.h"

#include <QImage>
#include <QRectF>

namespace talvor {

class CustomDateStatusItemButtonDelegate {
  public:
    virtual ~CustomDateStatusItemButtonDelegate() = default;
    virtual void dateStatusItemButtonClicked() = 0;
};

// The date status item's button: it draws its title (and image) like a plain status-bar
// button, and a press only tells the delegate (no highlight, no action). It lives inside
// the date item's own view, which places it (`frame`) and passes presses on.
class CustomDateStatusItemButton : public platform::StatusItemView {
    Q_OBJECT
  public:
    // `initWithDelegate:`; the delegate is not owned and must outlive the button (or be
    // cleared with setDelegate(nullptr)).
    explicit CustomDateStatusItemButton(CustomDateStatusItemButtonDelegate* delegate = nullptr);
    ~CustomDateStatusItemButton() override;

    CustomDateStatusItemButtonDelegate* delegate() const { return delegate_; }
    void setDelegate(CustomDateStatusItemButtonDelegate* delegate) { delegate_ = delegate; }

    const platform::AttributedString& attributedTitle() const { return title_; }
    void setAttributedTitle(const platform::AttributedString& title);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    // The button's place in the view that holds it (y down).
    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame);
    bool isBordered() const { return bordered_; }
    void setBordered(bool on);
    // Qt::AlignLeft, AlignHCenter or AlignRight, for the title within the bounds.
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);
    bool refusesFirstResponder() const { return true; }

    // Image, then title, vertically centred in `bounds`; a border when bordered.
    void drawRect(QPainter& painter, const QRectF& bounds) override;
    void mouseDown(const platform::StatusItemMouseEvent& event) override;

  private:
    CustomDateStatusItemButtonDelegate* delegate_;
    platform::AttributedString title_;
    QImage image_;
    QRectF frame_;
    bool bordered_ = true;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
};

}  // namespace talvor
