#include "CalendarApplication.h"

#include "platform/DesktopApplications.h"
#include "platform/Log.h"
#include "platform/ProcessLauncher.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

namespace talvor::CalendarApplication {
namespace {

std::optional<QString> handlerIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return std::nullopt;
    }
    QTextStream in(&file);
    bool inDefaults = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inDefaults = line == QLatin1String("[Default Applications]");
        } else if (inDefaults && line.startsWith(QLatin1String("text/calendar="))) {
            const QString first =
                line.mid(14).split(QLatin1Char(';'), Qt::SkipEmptyParts).value(0).trimmed();
            if (!first.isEmpty()) {
                return first;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<QString> defaultHandlerId(const QStringList& configFolders,
                                        const QStringList& dataFolders) {
    for (const QString& folder : configFolders) {
        if (auto id = handlerIn(QDir(folder).filePath(QStringLiteral("mimeapps.list")))) {
            return id;
        }
    }
    for (const QString& folder : dataFolders) {
        if (auto id =
                handlerIn(QDir(folder).filePath(QStringLiteral("applications/mimeapps.list")))) {
            return id;
        }
    }
    return std::nullopt;
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
    const std::optional<QString> id = defaultHandlerId();
    if (!id) {
        platform::log(QStringLiteral("No calendar application: nothing handles text/calendar"));
        return false;
    }
    const platform::DesktopApplicationIndex index;
    QString bare = *id;
    bare.chop(bare.endsWith(QLatin1String(".desktop")) ? 8 : 0);
    const platform::DesktopApplication* entry = index.entryWithId(bare);
    const QStringList command = entry != nullptr ? commandOf(entry->exec) : QStringList();
    if (command.isEmpty() ||
        !platform::ProcessLauncher::shared().startDetached(command.front(), command.mid(1))) {
        platform::log(QStringLiteral("The calendar application %1 could not be started").arg(*id));
        return false;
    }
    return true;
}

}  // namespace talvor::CalendarApplication
