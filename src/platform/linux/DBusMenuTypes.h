#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The wire types of com.canonical.dbusmenu and org.kde.StatusNotifierItem, as their
// public specifications give them.
namespace talvor::platform::dbus {

// (ia{sv}av): an entry, its properties and its children (each a variant of this type).
struct MenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<MenuLayoutItem> children;
};

// (ia{sv}): an entry's properties, for GetGroupProperties and ItemsPropertiesUpdated.
struct MenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

// (ias): the properties an entry lost.
struct MenuItemKeys {
    int id = 0;
    QStringList names;
};
using MenuItemKeysList = QList<MenuItemKeys>;

// (isvu): one event of EventGroup.
struct MenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using MenuEventList = QList<MenuEvent>;

// (iiay): an icon, ARGB32 in network byte order.
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using IconPixmapList = QList<IconPixmap>;

// (sa(iiay)ss): icon name, icon, title, text.
struct ToolTip {
    QString iconName;
    IconPixmapList icon;
    QString title;
    QString text;
};

// Registers every type above with Qt D-Bus; safe to call more than once.
void registerTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const MenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemKeys& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemKeys& item);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuEvent& event);
QDBusArgument& operator<<(QDBusArgument& arg, const IconPixmap& icon);
const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& icon);
QDBusArgument& operator<<(QDBusArgument& arg, const ToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& arg, ToolTip& tip);

}  // namespace talvor::platform::dbus

Q_DECLARE_METATYPE(talvor::platform::dbus::MenuLayoutItem)
Q_DECLARE_METATYPE(talvor::platform::dbus::MenuItemProperties)
Q_DECLARE_METATYPE(talvor::platform::dbus::MenuItemKeys)
Q_DECLARE_METATYPE(talvor::platform::dbus::MenuEvent)
Q_DECLARE_METATYPE(talvor::platform::dbus::IconPixmap)
Q_DECLARE_METATYPE(talvor::platform::dbus::ToolTip)
