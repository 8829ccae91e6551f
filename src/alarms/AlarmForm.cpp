#include "AlarmForm.h"

#include "ActiveAlarms.h"
#include "AlarmDates.h"
#include "AlarmSetPreController.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

namespace talvor {
namespace {

constexpr const char* kDayNames[AlarmForm::kDays] = {
    "Monday ", "Tuesday ", "Wednesday ", "Thursday ", "Friday ", "Saturday ", "Sunday "};

// Monday first to the weekday codes (Sunday 101 ... Saturday 107).
int32_t dayCode(int index) {
    return index == 6 ? 101 : 102 + index;
}

QDateTime local(Date date) {
    return date.toQDateTime().toTimeZone(platform::Clock::shared().currentZone());
}

Date at(const QDate& day, const QTime& time) {
    const QTime minute = time.isValid() ? QTime(time.hour(), time.minute()) : QTime(0, 0);
    return Date::fromQDateTime(QDateTime(day, minute, platform::Clock::shared().currentZone()));
}

}  // namespace

QString soundTitle(const QString& path) {
    return QFileInfo(path).completeBaseName();
}

bool AlarmForm::anyDay() const {
    return std::find(days.begin(), days.end(), true) != days.end();
}

bool AlarmForm::isValidNumberText(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    // Beyond what the date arithmetic moves is no time either.
    return ok && value != 0 && value <= AlarmDates::kMaxMinutes / 60;
}

std::optional<int64_t> AlarmForm::number() const {
    if (!isValidNumberText(inTimeText)) {
        return std::nullopt;
    }
    return inTimeText.toLongLong();
}

QString AlarmForm::sentence(const QString& timeFormat) const {
    const QLocale english(QLocale::English);
    QString s;
    if (row == OnWeekdays) {
        if (anyDay()) {
            s += QStringLiteral("On ");
            if (keepForever) {
                s += QStringLiteral("every ");
            }
            for (int i = 0; i < kDays; ++i) {
                if (days[static_cast<std::size_t>(i)]) {
                    s += QLatin1String(kDayNames[i]);
                }
            }
        }
        s += QStringLiteral("At %1").arg(english.toString(weekdayTime, timeFormat));
    } else if (row == AtDate) {
        s += english.toString(atDate, QStringLiteral("'On' MMM dd 'at' ")) +
             english.toString(atTime, timeFormat);
    } else {
        s += (repeat ? QStringLiteral("Every %1 %2") : QStringLiteral("In %1 %2"))
                 .arg(number().value_or(0))
                 .arg(hours ? QStringLiteral("hour(s)") : QStringLiteral("minute(s)"));
    }
    s += QStringLiteral(" alarm '%1' ").arg(title);
    const bool sound = playSound && !soundPath.isEmpty();
    const bool voice = speak && !voiceName.isEmpty();
    if (!sound && !voice) {
        s += QStringLiteral("will be activated");
    } else if (voice) {
        s += QStringLiteral("will be spoken by voice '%1'").arg(voiceName);
        if (sound) {
            s += QStringLiteral(" and sound '%1' will be played").arg(soundTitle(soundPath));
        }
    } else {
        s += QStringLiteral("will be played with sound '%1'").arg(soundTitle(soundPath));
    }
    if (sound && fadeIn) {
        s += QStringLiteral(" fading in");
    }
    return s + QLatin1Char('.');
}

QStringList AlarmForm::problems() const {
    QStringList lines;
    if (title.trimmed().isEmpty()) {
        lines << QStringLiteral("Title must not be empty.\n");
    }
    if (row == InTime && !number()) {
        lines << QStringLiteral("Alarm time is not set.\n");
    }
    if (playSound && soundPath.isEmpty()) {
        lines << QStringLiteral("Please select sound to play.\n");
    }
    if (speak && voiceName.isEmpty()) {
        lines << QStringLiteral("Please select voice to speak with.\n");
    }
    return lines;
}

std::optional<Date> AlarmForm::nextWeekdayDate(Date now, int firstOffset) const {
    if (!anyDay()) {
        return std::nullopt;
    }
    const QDate today = local(now).date();
    for (int offset = firstOffset; offset <= firstOffset + 7; ++offset) {
        const QDate day = today.addDays(offset);
        // QDate: Monday 1 ... Sunday 7.
        if (days[static_cast<std::size_t>(day.dayOfWeek() - 1)]) {
            return at(day, weekdayTime);
        }
    }
    return std::nullopt;
}

Date AlarmForm::atDateDue(Date now) const {
    const Date given = at(atDate, atTime);
    if (now < given) {
        return given;
    }
    // An alarm for a moment gone would ring the moment it is set.
    const QDate today = local(now).date();
    const Date todayAt = at(today, atTime);
    return now < todayAt ? todayAt : at(today.addDays(1), atTime);
}

std::optional<QString> AlarmForm::passedNote(Date now, const QString& timeFormat) const {
    if (row != AtDate || now < at(atDate, atTime)) {
        return std::nullopt;
    }
    const Date due = atDateDue(now);
    const bool today = local(due).date() == local(now).date();
    return QStringLiteral("%1 has passed: the alarm rings %2 at %3.")
        .arg(today ? QStringLiteral("That date") : QStringLiteral("That time"),
             today ? QStringLiteral("today") : QStringLiteral("tomorrow"),
             QLocale(QLocale::English).toString(local(due).time(), timeFormat));
}

std::shared_ptr<Alarm> AlarmForm::makeAlarm(Date now, const Alarm* editing) const {
    std::optional<Date> time;
    if (row == AtDate) {
        time = atDateDue(now);
    } else if (row == OnWeekdays) {
        const QDate today = local(now).date();
        const Date todayAt = at(today, weekdayTime);
        const bool todayChecked = days[static_cast<std::size_t>(today.dayOfWeek() - 1)];
        const bool passed = todayAt < now;
        // Without a day the time is the next one to come: today, or tomorrow once passed
        // (never a time already gone, which would ring at once).
        time = nextWeekdayDate(now, todayChecked && passed ? 1 : 0)
                   .value_or(passed ? at(today.addDays(1), weekdayTime) : todayAt);
    }
    auto alarm = Alarm::create();
    alarm->setTime(time);
    alarm->setTitle(title);
    alarm->setSnoozeTime(snoozeMinutes);
    alarm->setIsTimeWithDate(row == AtDate);
    alarm->setIsMinuteUnits(!hours);
    alarm->setRingWithinUnits(number().value_or(0));
    alarm->setSoundPath(soundPath);
    alarm->setIsPlaySound(playSound);
    alarm->setIsSpeakAlarmName(speak);
    alarm->setShouldFadeIn(fadeIn);
    alarm->setVoiceName(voiceName);
    alarm->setShouldRepeat(repeat);
    alarm->setShouldUseEveryDay(everyDay);
    alarm->setSelRowNo(row);
    if (editing != nullptr) {
        alarm->setRunTime(editing->storedRunTime());
    }
    if (row == OnWeekdays) {
        alarm->setShouldUseForever(keepForever);
        for (int i = 0; i < kDays; ++i) {
            setRunOnWeekday(*alarm, dayCode(i), days[static_cast<std::size_t>(i)]);
        }
        alarm->setRunTime(alarm->time());
    }
    return alarm;
}

AlarmForm AlarmForm::fromAlarm(const Alarm* alarm, Date now) {
    AlarmForm form;
    const QDateTime current = local(now);
    const QTime minute(current.time().hour(), current.time().minute());
    form.atDate = current.date();
    form.atTime = minute;
    form.weekdayTime = minute;
    form.inTimeText = QStringLiteral("10");
    if (alarm == nullptr) {
        // An alarm clock's alarm rings: a new one starts with the quick timers' sound.
        form.playSound = true;
        form.soundPath = AlarmSetPreController::defaultSoundPath();
        return form;
    }
    form.title = alarm->title();
    form.row = std::clamp<int64_t>(alarm->selRowNo(), InTime, OnWeekdays);
    if (form.row == AtDate && alarm->storedTime()) {
        const QDateTime t = local(*alarm->storedTime());
        form.atDate = t.date();
        form.atTime = QTime(t.time().hour(), t.time().minute());
    } else if (form.row == OnWeekdays) {
        if (alarm->storedTime()) {
            const QDateTime t = local(*alarm->storedTime());
            form.weekdayTime = QTime(t.time().hour(), t.time().minute());
        }
        for (int i = 0; i < kDays; ++i) {
            form.days[static_cast<std::size_t>(i)] = isRunOnWeekday(*alarm, dayCode(i));
        }
        form.keepForever = alarm->shouldUseForever();
    } else if (alarm->ringWithinUnits() > 0) {
        form.inTimeText = QString::number(alarm->ringWithinUnits());
    }
    form.hours = !alarm->isMinuteUnits();
    form.everyDay = alarm->shouldUseEveryDay();
    form.repeat = alarm->shouldRepeat();
    form.snoozeMinutes = alarm->snoozeTime();
    form.soundPath = alarm->soundPath();
    form.playSound = alarm->isPlaySound();
    form.fadeIn = alarm->shouldFadeIn();
    form.voiceName = alarm->voiceName();
    form.speak = alarm->isSpeakAlarmName();
    return form;
}

}  // namespace talvor
