#pragma once

#include "platform/Date.h"

#include <QString>

#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace talvor {

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
class MenuItem;
}  // namespace platform

class Alarm;

// Told when an alarm comes due.
class AlarmDelegate {
  public:
    virtual ~AlarmDelegate();
    virtual void alarmTriggered(Alarm& alarm) = 0;
};

// One alarm: what it says, when it is due, how it sounds and how it repeats. Alarms are
// shared objects with an identity (the clock removes an alarm by identity); main thread only.
class Alarm : public std::enable_shared_from_this<Alarm> {
  public:
    Alarm() = default;
    // initWithTime:title:
    Alarm(Date time, QString title);

    static std::shared_ptr<Alarm> create() { return std::make_shared<Alarm>(); }
    static std::shared_ptr<Alarm> initWithTime(Date time, const QString& title) {
        return std::make_shared<Alarm>(time, title);
    }

    // copyWithZone: everything but the run time, context, delegate, menu item, triggered
    // flag and snoozed minutes.
    std::shared_ptr<Alarm> copy() const;

    // Keyed coding. Decoding never fails: absent or mistyped keys read as NO, 0 or none.
    static QString archiveClassName() { return QStringLiteral("Alarm"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<Alarm> initWithCoder(const platform::KeyedUnarchiver& coder);

    // The firing test: tells the delegate when the whole seconds to the due time are 0 or
    // fewer and the alarm is not triggered.
    void tick();

    // The stored run time, or the current date when none is stored.
    Date runTime() const;
    std::optional<Date> storedRunTime() const { return runTime_; }
    // Stores it and clears the snoozed minutes.
    void setRunTime(std::optional<Date> runTime);

    // The due time: a date alarm's stored time at second 0; a weekday alarm's stored time; a
    // relative alarm's run time plus its interval; each plus the snoozed minutes. A missing
    // stored time counts as the reference date (long past).
    Date time() const;
    std::optional<Date> storedTime() const { return time_; }
    void setTime(std::optional<Date> time) { time_ = time; }

    void snooze(int32_t minutes);
    // Whole seconds from now to the due time, truncated toward zero, split into minutes and
    // the seconds left; both negative once it has passed.
    void minutesFromNow(int64_t* minutes, int64_t* seconds) const;
    // Minute of the hour of the due time.
    int32_t minute() const;
    QString description() const;
    // This alarm's stored time against the other's due time: -1, 0 or 1. Not an ordering
    // (it mixes stored and due times): never sort with it.
    int compare(const Alarm& other) const;

    bool isPlaySound() const { return isPlaySound_; }
    void setIsPlaySound(bool on) { isPlaySound_ = on; }
    bool isTimeWithDate() const { return isTimeWithDate_; }
    void setIsTimeWithDate(bool on) { isTimeWithDate_ = on; }
    bool isMinuteUnits() const { return isMinuteUnits_; }
    void setIsMinuteUnits(bool on) { isMinuteUnits_ = on; }
    bool isSpeakAlarmName() const { return isSpeakAlarmName_; }
    void setIsSpeakAlarmName(bool on) { isSpeakAlarmName_ = on; }
    bool shouldFadeIn() const { return shouldFadeIn_; }
    void setShouldFadeIn(bool on) { shouldFadeIn_ = on; }
    bool isTriggered() const { return isTriggered_; }
    void setIsTriggered(bool on) { isTriggered_ = on; }
    bool shouldRepeat() const { return shouldRepeat_; }
    void setShouldRepeat(bool on) { shouldRepeat_ = on; }
    bool shouldUseEveryDay() const { return shouldUseEveryDay_; }
    void setShouldUseEveryDay(bool on) { shouldUseEveryDay_ = on; }
    bool isRunOnMon() const { return isRunOnMon_; }
    void setIsRunOnMon(bool on) { isRunOnMon_ = on; }
    bool isRunOnTue() const { return isRunOnTue_; }
    void setIsRunOnTue(bool on) { isRunOnTue_ = on; }
    bool isRunOnWed() const { return isRunOnWed_; }
    void setIsRunOnWed(bool on) { isRunOnWed_ = on; }
    bool isRunOnThu() const { return isRunOnThu_; }
    void setIsRunOnThu(bool on) { isRunOnThu_ = on; }
    bool isRunOnFri() const { return isRunOnFri_; }
    void setIsRunOnFri(bool on) { isRunOnFri_ = on; }
    bool isRunOnSat() const { return isRunOnSat_; }
    void setIsRunOnSat(bool on) { isRunOnSat_ = on; }
    bool isRunOnSun() const { return isRunOnSun_; }
    void setIsRunOnSun(bool on) { isRunOnSun_ = on; }
    bool shouldUseForever() const { return shouldUseForever_; }
    void setShouldUseForever(bool on) { shouldUseForever_ = on; }
    bool isExisInActiveAlarmList() const { return isExisInActiveAlarmList_; }
    void setIsExisInActiveAlarmList(bool on) { isExisInActiveAlarmList_ = on; }
    bool isDefaultAlarm() const { return isDefaultAlarm_; }
    void setIsDefaultAlarm(bool on) { isDefaultAlarm_ = on; }
    // What the user is shown and told: a quick timer's stored title is only a key
    // ("default"), so it is named after its length instead ("Timer, 5 min").
    QString shownTitle() const;

    // Free for the owner (the snooze window while the alarm fires).
    const std::any& context() const { return context_; }
    void setContext(std::any context) { context_ = std::move(context); }
    // Not owned.
    AlarmDelegate* delegate() const { return delegate_; }
    void setDelegate(AlarmDelegate* delegate) { delegate_ = delegate; }
    const QString& soundPath() const { return soundPath_; }
    void setSoundPath(const QString& path) { soundPath_ = path; }
    // A null string when the alarm has no title.
    const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    // Not owned.
    std::shared_ptr<platform::MenuItem> menuItem() const { return menuItem_.lock(); }
    void setMenuItem(const std::shared_ptr<platform::MenuItem>& item) { menuItem_ = item; }
    int64_t snoozeTime() const { return snoozeTime_; }
    void setSnoozeTime(int64_t minutes) { snoozeTime_ = minutes; }
    int64_t ringWithinUnits() const { return ringWithinUnits_; }
    void setRingWithinUnits(int64_t units) { ringWithinUnits_ = units; }
    const QString& voiceName() const { return voiceName_; }
    void setVoiceName(const QString& name) { voiceName_ = name; }
    uint64_t snoozedMinutes() const { return snoozedMinutes_; }
    void setSnoozedMinutes(uint64_t minutes) { snoozedMinutes_ = minutes; }
    // 0 relative (in N minutes or hours), 1 date and time, 2 weekday time.
    int64_t selRowNo() const { return selRowNo_; }
    void setSelRowNo(int64_t row) { selRowNo_ = row; }

  private:
    bool isPlaySound_ = false;
    bool isTimeWithDate_ = false;
    bool isMinuteUnits_ = false;
    bool isSpeakAlarmName_ = false;
    bool shouldFadeIn_ = false;
    bool isTriggered_ = false;
    bool shouldRepeat_ = false;
    bool shouldUseEveryDay_ = false;
    bool isRunOnMon_ = false;
    bool isRunOnTue_ = false;
    bool isRunOnWed_ = false;
    bool isRunOnThu_ = false;
    bool isRunOnFri_ = false;
    bool isRunOnSat_ = false;
    bool isRunOnSun_ = false;
    bool shouldUseForever_ = false;
    bool isExisInActiveAlarmList_ = false;
    bool isDefaultAlarm_ = false;
    std::any context_;
    AlarmDelegate* delegate_ = nullptr;
    QString soundPath_;
    QString title_;
    std::weak_ptr<platform::MenuItem> menuItem_;
    std::optional<Date> runTime_;
    std::optional<Date> time_;
    int64_t snoozeTime_ = 0;
    int64_t ringWithinUnits_ = 0;
    QString voiceName_;
    uint64_t snoozedMinutes_ = 0;
    int64_t selRowNo_ = 0;
};

using AlarmList = std::vector<std::shared_ptr<Alarm>>;

// The keyed archive of a list of alarms (an array as root object), and back. Reading gives
// nullopt for data that is not such an archive; elements that are not alarms are skipped.
QByteArray archivedAlarms(const AlarmList& alarms);
std::optional<AlarmList> unarchivedAlarms(const QByteArray& data);

// A new unique text: the process identifier followed by a fresh UUID.
QString calculateNewUniqueID();

}  // namespace talvor
