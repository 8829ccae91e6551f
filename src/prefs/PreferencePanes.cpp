#include "PreferencePanes.h"

namespace talvor {

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                QStringLiteral("MiniCal/Event/To Do")) {}

DateDiffPrefCalculator::DateDiffPrefCalculator(QString nibName)
    : NotedPane(QStringLiteral("DateDiffPrefCalculator"), std::move(nibName),
                QStringLiteral("Date Difference")) {}

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

TalvorTake5WindowsController::TalvorTake5WindowsController(QString nibName)
    : NotedPane(QStringLiteral("TalvorTake5WindowsController"), std::move(nibName),
                QStringLiteral("Take 5")) {}

CountDownTimerViewController::CountDownTimerViewController(QString nibName)
    : NotedPane(QStringLiteral("CountDownTimerViewController"), std::move(nibName),
                QStringLiteral("Countdown Timer")) {}

}  // namespace talvor
