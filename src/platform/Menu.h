#pragma once

#include "AttributedString.h"
#include "EventModifiers.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace talvor::platform {

class Menu;
class MenuItem;

// The check-mark state of a menu item.
enum class ControlState : int { Mixed = -1, Off = 0, On = 1 };

// What choosing an item does; the target is whatever the function captures.
using MenuAction = std::function<void(MenuItem& sender)>;

// One entry of a menu: the model that presenters mirror. Every change is announced with
// `changed`, and through the menu holding the item with `Menu::itemChanged`.
class MenuItem : public QObject {
    Q_OBJECT
  public:
    explicit MenuItem(const QString& title = {}, MenuAction action = {},
                      const QString& keyEquivalent = {});
    ~MenuItem() override;

    static std::shared_ptr<MenuItem> create(const QString& title = {}, MenuAction action = {},
                                            const QString& keyEquivalent = {});
    static std::shared_ptr<MenuItem> separatorItem();

    bool isSeparatorItem() const { return separator_; }

    const QString& title() const { return title_; }
    // Also clears the attributed title.
    void setTitle(const QString& title);
    // Shown instead of the title while not empty; the title becomes its plain text.
    const AttributedString& attributedTitle() const { return attributedTitle_; }
    void setAttributedTitle(const AttributedString& title);

    qint64 tag() const { return tag_; }
    void setTag(qint64 tag);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    ControlState state() const { return state_; }
    void setState(ControlState state);
    // Consulted only when the menu does not enable its items itself (`Menu::autoenablesItems`).
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    // A key equivalent is a character; an upper-case letter implies Shift.
    const QString& keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(const QString& key);
    ModifierFlags keyEquivalentModifierMask() const { return keyMask_; }
    void setKeyEquivalentModifierMask(ModifierFlags mask);
    const QVariant& representedObject() const { return representedObject_; }
    void setRepresentedObject(const QVariant& object);
    const QString& identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier);
    const QString& toolTip() const { return toolTip_; }
    void setToolTip(const QString& toolTip);

    const MenuAction& action() const { return action_; }
    bool hasAction() const { return static_cast<bool>(action_); }
    void setAction(MenuAction action);

    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    bool hasSubmenu() const { return submenu_ != nullptr; }
    void setSubmenu(std::shared_ptr<Menu> submenu);

    // The menu that holds the item, or nullptr.
    Menu* menu() const { return menu_; }

  signals:
    void changed();

  private:
    friend class Menu;
    void notifyChanged();

    bool separator_ = false;
    QString title_;
    AttributedString attributedTitle_;
    qint64 tag_ = 0;
    QImage image_;
    ControlState state_ = ControlState::Off;
    bool enabled_ = true;
    bool hidden_ = false;
    QString keyEquivalent_;
    ModifierFlags keyMask_ = CommandKeyMask;
    QVariant representedObject_;
    QString identifier_;
    QString toolTip_;
    MenuAction action_;
    std::shared_ptr<Menu> submenu_;
    Menu* menu_ = nullptr;
};

// A menu's optional callbacks; an empty one is one the delegate does not answer.
struct MenuDelegate {
    std::function<void(Menu& menu)> menuNeedsUpdate = {};
    std::function<void(Menu& menu)> menuWillOpen = {};
    std::function<void(Menu& menu)> menuDidClose = {};
};

// A menu: the single source of truth that presenters mirror. Items are shared, so a caller
// may keep one after it left the menu; an item stands in at most one menu at a time.
// Main thread only.
class Menu : public QObject, public std::enable_shared_from_this<Menu> {
    Q_OBJECT
  public:
    explicit Menu(const QString& title = {});
    ~Menu() override;

    static std::shared_ptr<Menu> create(const QString& title = {});

    const QString& title() const { return title_; }
    void setTitle(const QString& title);

    int numberOfItems() const { return static_cast<int>(items_.size()); }
    const std::vector<std::shared_ptr<MenuItem>>& itemArray() const { return items_; }
    // nullptr outside the menu.
    MenuItem* itemAtIndex(int index) const;

    // Look-ups give the first match, -1 or nullptr when there is none.
    int indexOfItem(const MenuItem* item) const;
    int indexOfItemWithTag(qint64 tag) const;
    MenuItem* itemWithTag(qint64 tag) const;
    int indexOfItemWithTitle(const QString& title) const;
    MenuItem* itemWithTitle(const QString& title) const;
    int indexOfItemWithRepresentedObject(const QVariant& object) const;
    int indexOfItemWithSubmenu(const Menu* submenu) const;

    // `index` from 0 to numberOfItems(). An index outside that range, or an item that
    // already stands in a menu, is refused with a log line (false, nullptr).
    bool insertItem(std::shared_ptr<MenuItem> item, int index);
    bool addItem(std::shared_ptr<MenuItem> item);
    std::shared_ptr<MenuItem> insertItemWithTitle(const QString& title, MenuAction action,
                                                  const QString& keyEquivalent, int index);
    std::shared_ptr<MenuItem> addItemWithTitle(const QString& title, MenuAction action = {},
                                               const QString& keyEquivalent = {});
    // An item not in this menu, or an index outside it, is ignored.
    void removeItem(const MenuItem* item);
    void removeItemAtIndex(int index);
    void removeAllItems();
    void setSubmenu(std::shared_ptr<Menu> submenu, MenuItem* item);

    // On (the default), an item is shown enabled exactly when it has an action or a submenu,
    // whatever its own enabled flag says.
    bool autoenablesItems() const { return autoenables_; }
    void setAutoenablesItems(bool on);
    bool isItemShownEnabled(const MenuItem& item) const;

    const MenuDelegate& delegate() const { return delegate_; }
    void setDelegate(MenuDelegate delegate) { delegate_ = std::move(delegate); }

    // True between a presenter's notifyWillOpen and notifyDidClose.
    bool isOpen() const { return open_; }
    // Asks the presenters to close the menu if it is open.
    void cancelTracking();

    // For presenters: the menu is about to show / has closed. Each is answered once per
    // opening: delegate first (needs-update, then will-open), then the signal.
    void notifyWillOpen();
    void notifyDidClose();
    // Runs the action of the item at `index` with `modifiers` as the event's modifiers; the
    // item stays alive through its action even if the action removes it. False when there
    // is no such item, it has no action, or it is not shown enabled.
    bool performActionForItemAtIndex(int index, ModifierFlags modifiers = 0);

  signals:
    // Emitted after the change, with the item's index at that moment.
    void itemInserted(int index);
    void itemRemoved(int index);
    void itemChanged(int index);
    void titleChanged();
    void willOpen();
    void didClose();
    void cancelTrackingRequested();

  private:
    friend class MenuItem;
    void itemDidChange(const MenuItem* item);

    QString title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    bool autoenables_ = true;
    bool open_ = false;
    MenuDelegate delegate_;
};

}  // namespace talvor::platform
