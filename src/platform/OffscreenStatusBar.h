#pragma once

#include "StatusBar.h"
#include "StatusBarPainter.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <memory>

namespace talvor::platform {

class Menu;

// The menu bar presenter without a display, for tests and screenshots. It lays the bar
// across the top of a virtual screen, gives the items their rectangles there, draws the
// bar to an image with the same painting code as the panel, and lets a test press items
// and open, dismiss or choose from their menus as a user of the panel would. The status
// bar must outlive it.
class OffscreenStatusBar : public QObject {
    Q_OBJECT
  public:
    explicit OffscreenStatusBar(StatusBar& bar, QSize screenSize = QSize(1280, 800));
    ~OffscreenStatusBar() override;

    const StatusBarStyle& style() const { return style_; }
    QSize screenSize() const { return screen_; }
    // An item's rectangle on the virtual screen; empty when the item is not shown.
    QRectF itemRect(const StatusItem* item) const;

    // The bar `width` points wide (0: as wide as the screen), items right-aligned.
    QImage render(double width = 0, double devicePixelRatio = 1.0) const;
    // The narrowest bar that holds every item, as the floating panel shows it.
    QImage renderNatural(double devicePixelRatio = 1.0) const;
    // A menu as its QMenu mirror draws it.
    static QImage renderMenu(const std::shared_ptr<Menu>& menu);
    // The top of the virtual screen: the bar with the open menu, if any, under its item.
    QImage renderScreen(double devicePixelRatio = 1.0) const;

    // A press and release at the centre of an item, as on the panel; a press on an item with
    // a menu opens it (see openMenu), a press while a menu is open only closes that menu.
    void mouseDown(StatusItem& item, Qt::MouseButton button = Qt::LeftButton,
                   ModifierFlags modifiers = 0, double timestamp = 0);
    void mouseUp(StatusItem& item, Qt::MouseButton button = Qt::LeftButton,
                 ModifierFlags modifiers = 0, double timestamp = 0, bool inside = true);
    void click(StatusItem& item, Qt::MouseButton button = Qt::LeftButton,
               ModifierFlags modifiers = 0);

    // The menu open now and the item it hangs from; nullptr when none is open.
    const std::shared_ptr<Menu>& openMenu() const { return openMenu_; }
    StatusItem* openMenuItem() const { return openItem_; }
    // Dismisses the open menu.
    void closeMenu();
    // Chooses the entry at `index` of the open menu: the menu closes, then the action runs.
    bool chooseMenuItem(int index, ModifierFlags modifiers = 0);

  private:
    void watch(StatusItem* item);
    void relayout();
    void open(StatusItem& item, const std::shared_ptr<Menu>& menu);
    StatusItemMouseEvent makeEvent(StatusItem& item, Qt::MouseButton button,
                                   ModifierFlags modifiers, double timestamp) const;

    StatusBar& bar_;
    QSize screen_;
    StatusBarStyle style_;
    std::vector<PlacedStatusItem> placed_;
    std::shared_ptr<Menu> openMenu_;
    QPointer<StatusItem> openItem_;
    QPointer<StatusItem> pressed_;
    StatusItemPress pressKind_ = StatusItemPress::None;
};

}  // namespace talvor::platform
