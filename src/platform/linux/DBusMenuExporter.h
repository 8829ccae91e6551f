#pragma once

#include "DBusMenuTypes.h"

#include <QDBusVariant>
#include <QObject>

#include <map>
#include <memory>
#include <vector>

namespace talvor::platform {

class Menu;
class MenuItem;

// A `Menu` model over com.canonical.dbusmenu, for a panel that draws the menu itself. The
// model stays the truth: the panel reads the tree (GetLayout), is told of changes (a new
// layout revision when entries come or go, changed properties otherwise, at most once per
// pass of the event loop), and its clicks run the model's actions. Entries keep their id for
// as long as they live; the menu itself is id 0. Register it with ExportAllContents.
class DBusMenuExporter : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
  public:
    explicit DBusMenuExporter(std::shared_ptr<Menu> menu, QObject* parent = nullptr);
    ~DBusMenuExporter() override;

    void setMenu(std::shared_ptr<Menu> menu);
    const std::shared_ptr<Menu>& menu() const { return menu_; }
    uint revision() const { return revision_; }

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

  public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   talvor::platform::dbus::MenuLayoutItem& layout);
    talvor::platform::dbus::MenuItemPropertiesList GetGroupProperties(
        const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const talvor::platform::dbus::MenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

  signals:
    void ItemsPropertiesUpdated(const talvor::platform::dbus::MenuItemPropertiesList& updated,
                                const talvor::platform::dbus::MenuItemKeysList& removed);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

  private:
    struct Known {
        std::weak_ptr<MenuItem> item;
        int id = 0;
    };
    struct Snapshot {
        std::map<int, QVariantMap> properties;
        std::map<int, std::vector<int>> children;
    };

    int idFor(const std::shared_ptr<MenuItem>& item);
    std::shared_ptr<MenuItem> itemFor(int id) const;
    // The menu an id opens: the model for 0, an entry's submenu, else nullptr.
    Menu* menuFor(int id) const;
    QVariantMap propertiesOf(const MenuItem& item, const Menu& holder) const;
    dbus::MenuLayoutItem layoutOf(int id, int depth, const QStringList& names);
    void walk(const Menu& menu, int id, Snapshot& into, std::vector<const Menu*>& path);
    // Takes a new snapshot, watching every menu in it; tells the panel what changed.
    void refresh();
    void scheduleRefresh();
    // False when the id names nothing (any more).
    bool handleEvent(int id, const QString& eventId);

    std::shared_ptr<Menu> menu_;
    std::map<const MenuItem*, Known> ids_;
    std::map<int, std::weak_ptr<MenuItem>> byId_;
    int nextId_ = 1;
    uint revision_ = 1;
    Snapshot last_;
    std::unique_ptr<QObject> watching_;
    bool refreshPending_ = false;
};

}  // namespace talvor::platform
