#include "CalendarDate.h"

#include "foundation/CalendarFormat.h"
#include "foundation/SystemTimeZone.h"

#include <QLocale>

namespace talvor {
namespace {

QDateTime localTime(const CalendarDate& t) {
    return t.date.toQDateTime().toTimeZone(t.timeZone.isValid() ? t.timeZone : QTimeZone::utc());
}

// Reads up to `maxDigits` digits at `i`; nullopt when there is none.
std::optional<int> readNumber(const QString& text, qsizetype& i, int maxDigits) {
    int value = 0;
    int digits = 0;
    while (i < text.size() && digits < maxDigits && text.at(i).isDigit()) {
        value = value * 10 + text.at(i).digitValue();
        ++i;
        ++digits;
    }
    return digits > 0 ? std::optional<int>(value) : std::nullopt;
}

// 0 for AM, 12 for PM; nullopt when neither mark stands at `i`.
std::optional<int> readMeridiem(const QString& text, qsizetype& i) {
    const QLocale locale;
    const struct {
        QString mark;
        int offset;
    } marks[] = {{QStringLiteral("AM"), 0},
                 {QStringLiteral("PM"), 12},
                 {locale.amText(), 0},
                 {locale.pmText(), 12}};
    for (const auto& m : marks) {
        if (!m.mark.isEmpty() &&
            text.mid(i, m.mark.size()).compare(m.mark, Qt::CaseInsensitive) == 0) {
            i += m.mark.size();
            return m.offset;
        }
    }
    return std::nullopt;
}

void skipBlanks(const QString& text, qsizetype& i) {
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
}

}  // namespace

QString CalendarDate::descriptionWithCalendarFormat(const QString& format) const {
    QString expanded = format;
    if (expanded.contains(QLatin1String("%W"))) {
        TalvorDateFormat::fixWeekNum(expanded, QString::number(weekOfYear()));
    }
    return formatCalendarDate(expanded, date, timeZone);
}

QTime CalendarDate::timeOfDay() const {
    return localTime(*this).time();
}

int CalendarDate::weekOfYear() const {
    return localTime(*this).date().weekNumber();
}

QString CalendarDate::timeZoneAbbreviation() const {
    return SystemTimeZone::abbreviation(timeZone, date);
}

CalendarDate CalendarDate::withTimeOfDay(const QTime& time) const {
    const QTimeZone zone = timeZone.isValid() ? timeZone : QTimeZone::utc();
    CalendarDate t = *this;
    t.date = Date::fromQDateTime(QDateTime(localTime(*this).date(), time, zone));
    return t;
}

CalendarDate CalendarDate::adding(double seconds) const {
    CalendarDate t = *this;
    t.date = date.addingTimeInterval(seconds);
    return t;
}

std::optional<QTime> parseCalendarTime(const QString& text, const QString& format) {
    int hour = -1;
    int minute = 0;
    int second = 0;
    std::optional<int> meridiem;
    bool twelveHour = false;
    qsizetype i = 0;
    for (qsizetype f = 0; f < format.size(); ++f) {
        const QChar c = format.at(f);
        if (c.isSpace()) {
            skipBlanks(text, i);
            continue;
        }
        if (c != QLatin1Char('%') || f + 1 >= format.size()) {
            if (i >= text.size() || text.at(i) != c) {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        const QChar escape = format.at(++f);
        skipBlanks(text, i);
        const auto readInto = [&](int& field) {
            const std::optional<int> n = readNumber(text, i, 2);
            field = n.value_or(field);
            return n.has_value();
        };
        bool read = false;
        switch (escape.toLatin1()) {
            case 'H':
                read = readInto(hour);
                break;
            case 'I':
                twelveHour = true;
                read = readInto(hour);
                break;
            case 'M':
                read = readInto(minute);
                break;
            case 'S':
                read = readInto(second);
                break;
            case 'p':
                meridiem = readMeridiem(text, i);
                read = meridiem.has_value();
                break;
            default:
                break;
        }
        if (!read) {
            return std::nullopt;
        }
    }
    skipBlanks(text, i);
    if (i != text.size() || hour < 0) {
        return std::nullopt;
    }
    if (twelveHour) {
        if (hour < 1 || hour > 12 || !meridiem) {
            return std::nullopt;
        }
        hour = hour % 12 + *meridiem;
    }
    const QTime time(hour, minute, second);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

}  // namespace talvor
