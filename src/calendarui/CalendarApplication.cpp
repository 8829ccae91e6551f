#include "CalendarApplication.h"

#include "platform/DesktopApplications.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

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
            return line.section(QLatin1Char('='), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        }
    }
    return {};
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
    for (const QString& list : lists) {
        for (const QString& id : defaultsIn(list)) {
            if (auto entry = findEntry(id.trimmed(), applicationFolders)) {
                return entry;
            }
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
    const std::optional<QString> entry = calendarApplicationEntry();
    if (!entry) {
        platform::log(QStringLiteral("calendar: no application opens text/calendar"));
        return false;
    }
    return platform::Workspace::shared().openURL(QUrl::fromLocalFile(*entry));
}

}  // namespace talvor
