#pragma once

#include "DBusMenuTypes.h"
#include "platform/DesktopPanel.h"
#include "platform/StatusBarPainter.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

class QDBusServiceWatcher;

namespace talvor::platform {

class DBusMenuExporter;
class MenuMirror;
class StatusBar;
class StatusItem;

// One status item as an org.kde.StatusNotifierItem, on a bus connection of its own (so
// that each item has the well-known name and the object paths the protocol expects), with
// its menu over com.canonical.dbusmenu at /MenuBar. The icon is the item as the strip
// draws it, at the panel's height and twice that; the label is its text. Changes reach the
// panel at most once per pass of the event loop, so a tick costs one update.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(talvor::platform::dbus::IconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(talvor::platform::dbus::IconPixmapList OverlayIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(talvor::platform::dbus::IconPixmapList AttentionIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(talvor::platform::dbus::ToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ label)
  public:
    static const QString ObjectPath;
    static const QString MenuPath;

    // `id` names the item to the panel, the same at every start.
    StatusNotifierItem(StatusItem& item, QString id, StatusBarStyle style);
    ~StatusNotifierItem() override;

    // The item's name on the bus; empty when it could not be published.
    const QString& serviceName() const { return serviceName_; }
    // Tells the watcher about the item (again, after the panel restarted).
    void registerWithWatcher();
    DBusMenuExporter* menuExporter() const { return menu_.get(); }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return id_; }
    QString title() const;
    QString status() const { return status_; }
    int windowId() const { return 0; }
    QString noName() const { return {}; }
    dbus::IconPixmapList noPixmap() const { return {}; }
    dbus::IconPixmapList iconPixmap() const { return icon_; }
    dbus::ToolTip toolTip() const;
    bool itemIsMenu() const;
    QDBusObjectPath menuPath() const;
    QString label() const { return label_; }

  public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);
    void ProvideXdgActivationToken(const QString& token);

  signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void NewMenu();
    void XAyatanaNewLabel(const QString& label, const QString& guide);

  private:
    void publish();
    void scheduleUpdate();
    void update();
    void followMenu();
    void openMenuAt(const QPoint& where);

    QPointer<StatusItem> item_;
    QString id_;
    StatusBarStyle style_;
    QString connectionName_;
    QDBusConnection bus_;
    QString serviceName_;
    std::unique_ptr<DBusMenuExporter> menu_;
    std::unique_ptr<MenuMirror> mirror_;
    dbus::IconPixmapList icon_;
    QString label_;
    QString status_ = QStringLiteral("Active");
    QString toolTip_;
    bool updatePending_ = false;
};

// The status bar's items in the desktop's panel while it lives: one StatusNotifierItem per
// item, made and removed with them, registered again when the panel's watcher comes back.
class StatusNotifierPresenter : public QObject {
    Q_OBJECT
  public:
    // `bus`: where the watcher is looked for.
    StatusNotifierPresenter(StatusBar& bar, QDBusConnection bus);
    ~StatusNotifierPresenter() override;

    // The exported item of `item`, or nullptr.
    StatusNotifierItem* exported(const StatusItem* item) const;

  private:
    void add(StatusItem* item);

    StatusBar& bar_;
    QDBusConnection bus_;
    std::map<const StatusItem*, std::unique_ptr<StatusNotifierItem>> items_;
    QDBusServiceWatcher* watcher_ = nullptr;
    int made_ = 0;
};

// The desktop panel of freedesktop desktops: a StatusNotifierWatcher on the session bus
// whose IsStatusNotifierHostRegistered says a panel shows the items.
class StatusNotifierPanel : public DesktopPanel {
  public:
    explicit StatusNotifierPanel(QDBusConnection bus);
    void findHost(QObject* context, std::function<void(bool present)> answer) override;
    std::unique_ptr<QObject> present(StatusBar& bar) override;

  private:
    QDBusConnection bus_;
};

}  // namespace talvor::platform
