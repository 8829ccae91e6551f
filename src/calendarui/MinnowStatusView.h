#pragma once

#include "platform/StatusBar.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace talvor {

class AnchoredWindow;

// A status-item view of its own for the mini calendar: today's day number, two optional
// small lines and a small triangle. A click opens the window, a click while open closes it,
// and a press held 0.3 s or longer closes it on release. The window also closes when
// another application becomes active or another process opens a menu. The calendar hot
// keys are not handled here: the application delegate is their one owner.
class MinnowStatusView : public platform::StatusItemView {
    Q_OBJECT
  public:
    MinnowStatusView();

    // Not owned. `anchor` gives the view's frame on the screen and the screen's area.
    void setWindow(AnchoredWindow* window);
    void setAnchorProvider(std::function<std::pair<QRectF, QRectF>()> anchor) {
        anchor_ = std::move(anchor);
    }

    void setStringValue(const QString& text);
    QString stringValue() const { return displayString_; }
    void setTopString(const QString& text);
    void setBottomString(const QString& text);
    void setTriangleColor(const QColor& color) {
        triangleColor_ = color;
        setNeedsDisplay();
    }
    void setBackgroundImage(const QImage& image) {
        backgroundImage_ = image;
        setNeedsDisplay();
    }

    bool isVisible() const { return isVisible_; }
    void showWindow();
    void hideWindow();
    void calculateWindowFrame(bool animate);

    // The press and release, with the event time stamps in seconds.
    void mouseDownAt(double timestamp);
    void mouseUpAt(double timestamp);
    // Another application became active (its identifier; empty: unknown).
    void applicationSwitched(const QString& identifier, const QString& ownIdentifier);
    // A process opened a menu.
    void menuClicked(qint64 pid);
    // The window was moved while shown and not by us: it no longer hangs from the item.
    void windowDidMove();
    void sizeSelf();

    void drawRect(QPainter& painter, const QRectF& bounds) override;
    void mouseDown(const platform::StatusItemMouseEvent& event) override;
    void mouseUp(const platform::StatusItemMouseEvent& event) override;

  private:
    QPointer<AnchoredWindow> targetWindow_;
    std::function<std::pair<QRectF, QRectF>()> anchor_;
    QImage backgroundImage_;
    QString displayString_;
    QColor triangleColor_;
    QString topString_, bottomString_;
    double mouseDownTime_ = 0;
    bool isVisible_ = false;
    bool autoMove_ = false;
    QString activeApp_;
};

}  // namespace talvor
