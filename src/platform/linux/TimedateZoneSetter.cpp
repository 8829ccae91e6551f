#include "TimedateZoneSetter.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace talvor::platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");
// The user may take their time over the password dialog.
constexpr int kReplyTimeoutMs = 5 * 60 * 1000;

}  // namespace

TimedateZoneSetter::TimedateZoneSetter(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

TimeZoneFailure TimedateZoneSetter::failureFor(const QString& errorName,
                                               const QString& errorMessage) {
    using Kind = TimeZoneFailure::Kind;
    static const std::pair<const char*, Kind> kinds[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", Kind::NotAuthorized},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", Kind::NotAuthorized},
        {"org.freedesktop.PolicyKit1.Error.NotAuthorized", Kind::NotAuthorized},
        {"org.freedesktop.PolicyKit1.Error.Cancelled", Kind::NotAuthorized},
        {"org.freedesktop.DBus.Error.InvalidArgs", Kind::UnknownZone},
        {"org.freedesktop.DBus.Error.ServiceUnknown", Kind::NoService},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", Kind::NoService},
        {"org.freedesktop.DBus.Error.NoServer", Kind::NoService},
        {"org.freedesktop.DBus.Error.Disconnected", Kind::NoService},
        {"org.freedesktop.DBus.Error.UnknownMethod", Kind::NoService},
        {"org.freedesktop.DBus.Error.UnknownObject", Kind::NoService},
    };
    for (const auto& [name, kind] : kinds) {
        if (errorName == QLatin1String(name)) {
            return {kind, errorMessage};
        }
    }
    return {TimeZoneFailure::Kind::Other, errorMessage};
}

void TimedateZoneSetter::setTimeZone(const QString& zoneId, Reply reply) {
    if (!bus_.isConnected()) {
        log(QStringLiteral("No system bus: the time zone cannot be set"));
        reply(TimeZoneFailure{TimeZoneFailure::Kind::NoService, QString()});
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("SetTimezone"));
    // "interactive": polkit may show its password dialog.
    call << zoneId << true;
    call.setInteractiveAuthorizationAllowed(true);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [reply = std::move(reply)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<> answer = *w;
                if (!answer.isError()) {
                    reply(std::nullopt);
                    return;
                }
                const QDBusError error = answer.error();
                log(QStringLiteral("Setting the time zone failed: %1: %2")
                        .arg(error.name(), error.message()));
                reply(failureFor(error.name(), error.message()));
            });
}

}  // namespace talvor::platform
