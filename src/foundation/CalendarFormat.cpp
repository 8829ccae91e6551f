#include "CalendarFormat.h"

namespace talvor {
namespace {

QString twoDigits(int n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

QString zoneAbbreviation(const QTimeZone& zone, const QDateTime& at) {
    const QString abbreviation = zone.abbreviation(at);
    return abbreviation.isEmpty() ? QStringLiteral("GMT") : abbreviation;
}

QString offsetText(int seconds) {
    const QChar sign = seconds < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const int minutes = std::abs(seconds) / 60;
    return sign + twoDigits(minutes / 60) + twoDigits(minutes % 60);
}

}  // namespace

QString formatCalendarDate(const QString& format, Date date, const QTimeZone& zone,
                           const QLocale& locale) {
    const QDateTime local = date.toQDateTime().toTimeZone(zone.isValid() ? zone : QTimeZone::utc());
    const QDate d = local.date();
    const QTime t = local.time();
    QString out;
    out.reserve(format.size() + 16);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char escape = format.at(i + 1).toLatin1();
        ++i;
        switch (escape) {
            case 'a':
                out += locale.dayName(d.dayOfWeek(), QLocale::ShortFormat);
                break;
            case 'A':
                out += locale.dayName(d.dayOfWeek(), QLocale::LongFormat);
                break;
            case 'b':
                out += locale.monthName(d.month(), QLocale::ShortFormat);
                break;
            case 'B':
                out += locale.monthName(d.month(), QLocale::LongFormat);
                break;
            case 'c':
                out +=
                    formatCalendarDate(QStringLiteral("%a %b %e %H:%M:%S %Y"), date, zone, locale);
                break;
            case 'd':
                out += twoDigits(d.day());
                break;
            case 'e':
                out += QString::number(d.day()).rightJustified(2, QLatin1Char(' '));
                break;
            case 'F':
                out += QString::number(t.msec()).rightJustified(3, QLatin1Char('0'));
                break;
            case 'H':
                out += twoDigits(t.hour());
                break;
            case 'I':
                out += twoDigits(t.hour() % 12 == 0 ? 12 : t.hour() % 12);
                break;
            case 'j':
                out += QString::number(d.dayOfYear()).rightJustified(3, QLatin1Char('0'));
                break;
            case 'm':
                out += twoDigits(d.month());
                break;
            case 'M':
                out += twoDigits(t.minute());
                break;
            case 'p':
                out += t.hour() < 12 ? locale.amText() : locale.pmText();
                break;
            case 'S':
                out += twoDigits(t.second());
                break;
            case 'w':
                out += QString::number(d.dayOfWeek() % 7);
                break;
            case 'x':
                out += locale.toString(d, QLocale::ShortFormat);
                break;
            case 'X':
                out += locale.toString(t, QLocale::ShortFormat);
                break;
            case 'y':
                out += twoDigits(d.year() % 100);
                break;
            case 'Y':
                out += QString::number(d.year());
                break;
            case 'Z':
                out += zoneAbbreviation(zone, local);
                break;
            case 'z':
                out += offsetText(local.offsetFromUtc());
                break;
            case '%':
                out += QLatin1Char('%');
                break;
            default:
                out += QLatin1Char('%');
                out += format.at(i);
                break;
        }
    }
    return out;
}

namespace TalvorDateFormat {
namespace {

// Replaces the escape "%<letter>" but not a literal "%%" followed by the letter.
QString& replaceEscape(QString& format, QChar letter, const QString& replacement) {
    QString out;
    out.reserve(format.size() + replacement.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format.at(i) == QLatin1Char('%') && i + 1 < format.size()) {
            const QChar next = format.at(i + 1);
            if (next == letter) {
                out += replacement;
            } else {
                out += format.at(i);
                out += next;
            }
            ++i;
        } else {
            out += format.at(i);
        }
    }
    format = out;
    return format;
}

}  // namespace

QString& fixWeekNum(QString& format, const QString& week) {
    return replaceEscape(format, QLatin1Char('W'), week);
}

QString& fixTimeZone(QString& format, const QString& tzAbbreviation) {
    return replaceEscape(format, QLatin1Char('Z'), tzAbbreviation);
}

}  // namespace TalvorDateFormat
}  // namespace talvor
