#include "CalendarApplication.h"

#include "platform/DesktopApplications.h"
#include "platform/Log.h"
#include "platform/ProcessLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

namespace talvor {
namespace {

const QString kMime = QStringLiteral("text/calendar");

// The desktop ids listed for text/calendar under [Default Applications] of one file.
QStringList defaultsIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QTextStream in(&file);
    bool inDefaults = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inDefaults = line == QLatin1String("[Default Applications]");
        } else if (inDefaults && line.section(QLatin1Char('='), 0, 0).trimmed() == kMime) {
            QStringList ids;
            for (const QString& id :
                 line.section(QLatin1Char('='), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                if (!id.trimmed().isEmpty()) {
                    ids << id.trimmed();
                }
            }
            return ids;
        }
    }
    return {};
}

// Every default named for text/calendar, strongest first: the user's and the system's
// mimeapps.list, then the applications folders' own, then their defaults.list.
QStringList defaultIds(const QStringList& configFolders, const QStringList& applicationFolders) {
    QStringList lists;
    for (const QString& folder : configFolders) {
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& folder : applicationFolders) {
        lists << folder + QStringLiteral("/mimeapps.list");
    }
    for (const QString& folder : applicationFolders) {
        lists << folder + QStringLiteral("/defaults.list");
    }
    QStringList ids;
    for (const QString& list : lists) {
        ids << defaultsIn(list);
    }
    return ids;
}

// "org.gnome.Calendar.desktop" in the folders; "kde-x.desktop" may also lie at "kde/x.desktop".
std::optional<QString> findEntry(const QString& id, const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString direct = folder + QLatin1Char('/') + id;
        if (QFileInfo::exists(direct)) {
            return direct;
        }
        const QString nested =
            folder + QLatin1Char('/') + QString(id).replace(QLatin1Char('-'), QLatin1Char('/'));
        if (QFileInfo::exists(nested)) {
            return nested;
        }
    }
    return std::nullopt;
}

bool handlesCalendars(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1String("MimeType="))) {
            return line.mid(9).split(QLatin1Char(';')).contains(kMime);
        }
    }
    return false;
}

}  // namespace

std::optional<QString> calendarApplicationEntry(const QStringList& configFolders,
                                                const QStringList& applicationFolders) {
    for (const QString& id : defaultIds(configFolders, applicationFolders)) {
        if (auto entry = findEntry(id, applicationFolders)) {
            return entry;
        }
    }
    for (const QString& folder : applicationFolders) {
        const QDir dir(folder);
        for (const QString& name :
             dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            if (handlesCalendars(dir.absoluteFilePath(name))) {
                return dir.absoluteFilePath(name);
            }
        }
    }
    return std::nullopt;
}

std::optional<QString> calendarApplicationEntry() {
    return calendarApplicationEntry(
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation),
        platform::DesktopApplicationIndex::applicationFolders());
}

bool openCalendarApplication() {
    return openCalendarApplication(QDate());
}

bool openCalendarApplication(const QDate& day) {
    const std::optional<QString> path = calendarApplicationEntry();
    if (!path) {
        platform::log(QStringLiteral("calendar: no application opens text/calendar"));
        return false;
    }
    const std::optional<platform::DesktopApplication> entry =
        platform::DesktopApplicationIndex::readEntry(*path);
    QStringList command = entry ? CalendarApplication::commandOf(entry->exec) : QStringList();
    if (!command.isEmpty() && day.isValid()) {
        command << CalendarApplication::dayArguments(QFileInfo(*path).fileName(), day);
    }
    if (command.isEmpty() ||
        !platform::ProcessLauncher::shared().startDetached(command.front(), command.mid(1))) {
        platform::log(
            QStringLiteral("calendar: the application %1 could not be started").arg(*path));
        return false;
    }
    return true;
}

namespace CalendarApplication {

std::optional<QString> defaultHandlerId(const QStringList& configFolders,
                                        const QStringList& dataFolders) {
    QStringList applicationFolders;
    for (const QString& folder : dataFolders) {
        applicationFolders << QDir(folder).filePath(QStringLiteral("applications"));
    }
    const QStringList ids = defaultIds(configFolders, applicationFolders);
    return ids.isEmpty() ? std::nullopt : std::optional<QString>(ids.front());
}

std::optional<QString> defaultHandlerId() {
    return defaultHandlerId(
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation),
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation));
}

QStringList commandOf(const QStringList& exec) {
    QStringList command;
    for (const QString& argument : exec) {
        if (argument.size() == 2 && argument.startsWith(QLatin1Char('%'))) {
            continue;
        }
        command << argument;
    }
    return command;
}

bool launch() {
    return openCalendarApplication();
}

bool launch(const QDate& day) {
    return openCalendarApplication(day);
}

QStringList dayArguments(const QString& desktopId, const QDate& day) {
    if (!day.isValid()) {
        return {};
    }
    // GNOME Calendar reads its --date with g_date_set_parse, which takes ISO dates in every
    // locale.
    if (desktopId == QLatin1String("org.gnome.Calendar.desktop") ||
        desktopId == QLatin1String("gnome-calendar.desktop")) {
        return {QStringLiteral("--date"), day.toString(Qt::ISODate)};
    }
    return {};
}

}  // namespace CalendarApplication
}  // namespace talvor
