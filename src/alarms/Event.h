#pragma once

#include "platform/Date.h"

#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// A count-down event: a named moment in the future whose remaining time is shown.
class Event {
  public:
    Event() = default;
    // initWithID:name:time:displayMode:resolution:daysBefore:hoursBefore:soundPath:
    Event(QString uid, QString name, Date time, int32_t displayMode, int32_t resolution,
          int32_t daysBefore, int32_t hoursBefore, QString soundPath);

    // Keyed coding; absent keys read as 0 or none.
    static QString archiveClassName() { return QStringLiteral("Event"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<Event> initWithCoder(const platform::KeyedUnarchiver& coder);

    // The key of the event in the store.
    const QString& uid() const { return uid_; }
    void setUid(const QString& uid) { uid_ = uid; }
    const QString& eventName() const { return eventName_; }
    void setEventName(const QString& name) { eventName_ = name; }
    // The moment counted down to; the reference date when none was stored.
    Date eventTime() const { return eventTime_; }
    void setEventTime(Date time) { eventTime_ = time; }
    // 1 at login, 2 at wake, 3 both, 4 both but only within `daysBefore` days of the event.
    int32_t eventDisplayMode() const { return eventDisplayMode_; }
    void setEventDisplayMode(int32_t mode) { eventDisplayMode_ = mode; }
    // The code of the remaining-time text.
    int32_t eventResolution() const { return eventResolution_; }
    void setEventResolution(int32_t code) { eventResolution_ = code; }
    int32_t daysBefore() const { return daysBefore_; }
    void setDaysBefore(int32_t days) { daysBefore_ = days; }
    // The tile turns red within this many whole hours of the event.
    int32_t hoursBefore() const { return hoursBefore_; }
    void setHoursBefore(int32_t hours) { hoursBefore_ = hours; }
    // Played when the event expires while shown; a null string for none.
    const QString& soundPath() const { return soundPath_; }
    void setSoundPath(const QString& path) { soundPath_ = path; }

    friend bool operator==(const Event&, const Event&) = default;

  private:
    int32_t eventDisplayMode_ = 0;
    int32_t eventResolution_ = 0;
    int32_t daysBefore_ = 0;
    int32_t hoursBefore_ = 0;
    QString uid_;
    QString eventName_;
    Date eventTime_;
    QString soundPath_;
};

// The store of count-down events: uid -> event, under "StoredEventsKey" in the standard
// user defaults.
using EventsDictionary = QMap<QString, Event>;

// Empty when the key is absent or its archive cannot be read (the latter logged).
EventsDictionary loadEvents();
// Archives the whole dictionary (an empty one too) and synchronises the defaults.
void saveEvents(const EventsDictionary& events);

}  // namespace talvor
