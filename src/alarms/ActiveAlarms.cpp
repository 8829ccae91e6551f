#include "ActiveAlarms.h"

#include "AlarmDates.h"
#include "AlarmMenuController.h"
#include "AlarmsKeys.h"
#include "Clock.h"
#include "platform/AtomicFile.h"
#include "platform/BoundedFile.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace talvor {

namespace {

constexpr int32_t kSunday = 101;
constexpr int32_t kSaturday = 107;

int32_t nextCode(int32_t code) {
    return code >= kSaturday ? kSunday : code + 1;
}

// A date or weekday alarm counts from its stored time; a damaged one (a NaN date reads as
// none) would count from the reference date, long past, and vanish unnoticed.
bool lacksItsTime(const Alarm& alarm) {
    return (alarm.isTimeWithDate() || alarm.selRowNo() >= 2) && !alarm.storedTime();
}

}  // namespace

QString keepUnreadableArchiveAside(platform::UserDefaults& defaults, const QString& key,
                                   const QVariant& value) {
    const QString name =
        key + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString dir = platform::Paths::configDir();
    QString path = dir + QLatin1Char('/') + name;
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = dir + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(n);
    }
    QString why;
    const std::optional<QByteArray> bytes =
        platform::PropertyList::serialize(value, platform::PropertyList::Format::Xml, &why);
    if (bytes && platform::Paths::makePath(dir) &&
        platform::writeFileAtomically(path, *bytes, &why)) {
        return path;
    }
    defaults.setObject(value, name);
    return QStringLiteral("the setting %1 (%2 could not be written: %3)").arg(name, path, why);
}

namespace {

// Whether this run knows the alarms the settings hold (it could read them at launch).
bool& settingsAlarmsKnown() {
    static bool known = true;
    return known;
}

// Whether the unsaved-alarms file may exist: it was there at launch or this run wrote it.
bool& unsavedAlarmsKept() {
    static bool kept = false;
    return kept;
}

const QString kUnsavedArchive = QStringLiteral("alarms");
const QString kUnsavedSettingsKnown = QStringLiteral("settingsKnown");

// While the settings cannot be written, the alarms go to a file of their own, so that a
// quit loses none of them; the next launch takes them from there.
void keepUnsavedAlarms(const QByteArray& archive, bool settingsKnown) {
    const QVariantMap contents = {{kUnsavedArchive, archive},
                                  {kUnsavedSettingsKnown, settingsKnown}};
    QString why;
    const std::optional<QByteArray> bytes = platform::PropertyList::serialize(
        QVariant(contents), platform::PropertyList::Format::Xml, &why);
    if (!bytes || !platform::Paths::makePath(platform::Paths::dataDir()) ||
        !platform::writeFileAtomically(unsavedAlarmsPath(), *bytes, &why)) {
        platform::log(QStringLiteral("The active alarms cannot be kept in %1 either: %2")
                          .arg(unsavedAlarmsPath(), why));
        return;
    }
    if (!unsavedAlarmsKept()) {
        platform::log(QStringLiteral("The active alarms are kept in %1 until the settings can be "
                                     "saved")
                          .arg(unsavedAlarmsPath()));
    }
    unsavedAlarmsKept() = true;
}

struct UnsavedAlarms {
    AlarmList alarms;
    // False when the run that wrote them could not read the settings' own alarms.
    bool settingsKnown = true;
};

std::optional<UnsavedAlarms> readUnsavedAlarms() {
    // Bounded and without blocking: a FIFO in the file's place must not hold the launch.
    const platform::BoundedRead read =
        platform::readRegularFile(unsavedAlarmsPath(), platform::kSettingsFileCap);
    unsavedAlarmsKept() = read.refusal != platform::ReadRefusal::Missing;
    if (!read.bytes) {
        return std::nullopt;
    }
    const QVariantMap contents =
        platform::PropertyList::parse(*read.bytes).value_or(QVariant()).toMap();
    std::optional<AlarmList> alarms =
        unarchivedAlarms(contents.value(kUnsavedArchive).toByteArray());
    if (!alarms) {
        platform::log(
            QStringLiteral("%1 cannot be read; moved aside as %2")
                .arg(unsavedAlarmsPath(), platform::moveAsideCorrupt(unsavedAlarmsPath())));
        unsavedAlarmsKept() = false;
        return std::nullopt;
    }
    return UnsavedAlarms{std::move(*alarms), contents.value(kUnsavedSettingsKnown).toBool()};
}

// Adds to `into` the alarms of `from` that it does not hold already: the same record, its
// run-time state (run time, snoozing) left out.
void addMissing(AlarmList& into, const AlarmList& from) {
    QSet<QByteArray> held;
    for (const auto& a : into) {
        held.insert(archivedAlarms({a->copy()}));
    }
    for (const auto& a : from) {
        if (!held.contains(archivedAlarms({a->copy()}))) {
            into.push_back(a);
        }
    }
}

// The alarms archived in the settings; none when there are none or they cannot be read.
std::optional<AlarmList> alarmsInSettings(platform::UserDefaults& defaults) {
    const QVariant archive = defaults.objectForKey(keys::AcitveAlarmsStoredKey);
    // Empty data holds nothing to lose.
    if (!archive.isValid() ||
        (archive.typeId() == QMetaType::QByteArray && archive.toByteArray().isEmpty())) {
        return std::nullopt;
    }
    std::optional<AlarmList> stored =
        unarchivedAlarms(defaults.dataForKey(keys::AcitveAlarmsStoredKey));
    if (!stored) {
        platform::log(
            QStringLiteral("The stored active alarms cannot be read; none restored. Kept as %1")
                .arg(keepUnreadableArchiveAside(defaults, keys::AcitveAlarmsStoredKey, archive)));
    }
    return stored;
}

}  // namespace

int32_t weekdayCode(Date date) {
    return 100 + AlarmDates::weekday(date);
}

bool isRunOnWeekday(const Alarm& alarm, int32_t code) {
    switch (code) {
        case 101:
            return alarm.isRunOnSun();
        case 102:
            return alarm.isRunOnMon();
        case 103:
            return alarm.isRunOnTue();
        case 104:
            return alarm.isRunOnWed();
        case 105:
            return alarm.isRunOnThu();
        case 106:
            return alarm.isRunOnFri();
        case 107:
            return alarm.isRunOnSat();
        default:
            return false;
    }
}

void setRunOnWeekday(Alarm& alarm, int32_t code, bool on) {
    switch (code) {
        case 101:
            alarm.setIsRunOnSun(on);
            break;
        case 102:
            alarm.setIsRunOnMon(on);
            break;
        case 103:
            alarm.setIsRunOnTue(on);
            break;
        case 104:
            alarm.setIsRunOnWed(on);
            break;
        case 105:
            alarm.setIsRunOnThu(on);
            break;
        case 106:
            alarm.setIsRunOnFri(on);
            break;
        case 107:
            alarm.setIsRunOnSat(on);
            break;
        default:
            break;
    }
}

bool hasAnyWeekday(const Alarm& alarm) {
    for (int32_t code = kSunday; code <= kSaturday; ++code) {
        if (isRunOnWeekday(alarm, code)) {
            return true;
        }
    }
    return false;
}

std::optional<Date> calculateNextDate(int32_t code, const Alarm& alarm) {
    if (!hasAnyWeekday(alarm)) {
        return std::nullopt;
    }
    int64_t offset = 0;
    if (code >= kSunday && code <= kSaturday) {
        offset = 1;
        for (int32_t day = nextCode(code); !isRunOnWeekday(alarm, day); day = nextCode(day)) {
            ++offset;
        }
    }
    const Date run = alarm.runTime();
    AlarmDates::Change change;
    change.hour = AlarmDates::hourOfDay(run);
    change.minute = AlarmDates::minuteOfHour(run);
    change.second = 0;
    change.addDays = offset;
    return AlarmDates::changed(platform::Clock::shared().now(), change);
}

QString unsavedAlarmsPath() {
    return platform::Paths::dataDir() + QStringLiteral("/UnsavedAlarms.plist");
}

namespace {

// The first time at or after `after` on a flagged weekday, at the hour and minute of the
// alarm's run time; none without a flag.
std::optional<Date> nextWeekdayAtOrAfter(const Alarm& alarm, Date after) {
    if (!hasAnyWeekday(alarm)) {
        return std::nullopt;
    }
    const Date run = alarm.runTime();
    AlarmDates::Change change;
    change.hour = AlarmDates::hourOfDay(run);
    change.minute = AlarmDates::minuteOfHour(run);
    change.second = 0;
    for (int64_t offset = 0; offset <= 7; ++offset) {
        change.addDays = offset;
        const Date candidate = AlarmDates::changed(after, change);
        if (isRunOnWeekday(alarm, weekdayCode(candidate)) && !(candidate < after)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Whether an alarm read at launch still has a time to come, moving a passed one that
// recurs on to it. A passed weekday alarm loses the day it was due (unless it is kept for
// ever) and takes its first day at or after now, today included; a passed repeating
// relative alarm skips the intervals that ran out while the program was closed; a passed
// every-day alarm is moved on when it is inserted; any other passed alarm is dropped.
bool restoredAlarmIsDue(Alarm& alarm, Date current) {
    if (!(alarm.time() < current)) {
        return true;
    }
    if (alarm.selRowNo() == 2) {
        if (!hasAnyWeekday(alarm)) {
            return false;
        }
        if (!alarm.shouldUseForever()) {
            setRunOnWeekday(alarm, weekdayCode(alarm.time()), false);
        }
        const std::optional<Date> next = nextWeekdayAtOrAfter(alarm, current);
        if (!next) {
            return false;
        }
        alarm.setTime(next);
        alarm.setRunTime(alarm.time());
        return true;
    }
    if (alarm.isTimeWithDate()) {
        return alarm.shouldUseEveryDay();
    }
    if (!alarm.shouldRepeat() || alarm.ringWithinUnits() <= 0) {
        return false;
    }
    // Bounded: an interval of one minute missed for two years is about a million steps.
    for (int i = 0; i < 2'000'000 && alarm.time() < current; ++i) {
        alarm.setRunTime(alarm.time());
    }
    return !(alarm.time() < current);
}

}  // namespace

void restoreActiveAlarms() {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // Settings that cannot be read hide the alarms they hold: never write over those.
    settingsAlarmsKnown() = !defaults.appDomain().failure().has_value();
    std::optional<AlarmList> stored = alarmsInSettings(defaults);
    if (std::optional<UnsavedAlarms> unsaved = readUnsavedAlarms()) {
        platform::log(QStringLiteral("Restoring the alarms kept in %1 while the settings could "
                                     "not be saved")
                          .arg(unsavedAlarmsPath()));
        if (!unsaved->settingsKnown && stored) {
            addMissing(unsaved->alarms, *stored);
        }
        stored = std::move(unsaved->alarms);
    }
    if (!stored) {
        return;
    }
    Clock& clock = Clock::sharedClock();
    AlarmDelegate* delegate = &AlarmMenuController::mainMenuController();
    // One save for the whole list: a crash half-way must not leave half the list stored.
    const bool saves = clock.savesChanges();
    clock.setSavesChanges(false);
    const Date current = platform::Clock::shared().now();
    for (const std::shared_ptr<Alarm>& alarm : *stored) {
        if (lacksItsTime(*alarm)) {
            platform::log(QStringLiteral("A stored alarm (\"%1\") has no readable time; dropped")
                              .arg(alarm->title()));
            continue;
        }
        if (!restoredAlarmIsDue(*alarm, current)) {
            continue;
        }
        // The interval that ran before the quit goes on, snooze included.
        const std::optional<Date> run = alarm->storedRunTime();
        const uint64_t snoozed = alarm->snoozedMinutes();
        clock.insertAlarm(alarm);
        if (alarm->selRowNo() != 2 && !alarm->isTimeWithDate() && run) {
            alarm->setRunTime(run);
            alarm->setSnoozedMinutes(snoozed);
        } else if (alarm->selRowNo() != 2 && !alarm->shouldUseEveryDay()) {
            alarm->setSnoozedMinutes(snoozed);
        }
        alarm->setDelegate(delegate);
    }
    clock.setSavesChanges(saves);
    // Saved when the restore changed the list: an unchanged one is not written (and synced
    // to disk) again on every start.
    if (archivedAlarms(clock.allAlarms()) != defaults.dataForKey(keys::AcitveAlarmsStoredKey)) {
        clock.noteAlarmsChanged();
    }
}

void storeActiveAlarms() {
    storeAlarms(Clock::sharedClock().allAlarms());
}

void storeAlarms(const AlarmList& alarms) {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const QByteArray data = archivedAlarms(alarms);
    if (data.isEmpty()) {
        platform::log(QStringLiteral("The active alarms could not be archived"));
        return;
    }
    if (!settingsAlarmsKnown()) {
        keepUnsavedAlarms(data, false);
        return;
    }
    defaults.setObject(QVariant(data), keys::AcitveAlarmsStoredKey);
    if (!defaults.synchronize()) {
        platform::log(QStringLiteral("The active alarms could not be saved"));
        keepUnsavedAlarms(data, true);
        return;
    }
    if (unsavedAlarmsKept()) {
        QFile::remove(unsavedAlarmsPath());
        unsavedAlarmsKept() = false;
    }
}

}  // namespace talvor
