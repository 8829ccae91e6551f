#include "PreferencePanes.h"

namespace talvor {

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                QStringLiteral("MiniCal/Event/To Do")) {}

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

}  // namespace talvor
