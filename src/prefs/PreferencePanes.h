#pragma once

#include "PreferencePane.h"

// The settings panes in their first form: each is made for a nib name as the settings window
// asks, and knows its title; until its controls come, its view shows the title and a note.
// A pane that grows controls moves to a file of its own.
namespace talvor {

// The mini month calendar ("Minnow").
class TCalendarPrefs : public NotedPane {
  public:
    explicit TCalendarPrefs(QString nibName);
};

}  // namespace talvor
