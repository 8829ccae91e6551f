#pragma once

#include "platform/Date.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

namespace talvor {

// The timing of one recurring event as iCalendar text: the DTSTART and DTEND lines (with their
// parameters) and the RRULE's parts, taken out of a text, set from values, written back.
// Values stay texts; nothing is checked (the recurrence engine reads rules for real).
class Recurrence {
  public:
    // The by-parts in the order of reading and writing.
    static const QStringList& byTimeKeys();

    Recurrence() = default;
    // Takes the first "DTSTART;...", "DTEND;..." and "RRULE:..." lines out of the text; the
    // rest stays in `unparsed`. A line may end in CRLF, LF or the end of the text.
    explicit Recurrence(const QString& text);

    void setByTime(const QString& part, const QStringList& values);
    // "TZID=<zone>:YYYYMMDD" (all day) or "TZID=<zone>:YYYYMMDDTHHMMSS", on the zone's clock.
    void setStart(Date start, Date end, const QTimeZone& zone, bool allDay);
    void setFreq(const QString& freq) { freq_ = freq; }
    void setCount(int count);  // clears UNTIL
    void setInterval(int interval);
    void setUntil(Date until);  // in UTC; clears COUNT

    // The lines again: DTSTART, DTEND, the rule (left out when it has no frequency), then
    // what was not taken.
    QString description() const;

    // No occurrence is computed here.
    std::optional<Date> dateAfter(Date) const { return std::nullopt; }
    std::optional<Date> dateBefore(Date) const { return std::nullopt; }

    std::optional<QTimeZone> timezone;
    std::optional<QString> dtstart, dtend, weekStart, until, count, interval;
    QMap<QString, QString> byTimeValues;
    std::optional<QString> unparsed;
    const std::optional<QString>& freq() const { return freq_; }

    // The first group the pattern captures in the text, the whole match deleted from it.
    static std::optional<QString> splitChunk(QString& text, const QString& pattern);
    // The value of a rule part: the name directly followed by "=", up to ";" or the end.
    static std::optional<QString> findKV(const QString& rule, const QString& part);

  private:
    std::optional<QString> freq_;
};

}  // namespace talvor
