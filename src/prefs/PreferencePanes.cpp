#include "PreferencePanes.h"

namespace talvor {

TalvorCalendarPrefs::TalvorCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TalvorCalendarPrefs"), std::move(nibName),
                QStringLiteral("MiniCal/Event/To Do")) {}

FeedbakReviewUpdateVC::FeedbakReviewUpdateVC(QString nibName)
    : NotedPane(QStringLiteral("FeedbakReviewUpdateVC"), std::move(nibName),
                QStringLiteral("Feedback")) {}

AdvancedPrefVC::AdvancedPrefVC(QString nibName)
    : NotedPane(QStringLiteral("AdvancedPrefVC"), std::move(nibName), QStringLiteral("General")) {}

TCalendarPrefs::TCalendarPrefs(QString nibName)
    : NotedPane(QStringLiteral("TCalendarPrefs"), std::move(nibName), QStringLiteral("Minnow")) {}

}  // namespace talvor
