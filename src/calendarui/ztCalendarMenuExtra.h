#pragma once

#include "platform/Date.h"

#include <QImage>
#include <QString>

#include <optional>

namespace talvor {

// What the date menu's calendar asks of the application delegate (`setMenuExtra:`).
class ztCalendarMenuExtra {
  public:
    virtual ~ztCalendarMenuExtra() = default;
    // The moon's picture on `date`.
    virtual QImage mooonImage(Date date) = 0;
    // The moon's text ("Current Moon: ...") as of `onDate`, after `prefix` when given.
    virtual QString addNextMoons(const std::optional<QString>& prefix, Date onDate) = 0;
    // Opens the settings window at the "Menubar Calendar" pane.
    virtual void showMenubarCalendarPrefs() = 0;
};

}  // namespace talvor
