#include "StatusNotifierItems.h"

#include "DBusMenuExporter.h"
#include "platform/Log.h"
#include "platform/MenuMirror.h"
#include "platform/StatusBar.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <QtEndian>

#include <cmath>

namespace talvor::platform {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// How long the watcher may take to say whether a panel is there, before the strip shows.
constexpr int kHostAnswerMs = 1500;

// ARGB32 in network byte order, as the protocol wants it.
dbus::IconPixmap wirePixmap(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    dbus::IconPixmap pixmap;
    pixmap.width = argb.width();
    pixmap.height = argb.height();
    pixmap.bytes.resize(static_cast<qsizetype>(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            *out++ = qToBigEndian(line[x]);
        }
    }
    return pixmap;
}

QImage drawItem(const StatusItem& item, const StatusBarStyle& style, double width, int scale) {
    QImage image(static_cast<int>(std::ceil(width * scale)),
                 static_cast<int>(std::ceil(StatusBarThickness * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintStatusItem(painter, item, QRectF(0, 0, width, StatusBarThickness), style);
    return image;
}

QString itemText(const StatusItem& item) {
    if (const auto& view = item.view()) {
        return view->text();
    }
    return item.title();
}

int nextConnection() {
    static int made = 0;
    return ++made;
}

}  // namespace

const QString StatusNotifierItem::ObjectPath = QStringLiteral("/StatusNotifierItem");
const QString StatusNotifierItem::MenuPath = QStringLiteral("/MenuBar");

StatusNotifierItem::StatusNotifierItem(StatusItem& item, QString id, StatusBarStyle style)
    : item_(&item),
      id_(std::move(id)),
      style_(std::move(style)),
      connectionName_(QStringLiteral("talvor-status-item-%1").arg(nextConnection())),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)) {
    dbus::registerTypes();
    connect(&item, &StatusItem::changed, this, [this] { scheduleUpdate(); });
    connect(&item, &StatusItem::menuChanged, this, [this] { followMenu(); });
    connect(&item, &StatusItem::popUpMenuRequested, this, [this] { openMenuAt(QCursor::pos()); });
    if (const auto& view = item.view()) {
        connect(view.get(), &StatusItemView::needsDisplay, this, [this] { scheduleUpdate(); });
        connect(view.get(), &StatusItemView::widthChanged, this, [this] { scheduleUpdate(); });
    }
    menu_ = std::make_unique<DBusMenuExporter>(item.menu());
    update();
    publish();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(MenuPath);
        bus_.unregisterObject(ObjectPath);
        if (!serviceName_.isEmpty()) {
            bus_.unregisterService(serviceName_);
        }
    }
    // The name goes with the connection: the watcher drops the item.
    QDBusConnection::disconnectFromBus(connectionName_);
}

void StatusNotifierItem::publish() {
    if (!bus_.isConnected()) {
        log(QStringLiteral("Desktop panel: no session bus; the item %1 is not shown").arg(id_));
        return;
    }
    const QString name = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(connectionName_.section(QLatin1Char('-'), -1));
    if (!bus_.registerService(name) ||
        !bus_.registerObject(ObjectPath, this, QDBusConnection::ExportAllContents) ||
        !bus_.registerObject(MenuPath, menu_.get(), QDBusConnection::ExportAllContents)) {
        log(QStringLiteral("Desktop panel: the item %1 could not be published: %2")
                .arg(id_, bus_.lastError().message()));
        return;
    }
    serviceName_ = name;
    registerWithWatcher();
}

void StatusNotifierItem::registerWithWatcher() {
    if (serviceName_.isEmpty()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, kWatcher, QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [id = id_](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (done->isError()) {
                    log(QStringLiteral("Desktop panel: the panel refused the item %1: %2")
                            .arg(id, done->error().message()));
                }
            });
}

QString StatusNotifierItem::title() const {
    return label_.isEmpty() ? QCoreApplication::applicationName() : label_;
}

dbus::ToolTip StatusNotifierItem::toolTip() const {
    dbus::ToolTip tip;
    tip.title = toolTip_.isEmpty() ? title() : toolTip_;
    return tip;
}

bool StatusNotifierItem::itemIsMenu() const {
    // A click on an item with a menu opens it, as on the strip; others are activated.
    return item_ && item_->menu() && !item_->view();
}

QDBusObjectPath StatusNotifierItem::menuPath() const {
    return QDBusObjectPath(item_ && item_->menu() ? MenuPath : QStringLiteral("/NO_DBUSMENU"));
}

void StatusNotifierItem::scheduleUpdate() {
    if (updatePending_) {
        return;
    }
    updatePending_ = true;
    // The tick changes title and image one after the other: the panel hears of both once.
    QTimer::singleShot(0, this, [this] { update(); });
}

void StatusNotifierItem::update() {
    updatePending_ = false;
    if (!item_) {
        return;
    }
    const double width = statusItemWidth(*item_, style_);
    dbus::IconPixmapList icon;
    if (width > 0) {
        icon << wirePixmap(drawItem(*item_, style_, width, 1))
             << wirePixmap(drawItem(*item_, style_, width, 2));
    }
    const QString status = width > 0 ? QStringLiteral("Active") : QStringLiteral("Passive");
    const QString label = itemText(*item_);
    const QString toolTip = item_->toolTip();
    const bool iconChanged =
        icon.size() != icon_.size() ||
        std::equal(icon.begin(), icon.end(), icon_.begin(),
                   [](const dbus::IconPixmap& a, const dbus::IconPixmap& b) {
                       return a.width == b.width && a.height == b.height && a.bytes == b.bytes;
                   }) == false;
    const bool labelChanged = label != label_;
    const bool statusChanged = status != status_;
    const bool tipChanged = labelChanged || toolTip != toolTip_;
    icon_ = std::move(icon);
    label_ = label;
    status_ = status;
    toolTip_ = toolTip;
    if (iconChanged) {
        emit NewIcon();
    }
    if (labelChanged) {
        emit NewTitle();
        emit XAyatanaNewLabel(label_, label_);
    }
    if (tipChanged) {
        emit NewToolTip();
    }
    if (statusChanged) {
        emit NewStatus(status_);
    }
}

void StatusNotifierItem::followMenu() {
    mirror_.reset();
    menu_->setMenu(item_ ? item_->menu() : nullptr);
    emit NewMenu();
    scheduleUpdate();
}

void StatusNotifierItem::openMenuAt(const QPoint& where) {
    if (!item_ || !item_->menu()) {
        return;
    }
    if (!mirror_ || mirror_->model() != item_->menu()) {
        mirror_ = std::make_unique<MenuMirror>(item_->menu());
    }
    mirror_->menu()->popup(where);
}

void StatusNotifierItem::Activate(int x, int y) {
    if (!item_) {
        return;
    }
    const double width = statusItemWidth(*item_, style_);
    // Windows that hang below the item open at the place of the click.
    if (x != 0 || y != 0) {
        item_->setWindowFrame(QRectF(x - width / 2, y, width, 0));
    }
    StatusItemMouseEvent event;
    event.position = QPointF(width / 2, StatusBarThickness / 2);
    QElapsedTimer now;
    now.start();
    event.timestamp = static_cast<double>(now.msecsSinceReference()) / 1000.0;
    const StatusItemPress press = pressStatusItem(*item_, event);
    if (press == StatusItemPress::OpenMenu) {
        openMenuAt(QPoint(x, y));
        return;
    }
    releaseStatusItem(*item_, press, event, true);
}

void StatusNotifierItem::SecondaryActivate(int, int) {}

void StatusNotifierItem::ContextMenu(int x, int y) {
    if (item_ && item_->menu()) {
        openMenuAt(QPoint(x, y));
    }
}

void StatusNotifierItem::Scroll(int, const QString&) {}

void StatusNotifierItem::ProvideXdgActivationToken(const QString& token) {
    // Windows opened next take the panel's focus token on Wayland.
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

StatusNotifierPresenter::StatusNotifierPresenter(StatusBar& bar, QDBusConnection bus)
    : bar_(bar), bus_(std::move(bus)) {
    for (const std::shared_ptr<StatusItem>& item : bar.statusItems()) {
        add(item.get());
    }
    connect(&bar, &StatusBar::itemAdded, this, [this](StatusItem* item) { add(item); });
    connect(&bar, &StatusBar::itemRemoved, this, [this](StatusItem* item) { items_.erase(item); });
    watcher_ =
        new QDBusServiceWatcher(kWatcher, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        for (const auto& [item, exported] : items_) {
            exported->registerWithWatcher();
        }
    });
}

StatusNotifierPresenter::~StatusNotifierPresenter() = default;

StatusNotifierItem* StatusNotifierPresenter::exported(const StatusItem* item) const {
    const auto it = items_.find(item);
    return it == items_.end() ? nullptr : it->second.get();
}

void StatusNotifierPresenter::add(StatusItem* item) {
    const auto& all = bar_.statusItems();
    const auto at = std::find_if(all.begin(), all.end(),
                                 [item](const auto& held) { return held.get() == item; });
    // Named by their place in the bar, so that the panel keeps each where the user put it.
    const QString id = QStringLiteral("%1-%2")
                           .arg(QCoreApplication::applicationName().toLower())
                           .arg(at - all.begin() + 1);
    items_[item] = std::make_unique<StatusNotifierItem>(*item, id, defaultStatusBarStyle());
}

StatusNotifierPanel::StatusNotifierPanel(QDBusConnection bus) : bus_(std::move(bus)) {}

void StatusNotifierPanel::findHost(QObject* context, std::function<void(bool present)> answer) {
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, context, [answer = std::move(answer)] { answer(false); });
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get, kHostAnswerMs), context);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, context,
                     [answer = std::move(answer)](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *done;
                         answer(!reply.isError() && reply.value().variant().toBool());
                     });
}

std::unique_ptr<QObject> StatusNotifierPanel::present(StatusBar& bar) {
    if (!bus_.isConnected()) {
        return nullptr;
    }
    return std::make_unique<StatusNotifierPresenter>(bar, bus_);
}

}  // namespace talvor::platform
