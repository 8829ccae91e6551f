#include "MeetingPlanner.h"

#include "foundation/FormatList.h"
#include "foundation/SystemTimeZone.h"
#include "services/SwitchLightDarkVC.h"

#include <QDateTime>
#include <QVariantMap>

#include <algorithm>

namespace talvor {

const QString MeetingPlanner::kLocalTime = QStringLiteral("Local Time");

namespace {

const QString kCityName = QStringLiteral("CityName");
const QString kFilePath = QStringLiteral("FilePath");
const QString kActualCityName = QStringLiteral("ActualCityName");
const QString kEmpty = QStringLiteral("empty");

QString htmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

}  // namespace

MeetingPlanner MeetingPlanner::fromTable(const std::optional<QVariantList>& table, bool* added) {
    MeetingPlanner planner;
    bool hasLocal = false;
    for (const QVariant& entry : table.value_or(QVariantList())) {
        const QVariantMap map = entry.toMap();
        if (map.isEmpty() || !map.value(kCityName).canConvert<QString>()) {
            continue;  // damaged rows are left out rather than shown empty
        }
        Row row;
        row.cityName = map.value(kCityName).toString();
        const QString path = map.value(kFilePath).toString();
        row.zoneId = path == kEmpty ? QString() : path;
        if (map.contains(kActualCityName)) {
            row.actualCityName = map.value(kActualCityName)
                                     .toString()
                                     .compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
            hasLocal = true;
        }
        hasLocal = hasLocal || row.cityName == kLocalTime;
        planner.rows_.append(row);
    }
    if (added != nullptr) {
        *added = !hasLocal;
    }
    if (!hasLocal) {
        planner.rows_.append(Row{kLocalTime, QString(), false});
    }
    return planner;
}

QVariantList MeetingPlanner::toTable() const {
    QVariantList table;
    for (const Row& row : rows_) {
        QVariantMap map;
        map.insert(kCityName, row.cityName);
        map.insert(kFilePath, row.zoneId.isEmpty() ? kEmpty : row.zoneId);
        if (row.actualCityName) {
            map.insert(kActualCityName,
                       *row.actualCityName ? QStringLiteral("True") : QStringLiteral("False"));
        }
        table.append(map);
    }
    return table;
}

bool MeetingPlanner::isLocalTimeRow(const Row& row) {
    return row.cityName == kLocalTime || row.actualCityName.has_value();
}

bool MeetingPlanner::isDeletable(const Row& row) {
    return row.cityName != kLocalTime;
}

bool MeetingPlanner::add(const Row& row) {
    if (row.cityName.isEmpty() || std::any_of(rows_.begin(), rows_.end(), [&](const Row& r) {
            return r.cityName == row.cityName;
        })) {
        return false;
    }
    rows_.append(row);
    return true;
}

int MeetingPlanner::remove(const std::set<int>& indexes) {
    if (indexes.empty()) {
        return -1;
    }
    const int first = *indexes.begin();
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it >= 0 && *it < rows_.size() && isDeletable(rows_.at(*it))) {
            rows_.removeAt(*it);
        }
    }
    return std::min(first, static_cast<int>(rows_.size()) - 1);
}

void MeetingPlanner::setLocalCity(const QString& city) {
    if (city.isEmpty()) {
        return;
    }
    const Row local{city, QString(), true};
    const auto it = std::find_if(rows_.begin(), rows_.end(), isLocalTimeRow);
    if (it != rows_.end()) {
        *it = local;
    } else {
        rows_.prepend(local);
    }
}

Date MeetingPlanner::momentAt(const QDate& day, int minutes, const QTimeZone& local) {
    minutes = std::clamp(minutes, 0, kMinutesADay);
    // Midnight itself may not exist (a clock change at 0:00): the day's first moment.
    QDateTime midnight(day, QTime(0, 0), local);
    if (!midnight.isValid()) {
        midnight = QDateTime(day, QTime(1, 0), local);
    }
    return Date::fromQDateTime(midnight.addSecs(static_cast<qint64>(minutes) * 60));
}

int MeetingPlanner::minutesIntoDay(Date now, const QTimeZone& local) {
    const QDateTime at = now.toQDateTime().toTimeZone(local);
    const Date midnight = momentAt(at.date(), 0, local);
    const qint64 seconds = midnight.toQDateTime().secsTo(at);
    return static_cast<int>(std::clamp<qint64>(seconds / 60, 0, kMinutesADay));
}

QTimeZone MeetingPlanner::zoneOf(const Row& row, const QTimeZone& local) {
    if (!row.zoneId.isEmpty()) {
        const QByteArray id = row.zoneId.toUtf8();
        if (QTimeZone::isTimeZoneIdAvailable(id)) {
            return QTimeZone(id);
        }
    }
    return local;
}

QString MeetingPlanner::pictureForHour(int hour) {
    if (hour < 6 || hour >= 21) {
        return QStringLiteral("moon");
    }
    if (hour < 9) {
        return QStringLiteral("sunset");
    }
    if (hour < 18) {
        return QStringLiteral("sun");
    }
    return QStringLiteral("moonset");
}

MeetingPlanner::Times MeetingPlanner::timesAt(const Row& row, Date moment,
                                              const QTimeZone& local) const {
    const QTimeZone zone = zoneOf(row, local);
    Times t;
    t.time = formatWithPattern(QStringLiteral("hh:mm"), moment, zone);
    t.amPm = formatWithPattern(QStringLiteral("a"), moment, zone);
    t.date = formatWithPattern(QStringLiteral("MM/dd"), moment, zone);
    t.abbreviation = SystemTimeZone::abbreviation(zone, moment);
    t.hour = moment.toQDateTime().toTimeZone(zone).time().hour();
    t.picture = pictureForHour(t.hour);
    t.working = t.hour >= workStart && t.hour < workEnd;
    return t;
}

QList<QList<MeetingPlanner::Times>> MeetingPlanner::dayGrid(const QDate& day,
                                                            const QTimeZone& local) const {
    QList<QList<Times>> grid;
    for (const Row& row : rows_) {
        QList<Times> hours;
        for (int h = 0; h < 24; ++h) {
            hours.append(timesAt(row, momentAt(day, h * 60, local), local));
        }
        grid.append(hours);
    }
    return grid;
}

std::optional<int> MeetingPlanner::firstSharedWorkingHour(const QDate& day,
                                                          const QTimeZone& local) const {
    const QList<QList<Times>> grid = dayGrid(day, local);
    for (int h = 0; h < 24; ++h) {
        if (std::all_of(grid.begin(), grid.end(),
                        [h](const QList<Times>& hours) { return hours.at(h).working; })) {
            return h;
        }
    }
    return std::nullopt;
}

QString MeetingPlanner::webAddress() {
    return QLatin1String(SwitchLightDarkVC::kHelpHost) + QLatin1Char('/');
}

QString MeetingPlanner::textExport(Date moment, int durationMinutes, const QTimeZone& local) const {
    const Date end = moment.addingTimeInterval(durationMinutes * 60.0);
    QString text = QStringLiteral("Start     End\n\n");
    for (const Row& row : rows_) {
        const Times s = timesAt(row, moment, local);
        const Times e = timesAt(row, end, local);
        text += QStringLiteral("%1     %2 %3     %4 %5\n")
                    .arg(row.cityName, s.time, s.amPm, e.time, e.amPm);
    }
    text += QStringLiteral("\nCreated by Global Scheduler part of Talvor. %1").arg(webAddress());
    return text;
}

QString MeetingPlanner::htmlExport(Date moment, int durationMinutes, const QTimeZone& local) const {
    const Date end = moment.addingTimeInterval(durationMinutes * 60.0);
    QString html = QStringLiteral(
        "<html><body><table width='300' border='0'><tr><td></td><td>Start</td><td>End</td></tr>");
    for (const Row& row : rows_) {
        const Times s = timesAt(row, moment, local);
        const Times e = timesAt(row, end, local);
        html += QStringLiteral("<tr><td>%1</td><td>%2 %3</td><td>%4 %5</td></tr>")
                    .arg(htmlEscaped(row.cityName), s.time, s.amPm, e.time, e.amPm);
    }
    html += QStringLiteral("</table></body></html>");
    html +=
        QStringLiteral("<p>Created by Global Scheduler part of Talvor. <a href=\"%1\">%1</a></p>")
            .arg(webAddress());
    return html;
}

}  // namespace talvor
