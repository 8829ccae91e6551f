#include "PreferencePanes.h"

namespace talvor {

TalvorPrefsFloatingViewCtrl::TalvorPrefsFloatingViewCtrl(QString nibName)
    : NotedPane(QStringLiteral("TalvorPrefsFloatingViewCtrl"), std::move(nibName),
                QStringLiteral("Floating Clocks")) {}

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                QStringLiteral("MiniCal/Event/To Do")) {}

DateDiffPrefCalculator::DateDiffPrefCalculator(QString nibName)
    : NotedPane(QStringLiteral("DateDiffPrefCalculator"), std::move(nibName),
                QStringLiteral("Date Difference")) {}

FeedbakReviewUpdateVC::FeedbakReviewUpdateVC(QString nibName)
    : NotedPane(QStringLiteral("FeedbakReviewUpdateVC"), std::move(nibName),
                QStringLiteral("Feedback")) {}

AdvancedPrefVC::AdvancedPrefVC(QString nibName)
    : NotedPane(QStringLiteral("AdvancedPrefVC"), std::move(nibName), QStringLiteral("General")) {}

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

GlobalSchedulerViewController::GlobalSchedulerViewController(QString nibName)
    : NotedPane(QStringLiteral("GlobalSchedulerViewController"), std::move(nibName),
                QStringLiteral("Global Scheduler")) {}

}  // namespace talvor
