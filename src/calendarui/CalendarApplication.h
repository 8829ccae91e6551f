#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace talvor::CalendarApplication {

// The desktop entry id ("org.gnome.Calendar.desktop") of the default handler of text/calendar:
// the first "text/calendar=" of the [Default Applications] groups of the mimeapps.list files
// in `configFolders` then `dataFolders` (each file as the desktop reads them, strongest first).
std::optional<QString> defaultHandlerId(const QStringList& configFolders,
                                        const QStringList& dataFolders);
std::optional<QString> defaultHandlerId();

// The Exec line of a desktop entry, its field codes (%u, %f, ...) removed.
QStringList commandOf(const QStringList& exec);

// Starts the desktop's calendar application without waiting for it; false, with one log line,
// when there is none or it would not start.
bool launch();

}  // namespace talvor::CalendarApplication
