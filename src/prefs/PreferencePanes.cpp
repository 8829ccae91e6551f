#include "PreferencePanes.h"

namespace talvor {

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

}  // namespace talvor
