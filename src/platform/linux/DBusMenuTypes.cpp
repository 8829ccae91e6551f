#include "DBusMenuTypes.h"

#include <QDBusMetaType>

namespace talvor::platform::dbus {

void registerTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<MenuLayoutItem>();
        qDBusRegisterMetaType<MenuItemProperties>();
        qDBusRegisterMetaType<MenuItemPropertiesList>();
        qDBusRegisterMetaType<MenuItemKeys>();
        qDBusRegisterMetaType<MenuItemKeysList>();
        qDBusRegisterMetaType<MenuEvent>();
        qDBusRegisterMetaType<MenuEventList>();
        qDBusRegisterMetaType<IconPixmap>();
        qDBusRegisterMetaType<IconPixmapList>();
        qDBusRegisterMetaType<ToolTip>();
        // Signals and properties name the lists by their aliases, which Qt knows only when told.
        qRegisterMetaType<MenuItemPropertiesList>("talvor::platform::dbus::MenuItemPropertiesList");
        qRegisterMetaType<MenuItemKeysList>("talvor::platform::dbus::MenuItemKeysList");
        qRegisterMetaType<MenuEventList>("talvor::platform::dbus::MenuEventList");
        qRegisterMetaType<IconPixmapList>("talvor::platform::dbus::IconPixmapList");
        return true;
    }();
    (void)once;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuLayoutItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    // Children travel as variants, which is what lets the type hold itself.
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const MenuLayoutItem& child : item.children) {
        arg << QDBusVariant(QVariant::fromValue(child));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuLayoutItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    item.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        MenuLayoutItem made;
        child.variant().value<QDBusArgument>() >> made;
        item.children.append(made);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemProperties& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemProperties& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemKeys& item) {
    arg.beginStructure();
    arg << item.id << item.names;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemKeys& item) {
    arg.beginStructure();
    arg >> item.id >> item.names;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuEvent& event) {
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuEvent& event) {
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const IconPixmap& icon) {
    arg.beginStructure();
    arg << icon.width << icon.height << icon.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& icon) {
    arg.beginStructure();
    arg >> icon.width >> icon.height >> icon.bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const ToolTip& tip) {
    arg.beginStructure();
    arg << tip.iconName << tip.icon << tip.title << tip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, ToolTip& tip) {
    arg.beginStructure();
    arg >> tip.iconName >> tip.icon >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}

}  // namespace talvor::platform::dbus
