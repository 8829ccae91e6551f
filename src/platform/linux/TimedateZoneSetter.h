#pragma once

#include "platform/TimeZoneSetter.h"

#include <QDBusConnection>
#include <QObject>

namespace talvor::platform {

// systemd-timedated on the system bus; polkit may ask the user to authorise.
class TimedateZoneSetter : public QObject, public TimeZoneSetter {
    Q_OBJECT
  public:
    explicit TimedateZoneSetter(QDBusConnection bus = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    void setTimeZone(const QString& zoneId, Reply reply) override;

    // The failure a D-Bus error name stands for.
    static TimeZoneFailure failureFor(const QString& errorName, const QString& errorMessage);

  private:
    QDBusConnection bus_;
};

}  // namespace talvor::platform
