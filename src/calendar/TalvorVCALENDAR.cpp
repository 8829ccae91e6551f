#include "TalvorVCALENDAR.h"

#include "ICalParser.h"
#include "ICalValues.h"
#include "ZoneRules.h"
#include "foundation/IcuDates.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace talvor::TalvorVCALENDAR {

namespace {

using ical::Component;
using ical::Property;

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool isDateProperty(const std::string& name) {
    static const std::array<const char*, 11> kNames = {
        "DTSTART", "DTEND",   "DUE",       "RECURRENCE-ID", "EXDATE", "RDATE",
        "DTSTAMP", "CREATED", "COMPLETED", "LAST-MODIFIED", "TRIGGER"};
    for (const char* n : kNames) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

bool isTextProperty(const std::string& name) {
    static const std::array<const char*, 9> kNames = {"SUMMARY",   "DESCRIPTION",  "LOCATION",
                                                      "COMMENT",   "CONTACT",      "CATEGORIES",
                                                      "RESOURCES", "X-WR-CALNAME", "X-WR-CALDESC"};
    for (const char* n : kNames) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

// The value as the dictionaries hold it (see the header).
QString valueOf(const Property& p) {
    if (isTextProperty(p.name)) {
        return fromUtf8(ical::unescapeText(p.value));
    }
    if (!isDateProperty(p.name) || p.parameters.empty()) {
        return fromUtf8(p.value);
    }
    QString out;
    for (const ical::Parameter& param : p.parameters) {
        if (!out.isEmpty()) {
            out += QLatin1Char(';');
        }
        out += fromUtf8(param.name) + QLatin1Char('=');
        QStringList values;
        for (const std::string& v : param.values) {
            values << fromUtf8(v);
        }
        out += values.join(QLatin1Char(','));
    }
    return out + QLatin1Char(':') + fromUtf8(p.value);
}

void store(QVariantMap& into, const Property& p) {
    const QString key = fromUtf8(p.name);
    const QString value = valueOf(p);
    if ((p.name == "EXDATE" || p.name == "RDATE") && into.contains(key)) {
        // Later lines add to the list; parameters of the first line hold for all.
        const QString before = into.value(key).toString();
        const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
        into.insert(key, before + QLatin1Char(',') + value.mid(colon + 1));
        return;
    }
    into.insert(key, value);
}

QVariantMap dictionaryOf(const Component& c, bool foldChildren) {
    QVariantMap out;
    for (const Property& p : c.properties) {
        store(out, p);
    }
    for (const Component& child : c.components) {
        if (child.name == "VALARM") {
            out.insert(QStringLiteral("VALARM"), dictionaryOf(child, true));
        } else if (foldChildren) {
            const QVariantMap inner = dictionaryOf(child, true);
            for (auto it = inner.begin(); it != inner.end(); ++it) {
                out.insert(it.key(), it.value());
            }
        }
    }
    return out;
}

std::optional<Date> fromZoned(const ical::TimeValue& t, const ical::ZoneRules& zone) {
    return Date::fromUnix(static_cast<double>(zone.toUtc(t.local.seconds())));
}

ical::ZonePtr currentZoneRules() {
    const QByteArray id = IcuDates::currentZone().id();
    ical::ZonePtr zone = ical::ZoneRules::system(std::string_view(id.constData(), id.size()));
    return zone ? zone : ical::ZoneRules::utc();
}

}  // namespace

QVariantMap dictionaryOfComponent(const ical::Component& component) {
    return dictionaryOf(component, true);
}

QVariantList arrayFromVCALENDAR(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const ical::ParseResult parsed =
        ical::parse(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!parsed.errors.empty()) {
        platform::log(QStringLiteral("arrayFromVCALENDAR: ") + fromUtf8(parsed.errorSummary()));
    }
    std::array<QVariantList, 5> lists;
    auto file = [&](const Component& c) {
        if (c.name == "VCALENDAR") {
            lists[0].append(dictionaryOf(c, false));
        } else if (c.name == "VTIMEZONE") {
            lists[0].append(dictionaryOf(c, true));
        } else if (c.name == "VTODO") {
            lists[1].append(dictionaryOf(c, false));
        } else if (c.name == "VEVENT") {
            lists[2].append(dictionaryOf(c, false));
        } else if (c.name == "VJOURNAL") {
            lists[3].append(dictionaryOf(c, false));
        } else if (c.name == "VFREEBUSY") {
            lists[4].append(dictionaryOf(c, false));
        }
    };
    for (const Component& top : parsed.components) {
        file(top);
        if (top.name == "VCALENDAR") {
            for (const Component& child : top.components) {
                file(child);
            }
        }
    }
    return {lists[0], lists[1], lists[2], lists[3], lists[4]};
}

std::optional<Date> dateFromVCALENDAR(const QString& value) {
    QString rest = value.trimmed();
    std::optional<QString> tzid;
    if (const qsizetype colon = rest.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        for (const QString& param : rest.left(colon).split(QLatin1Char(';'))) {
            if (param.startsWith(QLatin1String("TZID="), Qt::CaseInsensitive)) {
                tzid = param.mid(5).remove(QLatin1Char('"'));
            }
        }
        rest = rest.mid(colon + 1);
    }
    const QByteArray bytes = rest.toLatin1();
    const auto t = ical::parseTimeValue(std::string_view(bytes.constData(), bytes.size()));
    if (!t) {
        platform::log(QStringLiteral("error date: ") + value);
        return std::nullopt;
    }
    if (t->utc) {
        return fromZoned(*t, *ical::ZoneRules::utc());
    }
    if (tzid && !t->isDate) {
        const QByteArray id = tzid->toUtf8();
        if (const ical::ZonePtr zone =
                ical::ZoneRules::system(std::string_view(id.constData(), id.size()))) {
            return fromZoned(*t, *zone);
        }
        platform::log(QStringLiteral("unknown time zone, read as local time: ") + value);
    }
    return fromZoned(*t, *currentZoneRules());
}

QVariantMap arrayFromRRULE(const QString& rule) {
    QVariantMap out;
    for (const QString& part : rule.trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq > 0) {
            out.insert(part.left(eq), part.mid(eq + 1));
        }
    }
    return out;
}

std::optional<QString> urlStrFromVCALENDAR(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1String("URI:"));
    if (at < 0) {
        return std::nullopt;
    }
    return text.mid(at + 4).trimmed();
}

std::optional<QUrl> urlFromVCALENDAR(const QString& text) {
    const auto s = urlStrFromVCALENDAR(text);
    if (!s) {
        return std::nullopt;
    }
    const QUrl url(*s, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        return url;
    }
    const QLatin1String prefix("file://localhost");
    if (s->startsWith(prefix)) {
        return QUrl::fromLocalFile(s->mid(prefix.size()));
    }
    return std::nullopt;
}

QString TalvorLoadVCALPath() {
    const QString path = platform::Paths::dataDir() + QStringLiteral("/Calendars");
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? path : resolved;
}

QStringList TalvorArrayOfVCAL() {
    QDir dir(TalvorLoadVCALPath());
    QStringList out;
    for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (QFileInfo(name).suffix() == QLatin1String("ics")) {
            out << name;
        }
    }
    return out;
}

QString strVCALHeadertemplate() {
    return QStringLiteral(
        "BEGIN:VCALENDAR\nCALSCALE:GREGORIAN\nX-WR-TIMEZONE:%1\nX-WR-CALDESC:%2\n"
        "PRODID:-//Larkspindle//Talvor Pro//EN\nX-WR-CALNAME:%3\nVERSION:2.0\n%4\nEND:VCALENDAR\n");
}

QString escapeText(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char(';') || c == QLatin1Char(',')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c != QLatin1Char('\r')) {
            out += c;
        }
    }
    return out;
}

QString strFromVCALDetails(const QString& summary, const std::optional<QString>& description) {
    QString out = QStringLiteral("SUMMARY:") + escapeText(summary) + QLatin1Char('\n');
    if (description) {
        out += QStringLiteral("DESCRIPTION:") + escapeText(*description) + QLatin1Char('\n');
    }
    return out;
}

QString strFromVCALDate(Date date, const QTimeZone& zone) {
    const QDateTime local = date.toQDateTime().toTimeZone(zone);
    return QStringLiteral("TZID=") + QString::fromUtf8(zone.id()) + QLatin1Char(':') +
           local.toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
}

QString strForVCALDateToday() {
    return strFromVCALDate(platform::Clock::shared().now(), IcuDates::currentZone());
}

QString strFromVCALURL(const QString& url) {
    return QStringLiteral("URL;VALUE=URI:") + url + QLatin1Char('\n');
}

QString strFromVCALUID(const QString& uid) {
    return QStringLiteral("UID:") + escapeText(uid) + QLatin1Char('\n');
}

}  // namespace talvor::TalvorVCALENDAR
