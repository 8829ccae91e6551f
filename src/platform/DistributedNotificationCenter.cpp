#include "DistributedNotificationCenter.h"

#include "Log.h"
#include "SessionBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QRegularExpression>
#include <QThread>

#include <optional>

namespace talvor::platform {
namespace {

const QString kWireSignature = QStringLiteral("ssa{sv}");
// How QtDBus writes a QDateTime: (year, month, day), (hour, minute, second, ms), time spec.
const QString kDateTimeSignature = QStringLiteral("((iii)(iiii)i)");

void logInProcessOnlyOnce(const QString& reason) {
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
        log(QStringLiteral("distributed notifications reach this process only: %1").arg(reason));
    }
}

bool hasNul(const QString& text) {
    return text.contains(QChar(u'\0'));
}

QString describe(const QString& where, const QVariant& value, const char* outcome) {
    const QString type =
        value.isValid() ? QString::fromLatin1(value.metaType().name()) : QStringLiteral("no value");
    return QStringLiteral("%1 (%2) %3").arg(where, type, QLatin1String(outcome));
}

// D-Bus strings end at the first NUL, and the bus has no float or null; QtDBus would also
// send a local-time QDateTime that a process in another zone misreads.
std::optional<QVariant> toWire(const QVariant& value, const QString& where, QStringList& changes) {
    switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::Double:
        case QMetaType::QByteArray:
            return value;
        case QMetaType::QString:
            if (!hasNul(value.toString())) {
                return value;
            }
            changes << describe(where, value, "dropped");
            return std::nullopt;
        case QMetaType::QDateTime:
            if (value.toDateTime().isValid()) {
                return QVariant(value.toDateTime().toUTC());
            }
            changes << describe(where, value, "dropped");
            return std::nullopt;
        case QMetaType::QStringList: {
            QStringList out;
            const QStringList list = value.toStringList();
            for (qsizetype i = 0; i < list.size(); ++i) {
                if (hasNul(list[i])) {
                    changes << describe(QStringLiteral("%1[%2]").arg(where).arg(i), list[i],
                                        "dropped");
                } else {
                    out << list[i];
                }
            }
            return QVariant(out);
        }
        case QMetaType::QVariantList: {
            QVariantList out;
            const QVariantList list = value.toList();
            for (qsizetype i = 0; i < list.size(); ++i) {
                const QString at = QStringLiteral("%1[%2]").arg(where).arg(i);
                if (auto v = toWire(list[i], at, changes)) {
                    out << *v;
                }
            }
            return QVariant(out);
        }
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash: {
            QVariantMap out;
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                const QString at = where.isEmpty() ? it.key() : where + u'.' + it.key();
                if (hasNul(it.key())) {
                    changes << describe(at, it.value(), "dropped");
                } else if (auto v = toWire(it.value(), at, changes)) {
                    out.insert(it.key(), *v);
                }
            }
            return QVariant(out);
        }
        case QMetaType::Float:
            changes << describe(where, value, "sent as double");
            return QVariant(value.toDouble());
        case QMetaType::Long:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Char16:
        case QMetaType::Char32:
            changes << describe(where, value, "sent as integer");
            return QVariant(value.toLongLong());
        case QMetaType::ULong:
            changes << describe(where, value, "sent as integer");
            return QVariant(value.toULongLong());
        default:
            break;
    }
    // isNull: no value at all, or a null pointer (JSON's null), which would pass as "".
    if (!value.isNull() && value.canConvert<QString>()) {
        QVariant text = value;
        if (text.convert(QMetaType::fromType<QString>()) && !hasNul(text.toString())) {
            changes << describe(where, value, "sent as text");
            return text;
        }
    }
    changes << describe(where, value, "dropped");
    return std::nullopt;
}

QVariantMap userInfoForWire(const QString& name, const QVariantMap& userInfo) {
    QStringList changes;
    QVariantMap wire = toWire(QVariant(userInfo), QString(), changes)->toMap();
    if (!changes.isEmpty()) {
        log(QStringLiteral("distributed notification \"%1\": userInfo cannot travel as given: %2")
                .arg(name, changes.join(QStringLiteral("; "))));
    }
    return wire;
}

QVariant fromWire(const QVariant& value);

// Containers inside variants arrive as unread QDBusArguments; read them into plain values.
QVariant fromWireArgument(const QDBusArgument& arg) {
    if (arg.currentSignature() == kDateTimeSignature) {
        QDateTime when;
        arg >> when;
        return when.toUTC();
    }
    switch (arg.currentType()) {
        case QDBusArgument::MapType: {
            QVariantMap map;
            arg.beginMap();
            while (!arg.atEnd()) {
                arg.beginMapEntry();
                const QString key = fromWire(arg.asVariant()).toString();
                map.insert(key, fromWire(arg.asVariant()));
                arg.endMapEntry();
            }
            arg.endMap();
            return map;
        }
        case QDBusArgument::ArrayType: {
            QVariantList list;
            arg.beginArray();
            while (!arg.atEnd()) {
                list << fromWire(arg.asVariant());
            }
            arg.endArray();
            return list;
        }
        case QDBusArgument::StructureType: {
            QVariantList fields;
            arg.beginStructure();
            while (!arg.atEnd()) {
                fields << fromWire(arg.asVariant());
            }
            arg.endStructure();
            return fields;
        }
        case QDBusArgument::BasicType:
        case QDBusArgument::VariantType:
            return fromWire(arg.asVariant());
        default:
            return QVariant();
    }
}

QVariant fromWire(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return fromWire(value.value<QDBusVariant>().variant());
    }
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        return fromWireArgument(value.value<QDBusArgument>());
    }
    return value;
}

std::atomic<int> nextConnectionNumber{1};

}  // namespace

DistributedNotificationCenter::DistributedNotificationCenter(QObject* parent)
    : DistributedNotificationCenter(Connection::OfItsOwn, parent) {}

DistributedNotificationCenter::DistributedNotificationCenter(Connection connection, QObject* parent)
    : QObject(parent),
      registry_(std::make_shared<detail::ObserverRegistry>()),
      ownsConnection_(connection == Connection::OfItsOwn),
      bus_(QString()) {
    QCoreApplication* app = QCoreApplication::instance();
    // Observers run on the main thread even when the first use comes from another one.
    if (app != nullptr && parent == nullptr && thread() != app->thread()) {
        moveToThread(app->thread());
    }
    const std::optional<QString> found = SessionBus::address();
    if (app == nullptr) {
        logInProcessOnlyOnce(QStringLiteral("no application object"));
        return;
    }
    if (!found) {
        logInProcessOnlyOnce(QStringLiteral("no session bus"));
        return;
    }
    const QString& address = *found;
    QDBusConnection bus{QString()};
    if (ownsConnection_) {
        // A connection of our own, so that the address is read now rather than cached by Qt.
        connectionName_ = QStringLiteral("talvor-notifications-%1").arg(nextConnectionNumber++);
        bus = QDBusConnection::connectToBus(address, connectionName_);
    } else {
        bus = SessionBus::connection();
    }
    if (!bus.isConnected() || !bus.connect(QString(), objectPath(), QString::fromLatin1(kInterface),
                                           QString::fromLatin1(kSignal), kWireSignature, this,
                                           SLOT(onPosted(QDBusMessage)))) {
        logInProcessOnlyOnce(QStringLiteral("cannot use the session bus at %1 (%2)")
                                 .arg(address, bus.lastError().message()));
        bus = QDBusConnection(QString());
        if (ownsConnection_) {
            QDBusConnection::disconnectFromBus(connectionName_);
        }
        return;
    }
    bus_ = bus;
    connected_ = true;
    // The subscription was sent without waiting for it; from now on, posts by any process
    // reach this centre.
    flush();
}

DistributedNotificationCenter::~DistributedNotificationCenter() {
    if (connected_.load()) {
        bus_.disconnect(QString(), objectPath(), QString::fromLatin1(kInterface),
                        QString::fromLatin1(kSignal), kWireSignature, this,
                        SLOT(onPosted(QDBusMessage)));
        bus_ = QDBusConnection(QString());
        if (ownsConnection_) {
            QDBusConnection::disconnectFromBus(connectionName_);
        }
    }
}

DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter() {
    // Never destroyed: other threads and static destructors may still post while exiting.
    // It shares the process's one session-bus connection: each connection of its own
    // costs a handshake with the bus at start-up.
    static auto* center = new DistributedNotificationCenter(Connection::SharedSession);
    return *center;
}

Observation DistributedNotificationCenter::addObserver(
    const QString& name, const QVariant& object,
    std::function<void(const Notification&)> callback) {
    const QVariant filter = object.isValid() ? QVariant(object.toString()) : QVariant();
    return registry_->add(name, filter, std::move(callback));
}

QString DistributedNotificationCenter::objectPath() {
    static const QString path = [] {
        const QString scope = qEnvironmentVariable("TALVOR_NOTIFICATION_SCOPE");
        static const QRegularExpression element(QStringLiteral("^[A-Za-z0-9_]+$"));
        if (scope.isEmpty()) {
            return QString::fromLatin1(kObjectPath);
        }
        if (!element.match(scope).hasMatch()) {
            log(QStringLiteral("TALVOR_NOTIFICATION_SCOPE \"%1\" is not letters, digits and "
                               "\"_\": notifications go to every copy of the program")
                    .arg(scope));
            return QString::fromLatin1(kObjectPath);
        }
        return QString::fromLatin1(kObjectPath) + QLatin1Char('/') + scope;
    }();
    return path;
}

void DistributedNotificationCenter::post(const QString& name, const QString& object,
                                         const QVariantMap& userInfo) {
    if (hasNul(name) || hasNul(object)) {
        log(QStringLiteral("distributed notification \"%1\" not posted: its name or object "
                           "contains a NUL character, which D-Bus cannot carry")
                .arg(QString(name).replace(QChar(u'\0'), QStringLiteral("\\0"))));
        return;
    }
    const QVariantMap wire = userInfoForWire(name, userInfo);
    if (connected_.load()) {
        QDBusMessage signal = QDBusMessage::createSignal(
            objectPath(), QString::fromLatin1(kInterface), QString::fromLatin1(kSignal));
        signal.setArguments({name, object, wire});
        // The bus hands the signal back to this connection too, so no local delivery.
        if (bus_.send(signal)) {
            return;
        }
        if (!sendFailureLogged_.exchange(true)) {
            log(QStringLiteral("distributed notifications: sending on the session bus failed "
                               "(%1); delivering in this process")
                    .arg(bus_.lastError().message()));
        }
    }
    deliverLater(Notification{name, object.isEmpty() ? QVariant() : QVariant(object), wire});
}

void DistributedNotificationCenter::flush() {
    if (!connected_.load()) {
        return;
    }
    // The daemon handles one connection's messages in order: its answer to this call comes
    // after it has routed every earlier signal.
    const QDBusMessage reply = bus_.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        debugLog(QStringLiteral("distributed notifications: flush: %1").arg(reply.errorMessage()));
    }
}

void DistributedNotificationCenter::deliverLater(Notification note) {
    QMetaObject::invokeMethod(
        this, [registry = registry_, note = std::move(note)] { registry->deliver(note); },
        Qt::QueuedConnection);
}

void DistributedNotificationCenter::onPosted(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (args.size() != 3) {
        return;
    }
    const QString object = args[1].toString();
    const Notification note{args[0].toString(), object.isEmpty() ? QVariant() : QVariant(object),
                            fromWire(args[2]).toMap()};
    // An observer may destroy this centre.
    const auto registry = registry_;
    registry->deliver(note);
}

}  // namespace talvor::platform
