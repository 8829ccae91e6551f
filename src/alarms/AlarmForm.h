#pragma once

#include "Alarm.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <memory>
#include <optional>

namespace talvor {

// What the alarm editor's form holds, apart from its widgets: the editor copies its controls
// into one of these, and everything it says or makes is worked out from it.
struct AlarmForm {
    enum Row : int64_t {
        InTime = 0,     // in N minutes or hours from now
        AtDate = 1,     // at a date and time
        OnWeekdays = 2  // at a time on chosen weekdays
    };
    // Monday first.
    static constexpr int kDays = 7;

    QString title;
    int64_t row = InTime;
    // Row 0: the number field's text, its unit and whether it repeats.
    QString inTimeText;
    bool hours = false;
    bool repeat = false;
    // Row 1.
    QDate atDate;
    QTime atTime;
    bool everyDay = false;
    // Row 2.
    QTime weekdayTime;
    std::array<bool, kDays> days{};
    bool keepForever = false;

    int64_t snoozeMinutes = 5;
    bool playSound = false;
    QString soundPath;
    bool fadeIn = false;
    bool speak = false;
    QString voiceName;

    bool anyDay() const;

    // The number field takes only digits, and not 0; empty text is no number.
    static bool isValidNumberText(const QString& text);
    // The number of row 0, when the field holds a valid one.
    std::optional<int64_t> number() const;

    // The sentence describing the alarm, e.g. "In 10 minute(s) alarm 'Tea' will be played
    // with sound 'Ping' fading in." Times of row 2 use `timeFormat` (the user's short time
    // pattern, so a 24-hour user never sees an AM/PM mark).
    QString sentence(const QString& timeFormat) const;

    // Each problem as one line ending with "\n"; empty when the alarm can be set.
    QStringList problems() const;

    // The alarm the form describes, made at `now` in the clock's zone. Row 0 keeps no stored
    // time; row 1 is the date at the time; row 2 the first checked weekday at the time, today
    // included unless its time has passed (with no day checked: the time's next coming).
    // `editing` gives its run time to the new alarm.
    std::shared_ptr<Alarm> makeAlarm(Date now, const Alarm* editing = nullptr) const;

    // The form showing `alarm`; none shows an empty form for a new alarm at `now`.
    static AlarmForm fromAlarm(const Alarm* alarm, Date now);

    // Row 1's due time: the date at the time, or, when that is at or before `now` (the
    // prefilled current minute included), the time's next coming: today or tomorrow.
    Date atDateDue(Date now) const;
    // Row 1 at or before `now`: what the user is told before Set, in the editor's time
    // form; none for a time to come.
    std::optional<QString> passedNote(Date now, const QString& timeFormat) const;

    // Row 2's due date: the first checked day at or after `firstOffset` days from today, at
    // the weekday time; none without a checked day.
    std::optional<Date> nextWeekdayDate(Date now, int firstOffset) const;
};

// The file name of a sound without folder and extension ("Ping" for ".../Ping.ogg").
QString soundTitle(const QString& path);

}  // namespace talvor
