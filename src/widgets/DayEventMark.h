#pragma once

#include <QColor>

namespace talvor {

// What the day cell of a month grid reads of one day of a calendar event. The calendar
// rooms fill it from their `CalEventDay` (`highlightType`, `gadget`, `displayColor`,
// `isFirst`, `isLast`), so this room needs nothing of theirs.
struct DayEventMark {
    // From the event's calendar source: -1 rings the day, 0 or below a band in the event's
    // colour, 1 or more the index of a dot colour (see RenderDot.h).
    int highlightType = 0;
    // The event has a web gadget; such events are not drawn by the cell.
    bool hasGadget = false;
    QColor displayColor;
    bool isFirst = true;  // the event's first day
    bool isLast = true;   // the event's last day

    bool operator==(const DayEventMark&) const = default;
};

}  // namespace talvor
