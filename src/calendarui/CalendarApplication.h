#pragma once

#include <QDate>
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

// Starts it without waiting for it (its Exec command, never the entry file handed to an
// opener); without one, or when it would not start, says so in the log and returns false.
bool openCalendarApplication();
// The same, showing `day` when the application takes a day on its command line.
bool openCalendarApplication(const QDate& day);

namespace CalendarApplication {

// The desktop entry id ("org.gnome.Calendar.desktop") first named for text/calendar under
// [Default Applications] in the mimeapps.list files of `configFolders`, then of the
// applications folders of `dataFolders`, then their defaults.list: the same lists, in the
// same order, as calendarApplicationEntry reads, whether the entry is installed or not.
std::optional<QString> defaultHandlerId(const QStringList& configFolders,
                                        const QStringList& dataFolders);
std::optional<QString> defaultHandlerId();

// The Exec line of a desktop entry, its field codes (%u, %f, ...) removed.
QStringList commandOf(const QStringList& exec);

// The same as openCalendarApplication().
bool launch();
bool launch(const QDate& day);

// What the application of a desktop entry ("org.gnome.Calendar.desktop") is given after its
// command to show `day`; nothing for an application that takes no day.
QStringList dayArguments(const QString& desktopId, const QDate& day);

}  // namespace CalendarApplication
}  // namespace talvor
