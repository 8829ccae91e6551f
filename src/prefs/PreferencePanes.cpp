#include "PreferencePanes.h"

namespace talvor {

TalvorTimeViewController::TalvorTimeViewController(QString nibName)
    : NotedPane(QStringLiteral("TalvorTimeViewController"), std::move(nibName),
                QStringLiteral("Time Menu")) {}

TalvorPrefsFloatingViewCtrl::TalvorPrefsFloatingViewCtrl(QString nibName)
    : NotedPane(QStringLiteral("TalvorPrefsFloatingViewCtrl"), std::move(nibName),
                QStringLiteral("Floating Clocks")) {}

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                QStringLiteral("MiniCal/Event/To Do")) {}

FeedbakReviewUpdateVC::FeedbakReviewUpdateVC(QString nibName)
    : NotedPane(QStringLiteral("FeedbakReviewUpdateVC"), std::move(nibName),
                QStringLiteral("Feedback")) {}

AdvancedPrefVC::AdvancedPrefVC(QString nibName)
    : NotedPane(QStringLiteral("AdvancedPrefVC"), std::move(nibName), QStringLiteral("General")) {}

TalvorDateViewController::TalvorDateViewController(QString nibName)
    : NotedPane(QStringLiteral("TalvorDateViewController"), std::move(nibName),
                QStringLiteral("Date Menu")) {}

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

TalvorTake5WindowsController::TalvorTake5WindowsController(QString nibName)
    : NotedPane(QStringLiteral("TalvorTake5WindowsController"), std::move(nibName),
                QStringLiteral("Take 5  ")) {}

CountDownTimerViewController::CountDownTimerViewController(QString nibName)
    : NotedPane(QStringLiteral("CountDownTimerViewController"), std::move(nibName),
                QStringLiteral("Countdown Timer")) {}

AlarmSetController::AlarmSetController(QString nibName)
    : NotedPane(QStringLiteral("AlarmSetController"), std::move(nibName),
                QStringLiteral("Create Alarm")) {}

GlobalSchedulerViewController::GlobalSchedulerViewController(QString nibName)
    : NotedPane(QStringLiteral("GlobalSchedulerViewController"), std::move(nibName),
                QStringLiteral("Global Scheduler")) {}

}  // namespace talvor
