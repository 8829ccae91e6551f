#include "PortalHotKeyBackend.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QTimer>

namespace talvor::platform {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

QString shortcutId(quint32 handle) {
    return QStringLiteral("hotkey-%1").arg(handle);
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut) {
    arg.beginStructure();
    arg << shortcut.id << shortcut.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut) {
    arg.beginStructure();
    arg >> shortcut.id >> shortcut.properties;
    arg.endStructure();
    return arg;
}

PortalHotKeyBackend::PortalHotKeyBackend(QDBusConnection bus,
                                         std::shared_ptr<const KeyboardLayout> layout)
    : bus_(std::move(bus)), layout_(std::move(layout)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    // Slots and signals name the list by its alias, which Qt knows only when told.
    qRegisterMetaType<PortalShortcutList>("talvor::platform::PortalShortcutList");
    // A slot taking a type Qt has not registered yet is refused without a word; in a process
    // where nothing used an object path before, no activation would ever arrive.
    qRegisterMetaType<QDBusObjectPath>();
    const bool heard =
        bus_.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Activated"), this,
                     SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
        bus_.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Deactivated"), this,
                     SLOT(deactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    if (!heard && bus_.isConnected()) {
        log(QStringLiteral("Hot keys: the portal's key presses cannot be received"));
    }
}

PortalHotKeyBackend::~PortalHotKeyBackend() {
    if (!session_.isEmpty()) {
        bus_.call(QDBusMessage::createMethodCall(kPortal, session_,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")),
                  QDBus::NoBlock);
    }
}

QString PortalHotKeyBackend::preferredTrigger(qint32 keyCode, ModifierFlags flags) const {
    // Our Command is the Control key and our Control the Super key, as with X11 grabs.
    QStringList parts;
    if ((flags & CommandKeyMask) != 0) {
        parts << QStringLiteral("CTRL");
    }
    if ((flags & AlternateKeyMask) != 0) {
        parts << QStringLiteral("ALT");
    }
    if ((flags & ShiftKeyMask) != 0) {
        parts << QStringLiteral("SHIFT");
    }
    if ((flags & ControlKeyMask) != 0) {
        parts << QStringLiteral("LOGO");
    }
    QString key = layout_ ? layout_->textForKeyCode(keyCode) : QString();
    if (key.size() == 1) {
        key = key.toLower();
    }
    parts << key;
    return parts.join(QLatin1Char('+'));
}

HotKeyGrab PortalHotKeyBackend::registerHotKey(qint32 keyCode, ModifierFlags flags,
                                               Handler handler) {
    const HotKeyGrab grab = registrations_.add(keyCode, flags, std::move(handler));
    if (grab) {
        scheduleBind();
    }
    return grab;
}

void PortalHotKeyBackend::unregisterHotKey(quint32 handle) {
    if (registrations_.remove(handle)) {
        scheduleBind();
    }
}

void PortalHotKeyBackend::request(const QString& method, QList<QVariant> arguments,
                                  QVariantMap options, Answer answer) {
    const QString token = QStringLiteral("talvor%1").arg(++tokens_);
    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    // The Request object's path is known before the call: listening first loses no answer.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token);
    auto* response = new PortalResponse(std::move(answer), this);
    bus_.connect(kPortal, path, kRequest, QStringLiteral("Response"), response,
                 SLOT(Response(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, method);
    call.setArguments(arguments);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(
        pending, &QDBusPendingCallWatcher::finished, this,
        [this, response = QPointer<PortalResponse>(response), method,
         path](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            if (done->isError()) {
                refuse(QStringLiteral("the desktop's portal offers no global shortcuts (%1: %2)")
                           .arg(method, done->error().message()));
                if (response) {
                    bus_.disconnect(kPortal, path, kRequest, QStringLiteral("Response"), response,
                                    SLOT(Response(uint, QVariantMap)));
                    // As the portal's own "other error" answer.
                    response->give(2, {});
                }
            }
        });
}

void PortalHotKeyBackend::createSession() {
    creating_ = true;
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("talvor_session%1").arg(tokens_ + 1));
    request(QStringLiteral("CreateSession"), {}, options,
            [this](uint response, const QVariantMap& results) {
                creating_ = false;
                const QVariant handle = results.value(QStringLiteral("session_handle"));
                session_ = handle.canConvert<QDBusObjectPath>()
                               ? handle.value<QDBusObjectPath>().path()
                               : handle.toString();
                if (response != 0 || session_.isEmpty()) {
                    session_.clear();
                    refuse(QStringLiteral("the desktop gave no global shortcuts session"));
                    return;
                }
                bind();
            });
}

void PortalHotKeyBackend::scheduleBind() {
    bound_ = false;
    if (bindPending_) {
        return;
    }
    bindPending_ = true;
    // Start-up registers several keys at once: the desktop is asked once for them all.
    QTimer::singleShot(0, this, [this] {
        bindPending_ = false;
        bind();
    });
}

void PortalHotKeyBackend::bind() {
    if (refused_ || creating_) {
        return;
    }
    if (session_.isEmpty()) {
        createSession();
        return;
    }
    PortalShortcutList shortcuts;
    for (const auto& [handle, held] : registrations_.all()) {
        const QString trigger = preferredTrigger(held.keyCode, held.flags);
        QVariantMap properties;
        properties.insert(QStringLiteral("description"), QStringLiteral("Talvor: %1").arg(trigger));
        properties.insert(QStringLiteral("preferred_trigger"), trigger);
        shortcuts.append(PortalShortcut{shortcutId(handle), properties});
    }
    request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
        {}, [this](uint response, const QVariantMap&) {
            if (response != 0) {
                refuse(QStringLiteral("the desktop refused the global hot keys"));
                emit bindingAnswered(false);
                return;
            }
            bound_ = !bindPending_;
            emit bindingAnswered(true);
        });
}

void PortalHotKeyBackend::refuse(const QString& why) {
    if (refused_) {
        return;
    }
    refused_ = true;
    log(QStringLiteral("Hot keys: %1; they work while a Talvor window has focus").arg(why));
    focus_ = std::make_unique<FocusHotKeys>(layout_, [this](qint32 keyCode, ModifierFlags flags) {
        return registrations_.find(keyCode, flags);
    });
}

void PortalHotKeyBackend::deliver(const QDBusObjectPath& session, const QString& id,
                                  qulonglong timestamp, bool pressed) {
    if (session.path() != session_) {
        return;
    }
    for (const auto& [handle, held] : registrations_.all()) {
        if (shortcutId(handle) == id) {
            HotKeyEvent event;
            event.pressed = pressed;
            event.time = timestamp;
            const Handler handler = held.handler;  // it may unregister itself
            if (handler) {
                handler(event);
            }
            return;
        }
    }
}

void PortalHotKeyBackend::activated(const QDBusObjectPath& session, const QString& id,
                                    qulonglong timestamp, const QVariantMap&) {
    deliver(session, id, timestamp, true);
}

void PortalHotKeyBackend::deactivated(const QDBusObjectPath& session, const QString& id,
                                      qulonglong timestamp, const QVariantMap&) {
    deliver(session, id, timestamp, false);
}

}  // namespace talvor::platform
