#pragma once

#include "Menu.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

namespace talvor::platform {

// A QMenu that shows a `Menu` model and follows it: every change of the model is applied to
// the same QMenu at once, also while it is open (a retitled item is retitled in place, an
// inserted or removed item appears or goes without closing the menu). Opening and closing
// the QMenu tell the model (`notifyWillOpen` / `notifyDidClose`), and a chosen entry runs
// the model item's action after the menu closed, as on the original system. Submenus are mirrored
// by child mirrors, and open beside the menu they come from, never over an open one. Main
// thread only.
class MenuMirror : public QObject {
    Q_OBJECT
  public:
    explicit MenuMirror(std::shared_ptr<Menu> model, QObject* parent = nullptr);
    ~MenuMirror() override;

    QMenu* menu() const { return menu_; }
    const std::shared_ptr<Menu>& model() const { return model_; }

    // The QAction standing for the model's item at `index`; nullptr outside the menu.
    QAction* actionAt(int index) const;
    // The mirror of the submenu of the item at `index`; nullptr when it has none.
    MenuMirror* submenuMirrorAt(int index) const;

  private:
    struct Entry {
        std::weak_ptr<MenuItem> item;
        QPointer<QAction> action;
        MenuMirror* submenu = nullptr;  // child QObject
        bool attributed = false;
    };

    MenuMirror(std::shared_ptr<Menu> model, std::vector<const Menu*> ancestors, QObject* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A submenu being shown goes beside the menu it opens from, clear of the open menus.
    void placeBesideOpener();
    void build();
    Entry makeEntry(const std::shared_ptr<MenuItem>& item);
    void insertEntry(int index);
    void removeEntry(int index);
    void updateEntry(int index);
    void apply(Entry& entry, const MenuItem& item);
    void syncSubmenu(Entry& entry, const MenuItem& item);
    void discard(Entry& entry);
    void dropSubmenu(Entry& entry);
    void trigger(const std::weak_ptr<MenuItem>& item);

    std::shared_ptr<Menu> model_;
    std::vector<const Menu*> ancestors_;
    QPointer<QMenu> menu_;
    std::vector<Entry> entries_;
};

}  // namespace talvor::platform
