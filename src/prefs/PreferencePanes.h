#pragma once

#include "PreferencePane.h"

// The settings panes in their first form: each is made for a nib name as the settings window
// asks, and knows its title; until its controls come, its view shows the title and a note.
// A pane that grows controls moves to a file of its own.
namespace talvor {

// The time item and the time menu.
class TalvorTimeViewController : public NotedPane {
  public:
    explicit TalvorTimeViewController(QString nibName);
};

// The floating desktop clocks.
class TalvorPrefsFloatingViewCtrl : public NotedPane {
  public:
    explicit TalvorPrefsFloatingViewCtrl(QString nibName);
};

// The mini calendar, its events and to-dos.
class TalvorCalendarPrefs : public NotedPane {
  public:
    explicit TalvorCalendarPrefs(QString nibName);
};

// Feedback, reviews and updates.
class FeedbakReviewUpdateVC : public NotedPane {
  public:
    explicit FeedbakReviewUpdateVC(QString nibName);
};

// General settings.
class AdvancedPrefVC : public NotedPane {
  public:
    explicit AdvancedPrefVC(QString nibName);
};

// The date item and the date menu.
class TalvorDateViewController : public NotedPane {
  public:
    explicit TalvorDateViewController(QString nibName);
};

// The mini month calendar ("Minnow").
class TCalendarPrefs : public NotedPane {
  public:
    explicit TCalendarPrefs(QString nibName);
};

// Break reminders; the title keeps its two trailing blanks.
class TalvorTake5WindowsController : public NotedPane {
  public:
    explicit TalvorTake5WindowsController(QString nibName);
};

// Count-down events.
class CountDownTimerViewController : public NotedPane {
  public:
    explicit CountDownTimerViewController(QString nibName);
};

// The alarm editor as a pane.
class AlarmSetController : public NotedPane {
  public:
    explicit AlarmSetController(QString nibName);
};

// The meeting planner.
class GlobalSchedulerViewController : public NotedPane {
  public:
    explicit GlobalSchedulerViewController(QString nibName);
};

}  // namespace talvor
