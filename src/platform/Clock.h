#pragma once

#include "Date.h"

#include <QObject>
#include <QTimeZone>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

namespace talvor::platform {

// The source of the current time and zone. Everything time-based asks this, never the
// system directly, so that tests can drive time.
class Clock : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~Clock() override;

    virtual Date now() const = 0;
    virtual QTimeZone currentZone() const = 0;

    // The process-wide clock; tests put a fake in its place.
    static Clock& shared();
    static void setShared(Clock* clock);
    // The system's own clock, whatever stands in for it now.
    static Clock& system();

  signals:
    // The system's time zone changed (its rules or its choice).
    void zoneChanged();
    // The wall clock was set: timers aligned to it must be recomputed.
    void timeJumped();
};

// The system clock: the wall-clock time, the zone of TZ or /etc/localtime, and signals when
// either changes.
class SystemClock : public Clock {
    Q_OBJECT
  public:
    explicit SystemClock(QObject* parent = nullptr);
    ~SystemClock() override;

    Date now() const override;
    QTimeZone currentZone() const override;

    // Reads the system's zone choice again, signalling a change. Also runs on changes of
    // the zone files and every half minute (TZ cannot be watched).
    void checkZone();

  private:
    void watchZoneFiles();
    void armJumpDetector();
    void onJumpDetected();

    QByteArray zoneId_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* zonePoll_ = nullptr;
    QSocketNotifier* jumpNotifier_ = nullptr;
    int jumpFd_ = -1;
};

}  // namespace talvor::platform
