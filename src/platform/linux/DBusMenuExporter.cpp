#include "DBusMenuExporter.h"

#include "platform/Menu.h"

#include <QBuffer>
#include <QTimer>

#include <algorithm>

namespace talvor::platform {
namespace {

// The panel draws "_x" as a mnemonic; our titles have none.
QString label(const QString& title) {
    QString escaped = title;
    return escaped.replace(QLatin1Char('_'), QStringLiteral("__"));
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap kept;
    for (const QString& name : names) {
        if (const auto it = properties.find(name); it != properties.end()) {
            kept.insert(name, it.value());
        }
    }
    return kept;
}

}  // namespace

DBusMenuExporter::DBusMenuExporter(std::shared_ptr<Menu> menu, QObject* parent)
    : QObject(parent), menu_(std::move(menu)) {
    dbus::registerTypes();
    refresh();
}

DBusMenuExporter::~DBusMenuExporter() = default;

void DBusMenuExporter::setMenu(std::shared_ptr<Menu> menu) {
    if (menu == menu_) {
        return;
    }
    menu_ = std::move(menu);
    refresh();
}

int DBusMenuExporter::idFor(const std::shared_ptr<MenuItem>& item) {
    auto it = ids_.find(item.get());
    // An address reused by a new entry gets a new id: the panel may still hold the old one.
    if (it == ids_.end() || it->second.item.lock() != item) {
        const int id = nextId_++;
        ids_[item.get()] = Known{item, id};
        byId_[id] = item;
        return id;
    }
    return it->second.id;
}

std::shared_ptr<MenuItem> DBusMenuExporter::itemFor(int id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second.lock();
}

Menu* DBusMenuExporter::menuFor(int id) const {
    if (id == 0) {
        return menu_.get();
    }
    const std::shared_ptr<MenuItem> item = itemFor(id);
    return item ? item->submenu().get() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(const MenuItem& item, const Menu& holder) const {
    // Only values that differ from the protocol's defaults travel.
    QVariantMap p;
    if (item.isSeparatorItem()) {
        p.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        p.insert(QStringLiteral("label"), label(item.title()));
    }
    if (!holder.isItemShownEnabled(item)) {
        p.insert(QStringLiteral("enabled"), false);
    }
    if (item.isHidden()) {
        p.insert(QStringLiteral("visible"), false);
    }
    if (item.state() != ControlState::Off) {
        p.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        p.insert(QStringLiteral("toggle-state"), item.state() == ControlState::On ? 1 : -1);
    }
    if (!item.image().isNull()) {
        p.insert(QStringLiteral("icon-data"), png(item.image()));
    }
    if (item.hasSubmenu()) {
        p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    return p;
}

void DBusMenuExporter::walk(const Menu& menu, int id, Snapshot& into,
                            std::vector<const Menu*>& path) {
    connect(&menu, &Menu::itemInserted, watching_.get(), [this] { scheduleRefresh(); });
    connect(&menu, &Menu::itemRemoved, watching_.get(), [this] { scheduleRefresh(); });
    connect(&menu, &Menu::itemChanged, watching_.get(), [this] { scheduleRefresh(); });
    std::vector<int>& children = into.children[id];
    path.push_back(&menu);
    for (const std::shared_ptr<MenuItem>& item : menu.itemArray()) {
        const int child = idFor(item);
        children.push_back(child);
        into.properties[child] = propertiesOf(*item, menu);
        const Menu* submenu = item->submenu().get();
        // A menu that holds itself further up would never end.
        if (submenu != nullptr && std::find(path.begin(), path.end(), submenu) == path.end()) {
            walk(*submenu, child, into, path);
        }
    }
    path.pop_back();
}

void DBusMenuExporter::refresh() {
    refreshPending_ = false;
    watching_ = std::make_unique<QObject>();
    Snapshot now;
    now.children[0];
    if (menu_) {
        std::vector<const Menu*> path;
        walk(*menu_, 0, now, path);
    }
    for (auto it = byId_.begin(); it != byId_.end();) {
        it = it->second.expired() ? byId_.erase(it) : std::next(it);
    }
    for (auto it = ids_.begin(); it != ids_.end();) {
        it = it->second.item.expired() ? ids_.erase(it) : std::next(it);
    }
    if (now.children != last_.children) {
        last_ = std::move(now);
        ++revision_;
        emit LayoutUpdated(revision_, 0);
        return;
    }
    dbus::MenuItemPropertiesList updated;
    dbus::MenuItemKeysList removed;
    for (const auto& [id, properties] : now.properties) {
        const QVariantMap& before = last_.properties[id];
        if (properties == before) {
            continue;
        }
        updated.append(dbus::MenuItemProperties{id, properties});
        QStringList gone;
        for (auto it = before.begin(); it != before.end(); ++it) {
            if (!properties.contains(it.key())) {
                gone << it.key();
            }
        }
        if (!gone.isEmpty()) {
            removed.append(dbus::MenuItemKeys{id, gone});
        }
    }
    last_ = std::move(now);
    if (!updated.isEmpty()) {
        emit ItemsPropertiesUpdated(updated, removed);
    }
}

void DBusMenuExporter::scheduleRefresh() {
    if (refreshPending_) {
        return;
    }
    refreshPending_ = true;
    // A tick retitles many entries at once: one message for them all.
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_) {
            refresh();
        }
    });
}

dbus::MenuLayoutItem DBusMenuExporter::layoutOf(int id, int depth, const QStringList& names) {
    dbus::MenuLayoutItem layout;
    layout.id = id;
    if (id != 0) {
        layout.properties = only(last_.properties[id], names);
    } else {
        layout.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (depth == 0) {
        return layout;
    }
    const auto children = last_.children.find(id);
    if (children == last_.children.end()) {
        return layout;
    }
    for (const int child : children->second) {
        layout.children.append(layoutOf(child, depth < 0 ? -1 : depth - 1, names));
    }
    return layout;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 dbus::MenuLayoutItem& layout) {
    if (refreshPending_) {
        refresh();
    }
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return revision_;
}

dbus::MenuItemPropertiesList DBusMenuExporter::GetGroupProperties(
    const QList<int>& ids, const QStringList& propertyNames) {
    if (refreshPending_) {
        refresh();
    }
    dbus::MenuItemPropertiesList result;
    for (const int id : ids) {
        if (const auto it = last_.properties.find(id); it != last_.properties.end()) {
            result.append(dbus::MenuItemProperties{id, only(it->second, propertyNames)});
        }
    }
    return result;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    if (refreshPending_) {
        refresh();
    }
    return QDBusVariant(last_.properties[id].value(name));
}

bool DBusMenuExporter::handleEvent(int id, const QString& eventId) {
    if (eventId == QLatin1String("clicked")) {
        const std::shared_ptr<MenuItem> item = itemFor(id);
        Menu* holder = item ? item->menu() : nullptr;
        if (holder == nullptr) {
            return false;
        }
        holder->performActionForItemAtIndex(holder->indexOfItem(item.get()));
        return true;
    }
    Menu* menu = menuFor(id);
    if (menu == nullptr) {
        return false;
    }
    // The tick retitles an open menu in place and holds rebuilds until it closes.
    if (eventId == QLatin1String("opened") && !menu->isOpen()) {
        menu->notifyWillOpen();
    } else if (eventId == QLatin1String("closed") && menu->isOpen()) {
        menu->notifyDidClose();
    }
    return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    handleEvent(id, eventId);
}

QList<int> DBusMenuExporter::EventGroup(const dbus::MenuEventList& events) {
    QList<int> unknown;
    for (const dbus::MenuEvent& event : events) {
        if (!handleEvent(event.id, event.eventId)) {
            unknown << event.id;
        }
    }
    return unknown;
}

bool DBusMenuExporter::AboutToShow(int id) {
    Menu* menu = menuFor(id);
    if (menu == nullptr) {
        return false;
    }
    const uint before = revision_;
    if (const auto& update = menu->delegate().menuNeedsUpdate) {
        update(*menu);
    }
    refresh();
    return revision_ != before;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    QList<int> needUpdate;
    for (const int id : ids) {
        if (menuFor(id) == nullptr) {
            idErrors << id;
        } else if (AboutToShow(id)) {
            needUpdate << id;
        }
    }
    return needUpdate;
}

}  // namespace talvor::platform
