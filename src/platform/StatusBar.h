#pragma once

#include "AttributedString.h"
#include "EventModifiers.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace talvor::platform {

class Menu;
class StatusBar;
class StatusItem;

// Lengths of `StatusBar::statusItemWithLength`: sized to the content, or as wide as the
// bar is thick.
inline constexpr double VariableStatusItemLength = -1.0;
inline constexpr double SquareStatusItemLength = -2.0;
// Height of the bar in points: a 14-point font fits with a little room.
inline constexpr double StatusBarThickness = 24.0;

struct StatusItemMouseEvent {
    QPointF position;  // in the item's own coordinates, y down
    Qt::MouseButton button = Qt::LeftButton;
    ModifierFlags modifiers = 0;
    double timestamp = 0;  // seconds on a monotonic clock, for press-and-hold
};

// A custom view that a status item shows in place of its title and image. It draws itself
// and receives the item's mouse presses; with a variable-length item its width sets the
// item's. Presenters redraw it when it asks (`setNeedsDisplay`).
class StatusItemView : public QObject {
    Q_OBJECT
  public:
    ~StatusItemView() override;

    // Draws into `bounds` (0, 0, width, bar thickness), y down.
    virtual void drawRect(QPainter& painter, const QRectF& bounds) = 0;
    virtual void mouseDown(const StatusItemMouseEvent& event);
    virtual void mouseUp(const StatusItemMouseEvent& event);
    // The text the view shows, for presenters that show an item as text (a panel's label).
    virtual QString text() const { return {}; }

    double width() const { return width_; }
    void setWidth(double width);
    void setNeedsDisplay() { emit needsDisplay(); }

  signals:
    void needsDisplay();
    void widthChanged();

  private:
    double width_ = 0;
};

// One item of the menu bar: the model that presenters show. It carries what the original system's
// status item and its button carry: length, title (plain or styled), image, alignment,
// button frame, click action or menu, custom view, highlight, and the screen rectangle the
// presenter gives it. Main thread only.
class StatusItem : public QObject {
    Q_OBJECT
  public:
    using Action = std::function<void(StatusItem& sender)>;

    ~StatusItem() override;

    StatusBar* statusBar() const { return bar_; }

    // VariableStatusItemLength, SquareStatusItemLength, or a width in points (0 hides it).
    double length() const { return length_; }
    void setLength(double length);

    const QString& title() const { return attributedTitle_.string(); }
    // A title without attributes: drawn in the bar's font and colour.
    void setTitle(const QString& title);
    const AttributedString& attributedTitle() const { return attributedTitle_; }
    void setAttributedTitle(const AttributedString& title);
    // Shown left of the title; a null image clears it.
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    // Where title and image sit in an item wider than they are: Qt::AlignLeft, AlignHCenter
    // (the default) or AlignRight.
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);
    // The button's frame in the item: its origin moves title and image (x to the right, y
    // up: "move the button 4 points right" is origin x + 4); its size is the item's.
    QRectF buttonFrame() const;
    void setButtonFrame(const QRectF& frame);
    const QString& toolTip() const { return toolTip_; }
    void setToolTip(const QString& toolTip);

    // Whether the item is drawn highlighted while pressed or while its menu is open.
    bool highlightMode() const { return highlightMode_; }
    void setHighlightMode(bool on);
    bool isHighlighted() const { return highlighted_; }

    // The click action, used when the item has neither a menu nor a view.
    const Action& action() const { return action_; }
    bool hasAction() const { return static_cast<bool>(action_); }
    void setAction(Action action) { action_ = std::move(action); }

    // A menu opens on a press on the item.
    const std::shared_ptr<Menu>& menu() const { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu);
    // With a view, presses go to the view and the title and image are not drawn.
    const std::shared_ptr<StatusItemView>& view() const { return view_; }
    void setView(std::shared_ptr<StatusItemView> view);

    // Opens `menu` under the item, as a press on an item with that menu does.
    void popUpStatusItemMenu(const std::shared_ptr<Menu>& menu);

    // The item's rectangle on the screen (windows hang below it); empty while no presenter
    // shows the item.
    QRectF windowFrame() const { return windowFrame_; }

    // For presenters.
    void setHighlighted(bool on);
    void setWindowFrame(const QRectF& frame);
    void performClick(ModifierFlags modifiers = 0);

  signals:
    // Something that is drawn, or the item's width, changed.
    void changed();
    void menuChanged();
    void popUpMenuRequested(const std::shared_ptr<talvor::platform::Menu>& menu);
    void windowFrameChanged();

  private:
    friend class StatusBar;
    StatusItem(StatusBar* bar, double length);

    StatusBar* bar_;
    double length_;
    AttributedString attributedTitle_;
    QImage image_;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
    QPointF buttonOrigin_;
    QString toolTip_;
    bool highlightMode_ = false;
    bool highlighted_ = false;
    Action action_;
    std::shared_ptr<Menu> menu_;
    std::shared_ptr<StatusItemView> view_;
    QRectF windowFrame_;
};

// The menu bar's status area: items in creation order. The bar holds its items; a caller
// may keep one after removing it, and it then belongs to no bar.
class StatusBar : public QObject {
    Q_OBJECT
  public:
    StatusBar();
    ~StatusBar() override;

    static StatusBar& systemStatusBar();
    // Replaces the system status bar (tests); nullptr restores the real one.
    static void setSystemStatusBar(StatusBar* bar);

    std::shared_ptr<StatusItem> statusItemWithLength(double length);
    // An item not in this bar is ignored.
    void removeStatusItem(const StatusItem* item);
    const std::vector<std::shared_ptr<StatusItem>>& statusItems() const { return items_; }

    double thickness() const { return StatusBarThickness; }

  signals:
    void itemAdded(talvor::platform::StatusItem* item);
    // Emitted after the item left the bar; it is still alive during the signal.
    void itemRemoved(talvor::platform::StatusItem* item);

  private:
    std::vector<std::shared_ptr<StatusItem>> items_;
};

}  // namespace talvor::platform
