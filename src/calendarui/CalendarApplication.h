#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace talvor {

// The desktop entry of the desktop's default application for text/calendar: the first
// "text/calendar" default of the mimeapps.list files (then the older defaults.list) in
// the XDG order, found in the application folders; else the first entry that says it
// handles text/calendar. None when there is no such application.
std::optional<QString> calendarApplicationEntry(const QStringList& configFolders,
                                                const QStringList& applicationFolders);
std::optional<QString> calendarApplicationEntry();

// Starts it; without one, says so in the log and returns false.
bool openCalendarApplication();

}  // namespace talvor
