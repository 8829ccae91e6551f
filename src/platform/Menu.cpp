#include "Menu.h"

#include "Log.h"

namespace talvor::platform {

MenuItem::MenuItem(const QString& title, MenuAction action, const QString& keyEquivalent)
    : title_(title), keyEquivalent_(keyEquivalent), action_(std::move(action)) {}

MenuItem::~MenuItem() = default;

std::shared_ptr<MenuItem> MenuItem::create(const QString& title, MenuAction action,
                                           const QString& keyEquivalent) {
    return std::make_shared<MenuItem>(title, std::move(action), keyEquivalent);
}

std::shared_ptr<MenuItem> MenuItem::separatorItem() {
    auto item = std::make_shared<MenuItem>();
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

void MenuItem::notifyChanged() {
    emit changed();
    if (menu_ != nullptr) {
        menu_->itemDidChange(this);
    }
}

namespace {

template <typename T>
bool assign(T& slot, const T& value) {
    if (slot == value) {
        return false;
    }
    slot = value;
    return true;
}

}  // namespace

void MenuItem::setTitle(const QString& title) {
    const bool a = assign(title_, title);
    const bool b = assign(attributedTitle_, AttributedString());
    if (a || b) {
        notifyChanged();
    }
}

void MenuItem::setAttributedTitle(const AttributedString& title) {
    const bool a = assign(attributedTitle_, title);
    const bool b = assign(title_, title.string());
    if (a || b) {
        notifyChanged();
    }
}

void MenuItem::setTag(qint64 tag) {
    if (assign(tag_, tag)) {
        notifyChanged();
    }
}

void MenuItem::setImage(const QImage& image) {
    if (assign(image_, image)) {
        notifyChanged();
    }
}

void MenuItem::setState(ControlState state) {
    if (assign(state_, state)) {
        notifyChanged();
    }
}

void MenuItem::setEnabled(bool enabled) {
    if (assign(enabled_, enabled)) {
        notifyChanged();
    }
}

void MenuItem::setHidden(bool hidden) {
    if (assign(hidden_, hidden)) {
        notifyChanged();
    }
}

void MenuItem::setKeyEquivalent(const QString& key) {
    if (assign(keyEquivalent_, key)) {
        notifyChanged();
    }
}

void MenuItem::setKeyEquivalentModifierMask(ModifierFlags mask) {
    if (assign(keyMask_, mask)) {
        notifyChanged();
    }
}

void MenuItem::setRepresentedObject(const QVariant& object) {
    if (assign(representedObject_, object)) {
        notifyChanged();
    }
}

void MenuItem::setIdentifier(const QString& identifier) {
    if (assign(identifier_, identifier)) {
        notifyChanged();
    }
}

void MenuItem::setToolTip(const QString& toolTip) {
    if (assign(toolTip_, toolTip)) {
        notifyChanged();
    }
}

void MenuItem::setAction(MenuAction action) {
    // Functions cannot be compared; only a change between none and some is visible.
    const bool had = hasAction();
    action_ = std::move(action);
    if (had != hasAction()) {
        notifyChanged();
    }
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
    if (submenu_ != submenu) {
        submenu_ = std::move(submenu);
        notifyChanged();
    }
}

Menu::Menu(const QString& title) : title_(title) {}

Menu::~Menu() {
    for (const auto& item : items_) {
        item->menu_ = nullptr;
    }
}

std::shared_ptr<Menu> Menu::create(const QString& title) {
    return std::make_shared<Menu>(title);
}

void Menu::setTitle(const QString& title) {
    if (assign(title_, title)) {
        emit titleChanged();
    }
}

MenuItem* Menu::itemAtIndex(int index) const {
    if (index < 0 || index >= numberOfItems()) {
        return nullptr;
    }
    return items_[static_cast<std::size_t>(index)].get();
}

namespace {

template <typename Pred>
int findIndex(const std::vector<std::shared_ptr<MenuItem>>& items, Pred pred) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (pred(*items[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

int Menu::indexOfItem(const MenuItem* item) const {
    return findIndex(items_, [&](const MenuItem& m) { return &m == item; });
}

int Menu::indexOfItemWithTag(qint64 tag) const {
    return findIndex(items_, [&](const MenuItem& m) { return m.tag() == tag; });
}

MenuItem* Menu::itemWithTag(qint64 tag) const {
    return itemAtIndex(indexOfItemWithTag(tag));
}

int Menu::indexOfItemWithTitle(const QString& title) const {
    return findIndex(items_, [&](const MenuItem& m) { return m.title() == title; });
}

MenuItem* Menu::itemWithTitle(const QString& title) const {
    return itemAtIndex(indexOfItemWithTitle(title));
}

int Menu::indexOfItemWithRepresentedObject(const QVariant& object) const {
    return findIndex(items_, [&](const MenuItem& m) { return m.representedObject() == object; });
}

int Menu::indexOfItemWithSubmenu(const Menu* submenu) const {
    return findIndex(items_, [&](const MenuItem& m) { return m.submenu().get() == submenu; });
}

bool Menu::insertItem(std::shared_ptr<MenuItem> item, int index) {
    if (!item) {
        log(QStringLiteral("Menu \"%1\": no item to insert").arg(title_));
        return false;
    }
    if (item->menu_ != nullptr) {
        log(QStringLiteral("Menu \"%1\": item \"%2\" is already in another menu")
                .arg(title_, item->title()));
        return false;
    }
    if (index < 0 || index > numberOfItems()) {
        log(QStringLiteral("Menu \"%1\": index %2 out of range 0...%3 for item \"%4\"")
                .arg(title_)
                .arg(index)
                .arg(numberOfItems())
                .arg(item->title()));
        return false;
    }
    item->menu_ = this;
    items_.insert(items_.begin() + index, std::move(item));
    emit itemInserted(index);
    return true;
}

bool Menu::addItem(std::shared_ptr<MenuItem> item) {
    return insertItem(std::move(item), numberOfItems());
}

std::shared_ptr<MenuItem> Menu::insertItemWithTitle(const QString& title, MenuAction action,
                                                    const QString& keyEquivalent, int index) {
    auto item = MenuItem::create(title, std::move(action), keyEquivalent);
    return insertItem(item, index) ? item : nullptr;
}

std::shared_ptr<MenuItem> Menu::addItemWithTitle(const QString& title, MenuAction action,
                                                 const QString& keyEquivalent) {
    return insertItemWithTitle(title, std::move(action), keyEquivalent, numberOfItems());
}

void Menu::removeItem(const MenuItem* item) {
    removeItemAtIndex(indexOfItem(item));
}

void Menu::removeItemAtIndex(int index) {
    if (index < 0 || index >= numberOfItems()) {
        return;
    }
    const auto it = items_.begin() + index;
    const std::shared_ptr<MenuItem> keep = *it;  // observers may still look at it
    keep->menu_ = nullptr;
    items_.erase(it);
    emit itemRemoved(index);
}

void Menu::removeAllItems() {
    while (!items_.empty()) {
        removeItemAtIndex(numberOfItems() - 1);
    }
}

void Menu::setSubmenu(std::shared_ptr<Menu> submenu, MenuItem* item) {
    if (item != nullptr) {
        item->setSubmenu(std::move(submenu));
    }
}

void Menu::setAutoenablesItems(bool on) {
    if (assign(autoenables_, on)) {
        for (int i = 0; i < numberOfItems(); ++i) {
            emit itemChanged(i);
        }
    }
}

bool Menu::isItemShownEnabled(const MenuItem& item) const {
    if (item.isSeparatorItem()) {
        return false;
    }
    if (autoenables_) {
        return item.hasAction() || item.hasSubmenu();
    }
    return item.isEnabled();
}

void Menu::cancelTracking() {
    if (open_) {
        emit cancelTrackingRequested();
    }
}

void Menu::notifyWillOpen() {
    if (open_) {
        return;
    }
    // A callback may drop the last other reference to the menu.
    const std::shared_ptr<Menu> keep = weak_from_this().lock();
    open_ = true;
    if (delegate_.menuNeedsUpdate) {
        delegate_.menuNeedsUpdate(*this);
    }
    if (delegate_.menuWillOpen) {
        delegate_.menuWillOpen(*this);
    }
    emit willOpen();
}

void Menu::notifyDidClose() {
    if (!open_) {
        return;
    }
    const std::shared_ptr<Menu> keep = weak_from_this().lock();
    open_ = false;
    if (delegate_.menuDidClose) {
        delegate_.menuDidClose(*this);
    }
    emit didClose();
}

bool Menu::performActionForItemAtIndex(int index, ModifierFlags modifiers) {
    MenuItem* raw = itemAtIndex(index);
    if (raw == nullptr || !raw->hasAction() || !isItemShownEnabled(*raw)) {
        return false;
    }
    const std::shared_ptr<MenuItem> item = items_[static_cast<std::size_t>(index)];
    const MenuAction action = item->action();
    ScopedEventModifiers scope(modifiers);
    action(*item);
    return true;
}

void Menu::itemDidChange(const MenuItem* item) {
    const int index = indexOfItem(item);
    if (index >= 0) {
        emit itemChanged(index);
    }
}

}  // namespace talvor::platform
