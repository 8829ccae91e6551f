#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

#include <array>

namespace talvor {

namespace platform {
class UserDefaults;
}  // namespace platform

// What the to-do pane sets and the to-do list shows: the texts and colours of the four
// priorities, the menu icon, and the keys they are kept under.
namespace TodoSettings {

inline const QString kPriorityText = QStringLiteral("TodoPriorityText");
inline const QString kPriorityColors = QStringLiteral("TodoPriorityColors");
inline const QString kArchiveOptions = QStringLiteral("TodoArchiveOptionsKey");
inline const QString kPrefsIcon = QStringLiteral("TodoPrefsICON");
// When the archive last ran (a date) and the items it holds (their uids).
inline const QString kArchiveLastRun = QStringLiteral("TodoArchiveLastRun");
inline const QString kArchivedItems = QStringLiteral("TodoArchivedItems");

// The four priorities, most urgent first, by their key in the stored dictionaries.
struct Priority {
    const char* key;
    const char* title;  // the text shown when none is stored (source text)
    QColor colour;      // the colour when none is stored
};
const std::array<Priority, 4>& priorities();

// The key ("9" hot, "5" warm, "1" cold, "0" none) of a calendar file's priority: 1-4 hot,
// 5 warm, 6-9 cold, anything else none.
QString levelOf(int filePriority);
// The text and colour of a level: stored by the pane, else the defaults.
QString text(const QString& level, const platform::UserDefaults& defaults);
QColor colour(const QString& level, const platform::UserDefaults& defaults);

// The menu icons the pane offers (tag 1 check mark, 2 list, 3 note) and the stored one.
int iconTag(const platform::UserDefaults& defaults);
QString iconGlyph(int tag);
QIcon icon(int tag);

}  // namespace TodoSettings

}  // namespace talvor
