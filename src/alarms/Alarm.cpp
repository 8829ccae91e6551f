#include "Alarm.h"

#include "CodingHelpers.h"

#include "AlarmDates.h"
#include "platform/Clock.h"
#include "platform/KeyedArchiver.h"

#include <QCoreApplication>
#include <QUuid>

#include <algorithm>
#include <limits>

namespace talvor {

using platform::KeyedArchiver;
using platform::KeyedUnarchiver;

namespace {

const QString kTitle = QStringLiteral("title");
const QString kTime = QStringLiteral("time");
const QString kIsTimeWithDate = QStringLiteral("isTimeWithDate");
const QString kRingWithinUnits = QStringLiteral("ringWithinUnits");
const QString kIsMinuteUnits = QStringLiteral("isMinuteUnits");
const QString kRunTime = QStringLiteral("runTime");
const QString kSnoozeTime = QStringLiteral("snoozeTime");
const QString kSoundPath = QStringLiteral("soundPath");
const QString kIsPlaySound = QStringLiteral("isPlaySound");
const QString kShouldFadeIn = QStringLiteral("shouldFadeIn");
const QString kIsExisInActiveAlarmList = QStringLiteral("isExisInActiveAlarmList");
const QString kIsDefaultAlarm = QStringLiteral("isDefaultAlarm");
const QString kIsSpeakAlarmName = QStringLiteral("isSpeakAlarmName");
const QString kVoiceName = QStringLiteral("voiceName");
const QString kShouldRepeat = QStringLiteral("shouldRepeat");
const QString kShouldUseEveryDay = QStringLiteral("shouldUseEveryDay");
const QString kSelRowNo = QStringLiteral("selRowNo");
const QString kRunOnMonday = QStringLiteral("RunOnMonday");
const QString kRunOnTuesday = QStringLiteral("RunOnTuesday");
const QString kRunOnWednesday = QStringLiteral("RunOnWednesday");
const QString kRunOnThursday = QStringLiteral("RunOnThursday");
const QString kRunOnFriday = QStringLiteral("RunOnFriday");
const QString kRunOnSaturday = QStringLiteral("RunOnSaturday");
const QString kRunOnSunday = QStringLiteral("RunOnSunday");
const QString kShouldUseForever = QStringLiteral("ShouldUseForever");
// Ours: a snoozed alarm keeps its snooze across a relaunch.
const QString kSnoozedMinutes = QStringLiteral("snoozedMinutes");

using alarms_coding::decodeText;
using alarms_coding::encodeText;

Date now() {
    return platform::Clock::shared().now();
}

int64_t clampedToInt64(uint64_t v) {
    return static_cast<int64_t>(std::min<uint64_t>(v, std::numeric_limits<int64_t>::max()));
}

int64_t saturatedAdd(int64_t a, int64_t b) {
    int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) {
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    }
    return r;
}

QString dateDescription(const std::optional<Date>& date) {
    if (!date) {
        return QStringLiteral("(null)");
    }
    return date->toQDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" +0000");
}

// The root object of a list archive.
struct ArchivedAlarmArray {
    QList<Alarm> alarms;

    static QString archiveClassName() { return QStringLiteral("NSMutableArray"); }
    void encodeWithCoder(KeyedArchiver& coder) const {
        coder.encodeObjects(QStringLiteral("NS.objects"), alarms);
    }
    static std::optional<ArchivedAlarmArray> initWithCoder(const KeyedUnarchiver& coder) {
        return ArchivedAlarmArray{coder.decodeObjects<Alarm>(QStringLiteral("NS.objects"))};
    }
};

}  // namespace

AlarmDelegate::~AlarmDelegate() = default;

Alarm::Alarm(Date time, QString title) : title_(std::move(title)), time_(time) {}

std::shared_ptr<Alarm> Alarm::copy() const {
    auto a = std::make_shared<Alarm>();
    a->title_ = title_;
    a->time_ = time_;
    a->isTimeWithDate_ = isTimeWithDate_;
    a->ringWithinUnits_ = ringWithinUnits_;
    a->isMinuteUnits_ = isMinuteUnits_;
    a->snoozeTime_ = snoozeTime_;
    a->soundPath_ = soundPath_;
    a->isPlaySound_ = isPlaySound_;
    a->shouldFadeIn_ = shouldFadeIn_;
    a->voiceName_ = voiceName_;
    a->isSpeakAlarmName_ = isSpeakAlarmName_;
    a->shouldUseEveryDay_ = shouldUseEveryDay_;
    a->shouldRepeat_ = shouldRepeat_;
    a->isExisInActiveAlarmList_ = isExisInActiveAlarmList_;
    a->isDefaultAlarm_ = isDefaultAlarm_;
    a->shouldUseForever_ = shouldUseForever_;
    a->selRowNo_ = selRowNo_;
    a->isRunOnMon_ = isRunOnMon_;
    a->isRunOnTue_ = isRunOnTue_;
    a->isRunOnWed_ = isRunOnWed_;
    a->isRunOnThu_ = isRunOnThu_;
    a->isRunOnFri_ = isRunOnFri_;
    a->isRunOnSat_ = isRunOnSat_;
    a->isRunOnSun_ = isRunOnSun_;
    return a;
}

void Alarm::encodeWithCoder(KeyedArchiver& coder) const {
    encodeText(coder, kTitle, title_);
    if (time_) {
        coder.encodeDate(kTime, *time_);
    }
    coder.encodeBool(kIsTimeWithDate, isTimeWithDate_);
    coder.encodeInt64(kRingWithinUnits, ringWithinUnits_);
    coder.encodeBool(kIsMinuteUnits, isMinuteUnits_);
    if (runTime_) {
        coder.encodeDate(kRunTime, *runTime_);
    }
    // Kept in 32 bits, as the stored form has always been.
    coder.encodeInt32(kSnoozeTime, static_cast<int32_t>(static_cast<uint32_t>(snoozeTime_)));
    encodeText(coder, kSoundPath, soundPath_);
    coder.encodeBool(kIsPlaySound, isPlaySound_);
    coder.encodeBool(kShouldFadeIn, shouldFadeIn_);
    coder.encodeBool(kIsExisInActiveAlarmList, isExisInActiveAlarmList_);
    coder.encodeBool(kIsDefaultAlarm, isDefaultAlarm_);
    coder.encodeBool(kIsSpeakAlarmName, isSpeakAlarmName_);
    encodeText(coder, kVoiceName, voiceName_);
    coder.encodeBool(kShouldRepeat, shouldRepeat_);
    coder.encodeBool(kShouldUseEveryDay, shouldUseEveryDay_);
    coder.encodeInt64(kSelRowNo, selRowNo_);
    coder.encodeBool(kRunOnMonday, isRunOnMon_);
    coder.encodeBool(kRunOnTuesday, isRunOnTue_);
    coder.encodeBool(kRunOnWednesday, isRunOnWed_);
    coder.encodeBool(kRunOnThursday, isRunOnThu_);
    coder.encodeBool(kRunOnFriday, isRunOnFri_);
    coder.encodeBool(kRunOnSaturday, isRunOnSat_);
    coder.encodeBool(kRunOnSunday, isRunOnSun_);
    coder.encodeBool(kShouldUseForever, shouldUseForever_);
    if (snoozedMinutes_ != 0) {
        coder.encodeInt64(kSnoozedMinutes, clampedToInt64(snoozedMinutes_));
    }
}

std::optional<Alarm> Alarm::initWithCoder(const KeyedUnarchiver& coder) {
    Alarm a;
    a.title_ = decodeText(coder, kTitle);
    a.time_ = coder.decodeDate(kTime);
    a.isTimeWithDate_ = coder.decodeBool(kIsTimeWithDate);
    // No interval moves a date further than the calendar arithmetic goes; a damaged value
    // (down to INT64_MIN) must not reach it.
    a.ringWithinUnits_ = std::clamp<int64_t>(coder.decodeInt64(kRingWithinUnits),
                                             -AlarmDates::kMaxMinutes, AlarmDates::kMaxMinutes);
    a.isMinuteUnits_ = coder.decodeBool(kIsMinuteUnits);
    a.setRunTime(coder.decodeDate(kRunTime));
    a.snoozeTime_ = coder.decodeInt32(kSnoozeTime);
    a.soundPath_ = decodeText(coder, kSoundPath);
    a.isPlaySound_ = coder.decodeBool(kIsPlaySound);
    a.shouldFadeIn_ = coder.decodeBool(kShouldFadeIn);
    a.isExisInActiveAlarmList_ = coder.decodeBool(kIsExisInActiveAlarmList);
    a.isDefaultAlarm_ = coder.decodeBool(kIsDefaultAlarm);
    a.isSpeakAlarmName_ = coder.decodeBool(kIsSpeakAlarmName);
    a.voiceName_ = decodeText(coder, kVoiceName);
    a.shouldRepeat_ = coder.decodeBool(kShouldRepeat);
    a.shouldUseEveryDay_ = coder.decodeBool(kShouldUseEveryDay);
    a.selRowNo_ = coder.decodeInt64(kSelRowNo);
    a.isRunOnMon_ = coder.decodeBool(kRunOnMonday);
    a.isRunOnTue_ = coder.decodeBool(kRunOnTuesday);
    a.isRunOnWed_ = coder.decodeBool(kRunOnWednesday);
    a.isRunOnThu_ = coder.decodeBool(kRunOnThursday);
    a.isRunOnFri_ = coder.decodeBool(kRunOnFriday);
    a.isRunOnSat_ = coder.decodeBool(kRunOnSaturday);
    a.isRunOnSun_ = coder.decodeBool(kRunOnSunday);
    a.shouldUseForever_ = coder.decodeBool(kShouldUseForever);
    // After the run time, which clears it.
    a.snoozedMinutes_ =
        static_cast<uint64_t>(std::max<int64_t>(0, coder.decodeInt64(kSnoozedMinutes)));
    return a;
}

void Alarm::tick() {
    int64_t minutes = 0;
    int64_t seconds = 0;
    minutesFromNow(&minutes, &seconds);
    if (saturatedAdd(minutes * 60, seconds) <= 0 && !isTriggered_ && delegate_ != nullptr) {
        delegate_->alarmTriggered(*this);
    }
}

Date Alarm::runTime() const {
    return runTime_.value_or(now());
}

void Alarm::setRunTime(std::optional<Date> runTime) {
    runTime_ = runTime;
    snoozedMinutes_ = 0;
}

Date Alarm::time() const {
    AlarmDates::Change change;
    change.addMinutes = clampedToInt64(snoozedMinutes_);
    if (isTimeWithDate_) {
        change.second = 0;
        return AlarmDates::changed(time_.value_or(Date()), change);
    }
    if (selRowNo_ >= 2) {
        return AlarmDates::changed(time_.value_or(Date()), change);
    }
    if (isMinuteUnits_) {
        change.addMinutes = saturatedAdd(change.addMinutes, ringWithinUnits_);
    } else {
        change.addHours = ringWithinUnits_;
    }
    return AlarmDates::changed(runTime(), change);
}

void Alarm::snooze(int32_t minutes) {
    snoozedMinutes_ += static_cast<uint64_t>(static_cast<int64_t>(minutes));
}

void Alarm::minutesFromNow(int64_t* minutes, int64_t* seconds) const {
    const int64_t total = AlarmDates::wholeSecondsBetween(now(), time());
    if (minutes != nullptr) {
        *minutes = total / 60;
    }
    if (seconds != nullptr) {
        *seconds = total % 60;
    }
}

int32_t Alarm::minute() const {
    return AlarmDates::minuteOfHour(time());
}

QString Alarm::shownTitle() const {
    if (!isDefaultAlarm_) {
        return title_;
    }
    return isMinuteUnits_ ? QStringLiteral("Timer, %1 min").arg(ringWithinUnits_)
                          : QStringLiteral("Timer, %1 h").arg(ringWithinUnits_);
}

QString Alarm::description() const {
    if (title_.isNull()) {
        return QStringLiteral("Alarm at %1 (no reminder)").arg(dateDescription(time_));
    }
    return QStringLiteral("Alarm at %1 (\"%2\")").arg(dateDescription(time_), title_);
}

int Alarm::compare(const Alarm& other) const {
    const Date mine = time_.value_or(Date());
    const Date theirs = other.time();
    return mine < theirs ? -1 : (theirs < mine ? 1 : 0);
}

QByteArray archivedAlarms(const AlarmList& alarms) {
    ArchivedAlarmArray root;
    for (const auto& a : alarms) {
        root.alarms.append(*a);
    }
    return KeyedArchiver::archivedDataWithRootObject(root);
}

std::optional<AlarmList> unarchivedAlarms(const QByteArray& data) {
    const std::optional<ArchivedAlarmArray> root =
        KeyedUnarchiver::unarchiveObjectWithData<ArchivedAlarmArray>(data);
    if (!root) {
        return std::nullopt;
    }
    AlarmList list;
    for (const Alarm& a : root->alarms) {
        list.push_back(std::make_shared<Alarm>(a));
    }
    return list;
}

QString calculateNewUniqueID() {
    static const qint64 pid = QCoreApplication::applicationPid();
    return QString::number(pid) + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

}  // namespace talvor
